// Device contexts and their state: colours, modes, selected objects, clipping.
#include "gdi/dc.h"

#include <cairo.h>

#include <algorithm>
#include <set>

namespace gdi {
namespace {

std::set<DC*>& live_dcs() {
  static std::set<DC*> dcs;
  return dcs;
}

}  // namespace

DC* dc_from(HDC handle) {
  auto* dc = reinterpret_cast<DC*>(handle);
  return handle != nullptr && live_dcs().count(dc) ? dc : nullptr;
}

HDC open_dc(HWND window, cairo_surface_t* image, POINT origin, const RECT& clip) {
  auto* dc = new DC;
  dc->window = window;
  dc->image = cairo_surface_reference(image);
  dc->origin = origin;
  dc->clip = clip;
  dc->reach = clip;
  dc->brush = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  dc->pen = static_cast<HPEN>(GetStockObject(BLACK_PEN));
  dc->font = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));  // as every new DC in Win32
  live_dcs().insert(dc);
  return reinterpret_cast<HDC>(dc);
}

RECT close_dc(HDC handle, RECT* changed) {
  DC* dc = dc_from(handle);
  *changed = RECT{};
  if (dc == nullptr) return RECT{};
  RECT reach = dc->reach;
  IntersectRect(changed, &dc->changed, &reach);
  live_dcs().erase(dc);
  cairo_surface_flush(dc->image);
  if (dc->cr != nullptr) cairo_destroy(dc->cr);
  cairo_surface_destroy(dc->image);
  delete dc;
  return reach;
}

void note_change(DC& dc, const RECT& part) { UnionRect(&dc.changed, &dc.changed, &part); }

cairo_t* begin_drawing(DC& dc) {
  note_change(dc, dc.clip);
  // Fills and text go straight to the pixels; only other drawing needs cairo.
  if (dc.cr == nullptr) dc.cr = cairo_create(dc.image);
  cairo_t* cr = dc.cr;
  cairo_save(cr);
  cairo_reset_clip(cr);
  cairo_rectangle(cr, dc.clip.left, dc.clip.top, dc.clip.right - dc.clip.left, dc.clip.bottom - dc.clip.top);
  cairo_clip(cr);
  cairo_translate(cr, dc.origin.x, dc.origin.y);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);  // GDI replaces pixels; nothing is blended
  return cr;
}

void end_drawing(DC& dc) {
  cairo_restore(dc.cr);
  cairo_surface_mark_dirty(dc.image);
}

void set_source(cairo_t* cr, COLORREF colour) {
  cairo_set_source_rgb(cr, GetRValue(colour) / 255.0, GetGValue(colour) / 255.0, GetBValue(colour) / 255.0);
}

}  // namespace gdi

using namespace gdi;

// CreateDCA("DISPLAY"): a context for the screen's properties and text
// measuring; what is drawn on it goes nowhere.
HDC WINAPI CreateDCA(LPCSTR driver, LPCSTR, LPCSTR, const void*) {
  if (driver == nullptr || std::string(driver) != "DISPLAY") {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
  HDC handle = open_dc(nullptr, scratch, POINT{0, 0}, RECT{0, 0, 1, 1});
  cairo_surface_destroy(scratch);
  return handle;
}

BOOL WINAPI DeleteDC(HDC handle) {
  if (dc_from(handle) == nullptr) return FALSE;
  RECT changed;
  close_dc(handle, &changed);
  return TRUE;
}

int WINAPI GetDeviceCaps(HDC handle, int index) {
  if (dc_from(handle) == nullptr) return 0;
  switch (index) {
    case LOGPIXELSX:
    case LOGPIXELSY: return 96;
    case HORZRES: return GetSystemMetrics(SM_CXSCREEN);
    case VERTRES: return GetSystemMetrics(SM_CYSCREEN);
    case BITSPIXEL: return 32;
    default: return 0;
  }
}

int WINAPI SaveDC(HDC handle) {
  DC* dc = dc_from(handle);
  if (dc == nullptr) return 0;
  dc->saved.push_back(*dc);
  return static_cast<int>(dc->saved.size());
}

BOOL WINAPI RestoreDC(HDC handle, int saved) {
  DC* dc = dc_from(handle);
  if (dc == nullptr || dc->saved.empty()) return FALSE;
  size_t level = saved < 0 ? dc->saved.size() + static_cast<size_t>(saved) : static_cast<size_t>(saved) - 1;
  if (level >= dc->saved.size()) return FALSE;
  static_cast<DCState&>(*dc) = dc->saved[level];
  dc->saved.resize(level);
  return TRUE;
}

#define DC_FIELD_ACCESS(Type, getter, setter, field, invalid) \
  Type WINAPI getter(HDC handle) {                            \
    DC* dc = dc_from(handle);                                 \
    return dc == nullptr ? invalid : dc->field;               \
  }                                                           \
  Type WINAPI setter(HDC handle, Type value) {                \
    DC* dc = dc_from(handle);                                 \
    if (dc == nullptr) return invalid;                        \
    Type previous = dc->field;                                \
    dc->field = value;                                        \
    return previous;                                          \
  }

DC_FIELD_ACCESS(COLORREF, GetTextColor, SetTextColor, text_colour, CLR_INVALID)
DC_FIELD_ACCESS(COLORREF, GetBkColor, SetBkColor, background_colour, CLR_INVALID)
DC_FIELD_ACCESS(int, GetBkMode, SetBkMode, background_mode, 0)

UINT WINAPI SetTextAlign(HDC handle, UINT align) {
  DC* dc = dc_from(handle);
  if (dc == nullptr) return 0xFFFFFFFF;  // GDI_ERROR
  UINT previous = dc->text_align;
  dc->text_align = align;
  return previous;
}

COLORREF WINAPI SetDCBrushColor(HDC handle, COLORREF colour) {
  DC* dc = dc_from(handle);
  if (dc == nullptr) return CLR_INVALID;
  COLORREF previous = dc->brush_colour;
  dc->brush_colour = colour;
  return previous;
}

int WINAPI IntersectClipRect(HDC handle, int left, int top, int right, int bottom) {
  DC* dc = dc_from(handle);
  if (dc == nullptr) return ERROR;
  RECT r{left + dc->origin.x, top + dc->origin.y, right + dc->origin.x, bottom + dc->origin.y};
  IntersectRect(&dc->clip, &dc->clip, &r);
  return IsRectEmpty(&dc->clip) ? NULLREGION : SIMPLEREGION;
}

int WINAPI GetClipBox(HDC handle, LPRECT rect) {
  DC* dc = dc_from(handle);
  if (dc == nullptr || rect == nullptr) return ERROR;
  *rect = dc->clip;
  OffsetRect(rect, -dc->origin.x, -dc->origin.y);
  return IsRectEmpty(rect) ? NULLREGION : SIMPLEREGION;
}
