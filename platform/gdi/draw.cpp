// Filling, framing and lines: the drawing calls that painting needs.
#include <cairo.h>

#include <algorithm>
#include <cstdint>

#include "gdi/dc.h"

namespace gdi {

namespace {

// Pixel runs are compared in blocks with no branch inside, which the compiler
// turns into vector code.
constexpr std::ptrdiff_t BLOCK = 16;

// The first pixel in [from, to) other than `pixel`, or `to`.
std::uint32_t* first_other(std::uint32_t* from, std::uint32_t* to, std::uint32_t pixel) {
  for (; to - from >= BLOCK; from += BLOCK) {
    std::uint32_t differs = 0;
    for (std::ptrdiff_t i = 0; i < BLOCK; ++i) differs |= from[i] ^ pixel;
    if (differs != 0) break;
  }
  while (from < to && *from == pixel) ++from;
  return from;
}

// One past the last pixel in [from, to) other than `pixel`, or `from`.
std::uint32_t* end_of_others(std::uint32_t* from, std::uint32_t* to, std::uint32_t pixel) {
  for (; to - from >= BLOCK; to -= BLOCK) {
    std::uint32_t differs = 0;
    for (std::ptrdiff_t i = 1; i <= BLOCK; ++i) differs |= to[-i] ^ pixel;
    if (differs != 0) break;
  }
  while (to > from && to[-1] == pixel) --to;
  return to;
}

}  // namespace

// A fill replaces whole pixels with one opaque colour, so on the usual 32-bit
// images it writes them directly: the small rectangles of painting cost many
// times more through cairo's general path than the pixels themselves. Only
// pixels of another colour are written, and only their rows and columns count
// as changed: a repaint that leaves most of a window as it was then has
// little to show.
void fill(DC& dc, const RECT& r, COLORREF colour) {
  if (r.right <= r.left || r.bottom <= r.top) return;
  const cairo_format_t format = cairo_image_surface_get_format(dc.image);
  if (format != CAIRO_FORMAT_ARGB32 && format != CAIRO_FORMAT_RGB24) {
    cairo_t* cr = begin_drawing(dc);
    set_source(cr, colour);
    cairo_rectangle(cr, r.left, r.top, r.right - r.left, r.bottom - r.top);
    cairo_fill(cr);
    end_drawing(dc);
    return;
  }
  const int left = std::max<int>({r.left + dc.origin.x, dc.clip.left, 0});
  const int top = std::max<int>({r.top + dc.origin.y, dc.clip.top, 0});
  const int right = std::min<int>({r.right + dc.origin.x, dc.clip.right, cairo_image_surface_get_width(dc.image)});
  const int bottom = std::min<int>({r.bottom + dc.origin.y, dc.clip.bottom, cairo_image_surface_get_height(dc.image)});
  if (right <= left || bottom <= top) return;
  cairo_surface_flush(dc.image);
  unsigned char* rows = cairo_image_surface_get_data(dc.image);
  const int stride = cairo_image_surface_get_stride(dc.image);
  const std::uint32_t pixel = 0xFF000000u | (std::uint32_t{GetRValue(colour)} << 16) |
                              (std::uint32_t{GetGValue(colour)} << 8) | GetBValue(colour);
  RECT changed{};
  for (int y = top; y < bottom; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(rows + static_cast<std::ptrdiff_t>(y) * stride);
    std::uint32_t* first = first_other(row + left, row + right, pixel);
    if (first == row + right) continue;
    std::uint32_t* end = end_of_others(first, row + right, pixel);
    std::fill(first, end, pixel);
    const RECT written{static_cast<LONG>(first - row), y, static_cast<LONG>(end - row), y + 1};
    UnionRect(&changed, &changed, &written);
  }
  if (IsRectEmpty(&changed)) return;
  cairo_surface_mark_dirty_rectangle(dc.image, changed.left, changed.top, changed.right - changed.left,
                                     changed.bottom - changed.top);
  note_change(dc, changed);
}

namespace {

COLORREF colour_of(DC& dc, HBRUSH brush, bool* hollow) {
  Brush* b = brush_from(brush);
  if (b != nullptr && b->dc_colour) {
    *hollow = false;
    return dc.brush_colour;
  }
  return brush_colour(brush, hollow);
}

}  // namespace
}  // namespace gdi

using namespace gdi;

int WINAPI FillRect(HDC handle, const RECT* rect, HBRUSH brush) {
  DC* dc = dc_from(handle);
  if (dc == nullptr || rect == nullptr) return 0;
  bool hollow;
  COLORREF colour = colour_of(*dc, brush, &hollow);
  if (!hollow) fill(*dc, *rect, colour);
  return 1;
}

int WINAPI FrameRect(HDC handle, const RECT* rect, HBRUSH brush) {
  DC* dc = dc_from(handle);
  if (dc == nullptr || rect == nullptr) return 0;
  bool hollow;
  COLORREF colour = colour_of(*dc, brush, &hollow);
  if (hollow) return 1;
  const RECT& r = *rect;
  fill(*dc, RECT{r.left, r.top, r.right, r.top + 1}, colour);
  fill(*dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, colour);
  fill(*dc, RECT{r.left, r.top, r.left + 1, r.bottom}, colour);
  fill(*dc, RECT{r.right - 1, r.top, r.right, r.bottom}, colour);
  return 1;
}

// DrawEdge: the classic three-dimensional edges, outer line then inner line.
BOOL WINAPI DrawEdge(HDC handle, LPRECT rect, UINT edge, UINT flags) {
  DC* dc = dc_from(handle);
  if (dc == nullptr || rect == nullptr) return FALSE;
  RECT r = *rect;
  auto line_pair = [&](COLORREF top_left, COLORREF bottom_right) {
    if (flags & BF_TOP) fill(*dc, RECT{r.left, r.top, r.right, r.top + 1}, top_left);
    if (flags & BF_LEFT) fill(*dc, RECT{r.left, r.top, r.left + 1, r.bottom}, top_left);
    if (flags & BF_BOTTOM) fill(*dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, bottom_right);
    if (flags & BF_RIGHT) fill(*dc, RECT{r.right - 1, r.top, r.right, r.bottom}, bottom_right);
    if (flags & BF_LEFT) ++r.left;
    if (flags & BF_TOP) ++r.top;
    if (flags & BF_RIGHT) --r.right;
    if (flags & BF_BOTTOM) --r.bottom;
  };
  if (edge & BDR_RAISEDOUTER)
    line_pair(GetSysColor(COLOR_3DLIGHT), GetSysColor(COLOR_3DDKSHADOW));
  else if (edge & BDR_SUNKENOUTER)
    line_pair(GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNHIGHLIGHT));
  if (edge & BDR_RAISEDINNER)
    line_pair(GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_BTNSHADOW));
  else if (edge & BDR_SUNKENINNER)
    line_pair(GetSysColor(COLOR_3DDKSHADOW), GetSysColor(COLOR_3DLIGHT));
  if (flags & BF_ADJUST) *rect = r;
  return TRUE;
}

// DrawFocusRect: a dotted frame, every other pixel inverted.
BOOL WINAPI DrawFocusRect(HDC handle, const RECT* rect) {
  DC* dc = dc_from(handle);
  if (dc == nullptr || rect == nullptr) return FALSE;
  cairo_t* cr = begin_drawing(*dc);
  cairo_set_operator(cr, CAIRO_OPERATOR_DIFFERENCE);
  cairo_set_source_rgb(cr, 1, 1, 1);
  const RECT& r = *rect;
  for (LONG x = r.left; x < r.right; x += 2) {
    cairo_rectangle(cr, x, r.top, 1, 1);
    cairo_rectangle(cr, x, r.bottom - 1, 1, 1);
  }
  for (LONG y = r.top + 2; y < r.bottom - 1; y += 2) {
    cairo_rectangle(cr, r.left, y, 1, 1);
    cairo_rectangle(cr, r.right - 1, y, 1, 1);
  }
  cairo_fill(cr);
  end_drawing(*dc);
  return TRUE;
}

COLORREF WINAPI GetPixel(HDC handle, int x, int y) {
  DC* dc = dc_from(handle);
  if (dc == nullptr) return CLR_INVALID;
  POINT p{x + dc->origin.x, y + dc->origin.y};
  if (!PtInRect(&dc->clip, p) || p.x >= cairo_image_surface_get_width(dc->image) ||
      p.y >= cairo_image_surface_get_height(dc->image)) {
    return CLR_INVALID;
  }
  cairo_surface_flush(dc->image);
  const unsigned char* data = cairo_image_surface_get_data(dc->image);
  auto pixel =
      *reinterpret_cast<const std::uint32_t*>(data + p.y * cairo_image_surface_get_stride(dc->image) + p.x * 4);
  return RGB((pixel >> 16) & 0xff, (pixel >> 8) & 0xff, pixel & 0xff);
}

COLORREF WINAPI SetPixel(HDC handle, int x, int y, COLORREF colour) {
  DC* dc = dc_from(handle);
  if (dc == nullptr) return CLR_INVALID;
  fill(*dc, RECT{x, y, x + 1, y + 1}, colour);
  return colour;
}

BOOL WINAPI MoveToEx(HDC handle, int x, int y, LPPOINT previous) {
  DC* dc = dc_from(handle);
  if (dc == nullptr) return FALSE;
  if (previous != nullptr) *previous = dc->position;
  dc->position = POINT{x, y};
  return TRUE;
}

// LineTo: the end point itself is not drawn, as in GDI.
BOOL WINAPI LineTo(HDC handle, int x, int y) {
  DC* dc = dc_from(handle);
  if (dc == nullptr) return FALSE;
  Pen* pen = pen_from(dc->pen);
  POINT from = dc->position;
  dc->position = POINT{x, y};
  if (pen == nullptr || pen->style == PS_NULL) return TRUE;
  if (from.y == y || from.x == x) {
    RECT r{std::min<LONG>(from.x, x), std::min<LONG>(from.y, y), std::max<LONG>(from.x, x), std::max<LONG>(from.y, y)};
    if (from.y == y)
      r.bottom = r.top + pen->width;
    else
      r.right = r.left + pen->width;
    if (from.x > x) OffsetRect(&r, 1, 0);
    if (from.y > y) OffsetRect(&r, 0, 1);
    fill(*dc, r, pen->colour);
    return TRUE;
  }
  cairo_t* cr = begin_drawing(*dc);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
  set_source(cr, pen->colour);
  cairo_set_line_width(cr, pen->width);
  cairo_move_to(cr, from.x + 0.5, from.y + 0.5);
  cairo_line_to(cr, x + 0.5, y + 0.5);
  cairo_stroke(cr);
  end_drawing(*dc);
  return TRUE;
}

// Rectangle: outlined with the pen, filled with the brush, right and bottom exclusive.
BOOL WINAPI Rectangle(HDC handle, int left, int top, int right, int bottom) {
  DC* dc = dc_from(handle);
  if (dc == nullptr) return FALSE;
  RECT area{left, top, right, bottom};
  FillRect(handle, &area, dc->brush);
  Pen* pen = pen_from(dc->pen);
  if (pen != nullptr && pen->style != PS_NULL) {
    HBRUSH frame = CreateSolidBrush(pen->colour);
    RECT r{left, top, right, bottom};
    FrameRect(handle, &r, frame);
    DeleteObject(frame);
  }
  return TRUE;
}

BOOL WINAPI PatBlt(HDC handle, int x, int y, int width, int height, DWORD) {
  DC* dc = dc_from(handle);
  if (dc == nullptr) return FALSE;
  RECT r{x, y, x + width, y + height};
  return FillRect(handle, &r, dc->brush) != 0;
}
