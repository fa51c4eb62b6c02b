// Text output: TextOutA, ExtTextOutA, measuring, and DrawTextA's layout.
#include <cairo.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "gdi/dc.h"
#include "gdi/font.h"

namespace gdi {
namespace {

const FontSpec& spec_of(DC& dc) {
  Font* font = font_from(dc.font);
  if (font == nullptr) font = font_from(GetStockObject(SYSTEM_FONT));
  return font->spec;
}

std::string_view text_of(LPCSTR text, int length) {
  if (text == nullptr) return {};
  return length < 0 ? std::string_view(text) : std::string_view(text, static_cast<size_t>(length));
}

// Draws at (x, y) by the DC's alignment, with the background when it is opaque.
void output(DC& dc, int x, int y, std::string_view text, const RECT* opaque, const RECT* clip) {
  const FontSpec& font = spec_of(dc);
  SIZE size = measure_text(font, text);
  FontMetrics metrics = font_metrics(font);
  if ((dc.text_align & TA_CENTER) == TA_CENTER)
    x -= size.cx / 2;
  else if (dc.text_align & TA_RIGHT)
    x -= size.cx;
  if ((dc.text_align & TA_BASELINE) == TA_BASELINE)
    y -= metrics.ascent;
  else if (dc.text_align & TA_BOTTOM)
    y -= metrics.height;
  auto within_clip = [clip](RECT r) {
    if (clip != nullptr) IntersectRect(&r, &r, clip);
    return r;
  };
  if (opaque != nullptr) fill(dc, within_clip(*opaque), dc.background_colour);
  if (dc.background_mode == OPAQUE) fill(dc, within_clip(RECT{x, y, x + size.cx, y + size.cy}), dc.background_colour);
  RECT reach = dc.clip;  // on the image, where the given clip lies offset by the origin
  if (clip != nullptr) {
    RECT on_image = *clip;
    OffsetRect(&on_image, dc.origin.x, dc.origin.y);
    IntersectRect(&reach, &reach, &on_image);
  }
  RECT drawn;
  if (draw_text_into(dc.image, reach, font, x + dc.origin.x, y + dc.origin.y, text, dc.text_colour, &drawn)) {
    note_change(dc, drawn);
    return;
  }
  cairo_t* cr = begin_drawing(dc);
  if (clip != nullptr) {
    cairo_rectangle(cr, clip->left, clip->top, clip->right - clip->left, clip->bottom - clip->top);
    cairo_clip(cr);
  }
  draw_text(cr, font, x, y, text, dc.text_colour);
  end_drawing(dc);
}

// Removes the & prefixes ("&&" stays as one &).
std::string without_prefixes(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) ++i;
    out += text[i];
  }
  return out;
}

// A line's parts between tabs, each with where it starts. With DT_EXPANDTABS a
// tab moves on to the next multiple of eight average character widths from
// the line's start; without it, a tab is a character like any other.
struct Run {
  int x;
  std::string_view text;
};

std::vector<Run> runs_of(const FontSpec& font, std::string_view line, UINT format) {
  if (!(format & DT_EXPANDTABS)) return {Run{0, line}};
  const int tab = 8 * std::max(1, font_metrics(font).average_width);
  std::vector<Run> runs;
  int x = 0;
  for (;;) {
    const size_t stop = std::min(line.find('\t'), line.size());
    runs.push_back(Run{x, line.substr(0, stop)});
    if (stop == line.size()) return runs;
    x = (x + measure_text(font, line.substr(0, stop)).cx) / tab * tab + tab;
    line.remove_prefix(stop + 1);
  }
}

int width_of(const FontSpec& font, std::string_view line, UINT format) {
  const Run last = runs_of(font, line, format).back();
  return last.x + measure_text(font, last.text).cx;
}

// Splits into lines at line breaks and, with DT_WORDBREAK, between words that do not fit.
std::vector<std::string> layout_lines(const FontSpec& font, const std::string& text, int width, UINT format) {
  std::vector<std::string> lines;
  std::string current;
  auto flush = [&] {
    lines.push_back(current);
    current.clear();
  };
  if (format & DT_SINGLELINE) {
    lines.push_back(text);
    return lines;
  }
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '\r' || text[i] == '\n') {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      ++i;
      flush();
      continue;
    }
    size_t end = text.find_first_of(" \r\n", i);
    if (end == std::string::npos) end = text.size();
    if (text[i] == ' ') end = i + 1;
    std::string word = text.substr(i, end - i);
    if ((format & DT_WORDBREAK) && !current.empty() && width_of(font, current + word, format) > width) {
      while (!current.empty() && current.back() == ' ') current.pop_back();
      flush();
      if (word == " ") word.clear();
    }
    current += word;
    i = end;
  }
  if (!current.empty() || lines.empty()) flush();
  return lines;
}

}  // namespace
}  // namespace gdi

using namespace gdi;

BOOL WINAPI TextOutA(HDC handle, int x, int y, LPCSTR text, int length) {
  DC* dc = dc_from(handle);
  if (dc == nullptr) return FALSE;
  output(*dc, x, y, text_of(text, length), nullptr, nullptr);
  return TRUE;
}

BOOL WINAPI ExtTextOutA(HDC handle, int x, int y, UINT options, const RECT* rect, LPCSTR text, UINT length,
                        const INT*) {
  DC* dc = dc_from(handle);
  if (dc == nullptr) return FALSE;
  const RECT* opaque = (options & ETO_OPAQUE) ? rect : nullptr;
  output(*dc, x, y, text_of(text, static_cast<int>(length)), opaque, (options & ETO_CLIPPED) ? rect : nullptr);
  return TRUE;
}

BOOL WINAPI GetTextExtentPoint32A(HDC handle, LPCSTR text, int length, LPSIZE size) {
  DC* dc = dc_from(handle);
  if (dc == nullptr || size == nullptr) return FALSE;
  *size = measure_text(spec_of(*dc), text_of(text, length));
  return TRUE;
}

BOOL WINAPI GetTextMetricsA(HDC handle, LPTEXTMETRICA metrics) {
  DC* dc = dc_from(handle);
  if (dc == nullptr || metrics == nullptr) return FALSE;
  const FontSpec& spec = spec_of(*dc);
  FontMetrics m = font_metrics(spec);
  *metrics = TEXTMETRICA{};
  metrics->tmHeight = m.height;
  metrics->tmAscent = m.ascent;
  metrics->tmDescent = m.descent;
  metrics->tmInternalLeading = m.internal_leading;
  metrics->tmExternalLeading = m.external_leading;
  metrics->tmAveCharWidth = m.average_width;
  metrics->tmMaxCharWidth = m.max_width;
  metrics->tmWeight = spec.weight;
  metrics->tmItalic = spec.italic;
  metrics->tmUnderlined = spec.underline;
  metrics->tmStruckOut = spec.strikeout;
  metrics->tmFirstChar = 0x1e;
  metrics->tmLastChar = 0xff;
  metrics->tmDefaultChar = 0x1f;
  metrics->tmBreakChar = 0x20;
  metrics->tmPitchAndFamily = VARIABLE_PITCH | FF_SWISS | 0x06;  // TMPF_VECTOR | TMPF_TRUETYPE
  metrics->tmDigitizedAspectX = metrics->tmDigitizedAspectY = 96;
  return TRUE;
}

// DrawTextA: lines laid out in the rectangle by the format; returns how far
// below the rectangle's top the text ends (its height, unless a single line
// is placed lower).
int WINAPI DrawTextA(HDC handle, LPCSTR text, int length, LPRECT rect, UINT format) {
  DC* dc = dc_from(handle);
  if (dc == nullptr || rect == nullptr) return 0;
  const FontSpec& font = spec_of(*dc);
  std::string content(text_of(text, length));
  if (!(format & DT_NOPREFIX)) content = without_prefixes(content);
  int width = rect->right - rect->left;
  std::vector<std::string> lines = layout_lines(font, content, width, format);
  int line_height = font_metrics(font).height;
  int height = line_height * static_cast<int>(lines.size());
  if (format & DT_CALCRECT) {
    int widest = 0;
    for (const std::string& line : lines) widest = std::max(widest, width_of(font, line, format));
    rect->right = rect->left + widest;
    rect->bottom = rect->top + height;
    return height;
  }
  int y = rect->top;
  if (format & DT_SINGLELINE) {
    if (format & DT_VCENTER)
      y = rect->top + (rect->bottom - rect->top - line_height) / 2;
    else if (format & DT_BOTTOM)
      y = rect->bottom - line_height;
  }
  const int text_end = y - rect->top + height;
  // Lines more than a line away from what can change are not drawn (a glyph
  // may reach a little beyond its line): a long text in a small control is
  // mostly clipped away.
  int visible_top = dc->clip.top - dc->origin.y, visible_bottom = dc->clip.bottom - dc->origin.y;
  if (!(format & DT_NOCLIP)) {
    visible_top = std::max<int>(visible_top, rect->top);
    visible_bottom = std::min<int>(visible_bottom, rect->bottom);
  }
  visible_top -= line_height;
  visible_bottom += line_height;
  UINT saved_align = dc->text_align;
  dc->text_align = TA_LEFT | TA_TOP;
  for (const std::string& line : lines) {
    if (y >= visible_bottom) break;
    if (y + line_height <= visible_top) {
      y += line_height;
      continue;
    }
    int line_width = width_of(font, line, format);
    int x = rect->left;
    if (format & DT_CENTER)
      x = rect->left + (width - line_width) / 2;
    else if (format & DT_RIGHT)
      x = rect->right - line_width;
    for (const Run& run : runs_of(font, line, format))
      output(*dc, x + run.x, y, run.text, nullptr, (format & DT_NOCLIP) ? nullptr : rect);
    y += line_height;
  }
  dc->text_align = saved_align;
  return text_end;
}
