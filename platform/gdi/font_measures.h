// What the font module finds once per font and shares between measuring
// (font.cpp) and drawing glyphs (glyphs.cpp). Internal to the platform.
#pragma once

#include <cairo.h>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "gdi/font.h"

namespace gdi {

// A glyph's coverage, drawn by cairo once, the first time the glyph is drawn
// straight into an image: width × height bytes, whose top-left corner lies at
// (left, top) from the glyph's origin.
struct GlyphMask {
  int left = 0, top = 0, width = 0, height = 0;
  std::vector<std::uint8_t> coverage;
};

// What measuring and drawing need of a font, found once per font: its
// metrics, and for the character of every byte its hinted advance and its
// glyph. With hinted metrics each advance is whole pixels and cairo places
// glyphs one advance after the other, without kerning, so a text's width is
// the sum of its bytes' advances, and its glyphs can be placed without asking
// cairo and fontconfig to look the characters up again.
struct Measures {
  FontMetrics metrics{};
  std::array<double, 256> advance{};
  std::array<unsigned long, 256> glyph{};
  cairo_scaled_font_t* scaled = nullptr;                      // the face at its size, with its hinting and antialiasing
  mutable std::array<std::unique_ptr<GlyphMask>, 256> masks;  // filled by the glyph drawing
};

// The measures of a font, found on its first use and kept until exit (the
// reference stays valid).
const Measures& measures(const FontSpec& font);

}  // namespace gdi
