// The font module: measuring and drawing text in a FontSpec. Every text call
// of GDI and the window frame go through these, so how a face is resolved
// (fontconfig, then cairo) is decided in one place.
// Texts are Windows-1252 bytes; they become UTF-8 only for drawing.
#pragma once

#include "gdi/objects.h"

#include <string>
#include <string_view>

namespace gdi {

struct FontMetrics {
  int ascent;
  int descent;
  int height;            // ascent + descent: the cell height
  int internal_leading;  // of the cell, above the em square
  int external_leading;  // the gap the face wants between lines
  int average_width;
  int max_width;
};

FontMetrics font_metrics(const FontSpec& font);
// Advance width and cell height of a one-line text.
SIZE measure_text(const FontSpec& font, std::string_view text);
// Draws a one-line text whose cell's top-left corner is at (x, top) in the cairo context's user space.
void draw_text(cairo_t* cr, const FontSpec& font, double x, double top, std::string_view text, COLORREF colour);
// The same straight into a 32-bit image, in its pixels' coordinates, with
// nothing drawn outside clip; the pixels come out as cairo draws them, and
// `drawn`, when given, is set to the part of the image written to. False,
// with nothing drawn, for an image of another format or an underlined or
// struck-out font, which draw_text handles.
bool draw_text_into(cairo_surface_t* image, const RECT& clip, const FontSpec& font, int x, int top,
                    std::string_view text, COLORREF colour, RECT* drawn = nullptr);

std::string utf8_from_1252(std::string_view text);
// The reverse: a character Windows-1252 has no byte for, or bytes that are
// no UTF-8 (overlong forms too), become '?'.
std::string cp1252_from_utf8(std::string_view text);

// The family fontconfig gives for a face name; the faces of Windows' own user
// interface are asked for as the metric-compatible "Liberation Sans".
std::string resolve_family(std::string_view face);
// The em size in pixels of a face whose cell (ascent + descent) is the given height.
double em_for_cell_height(const FontSpec& font, int cell_height);

}  // namespace gdi
