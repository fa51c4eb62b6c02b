// Text drawn glyph by glyph: straight into 32-bit images from coverages that
// cairo draws once per glyph, blended pixel for pixel as cairo blends them, or
// through cairo itself for everything else.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "gdi/font_measures.h"

namespace gdi {
namespace {

// The glyph drawn by cairo at a whole-pixel origin on its own, as it would be
// drawn among others: cairo places every glyph at whole pixels.
GlyphMask render_mask(cairo_scaled_font_t* scaled, unsigned long index) {
  cairo_glyph_t glyph{index, 0, 0};
  cairo_text_extents_t ink;
  cairo_scaled_font_glyph_extents(scaled, &glyph, 1, &ink);
  GlyphMask mask;
  if (ink.width <= 0 || ink.height <= 0) return mask;  // nothing to draw, as for a space
  // Room on every side for coverage that rounding moves; it is cut off again below.
  constexpr int room = 2;
  mask.left = static_cast<int>(std::floor(ink.x_bearing)) - room;
  mask.top = static_cast<int>(std::floor(ink.y_bearing)) - room;
  mask.width = static_cast<int>(std::ceil(ink.x_bearing + ink.width)) + room - mask.left;
  mask.height = static_cast<int>(std::ceil(ink.y_bearing + ink.height)) + room - mask.top;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, mask.width, mask.height);
  cairo_t* cr = cairo_create(surface);
  cairo_set_scaled_font(cr, scaled);
  glyph.x = -mask.left;
  glyph.y = -mask.top;
  cairo_show_glyphs(cr, &glyph, 1);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  const unsigned char* rows = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  // Only the pixels the glyph covers are kept, so that neighbours' masks
  // overlap only where their glyphs do.
  int left = mask.width, right = 0, top = mask.height, bottom = 0;
  for (int y = 0; y < mask.height; ++y) {
    for (int x = 0; x < mask.width; ++x) {
      if (rows[static_cast<std::ptrdiff_t>(y) * stride + x] == 0) continue;
      left = std::min(left, x);
      right = std::max(right, x + 1);
      top = std::min(top, y);
      bottom = std::max(bottom, y + 1);
    }
  }
  GlyphMask kept;
  if (right > left) {
    kept.left = mask.left + left;
    kept.top = mask.top + top;
    kept.width = right - left;
    kept.height = bottom - top;
    kept.coverage.resize(static_cast<std::size_t>(kept.width) * static_cast<std::size_t>(kept.height));
    for (int y = top; y < bottom; ++y) {
      std::memcpy(kept.coverage.data() + static_cast<std::size_t>(y - top) * static_cast<std::size_t>(kept.width),
                  rows + static_cast<std::ptrdiff_t>(y) * stride + left, static_cast<std::size_t>(kept.width));
    }
  }
  cairo_surface_destroy(surface);
  return kept;
}

const GlyphMask& mask_of(const Measures& m, unsigned char byte) {
  if (!m.masks[byte]) m.masks[byte] = std::make_unique<GlyphMask>(render_mask(m.scaled, m.glyph[byte]));
  return *m.masks[byte];
}

// Each of the four bytes of x times a / 255, rounded as pixman rounds it;
// two bytes at a time, each in 16 bits of its own.
std::uint32_t times(std::uint32_t x, std::uint32_t a) {
  std::uint32_t even = (x & 0x00FF00FFu) * a + 0x00800080u;
  even = ((even + ((even >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
  std::uint32_t odd = ((x >> 8) & 0x00FF00FFu) * a + 0x00800080u;
  odd = (odd + ((odd >> 8) & 0x00FF00FFu)) & 0xFF00FF00u;
  return even | odd;
}

// The four byte sums of x and y, each at most 255.
std::uint32_t saturated_sum(std::uint32_t x, std::uint32_t y) {
  std::uint32_t even = (x & 0x00FF00FFu) + (y & 0x00FF00FFu);
  even = (even | (0x01000100u - ((even >> 8) & 0x00FF00FFu))) & 0x00FF00FFu;
  std::uint32_t odd = ((x >> 8) & 0x00FF00FFu) + ((y >> 8) & 0x00FF00FFu);
  odd = (odd | (0x01000100u - ((odd >> 8) & 0x00FF00FFu))) & 0x00FF00FFu;
  return even | (odd << 8);
}

// The solid colour over the pixel through a coverage, as pixman composites
// it: each byte becomes colour × coverage + pixel × (255 − coverage).
std::uint32_t blend(std::uint32_t colour, std::uint32_t pixel, std::uint32_t coverage) {
  return saturated_sum(times(colour, coverage), times(pixel, 255 - coverage));
}

RECT intersection(const RECT& a, const RECT& b) {
  return RECT{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
              std::min(a.bottom, b.bottom)};
}

bool is_empty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

struct Placed {
  const GlyphMask* mask;
  int left, top;  // the mask's top-left corner in the image

  RECT rect() const { return RECT{left, top, left + mask->width, top + mask->height}; }
  // The coverage at the image pixel (x, y) within rect().
  const std::uint8_t* coverage_at(LONG x, LONG y) const {
    return mask->coverage.data() + static_cast<std::ptrdiff_t>(y - top) * mask->width + (x - left);
  }
};

struct PlacedText {
  std::vector<Placed> glyphs;  // those with something to draw
  RECT box;                    // their union
  bool overlap = false;        // whether two glyphs may cover one pixel
};

// First phase: where each glyph goes, one advance after the other from the
// baseline's start.
PlacedText place_glyphs(const Measures& m, int x, int top, std::string_view text) {
  PlacedText placed;
  placed.glyphs.reserve(text.size());
  constexpr LONG none = std::numeric_limits<LONG>::max();
  placed.box = RECT{none, none, -none, -none};  // empty so far
  const int baseline = top + m.metrics.ascent;
  double pen = x;
  for (unsigned char c : text) {
    if (c == 0) break;  // a text ends at its first zero byte
    const GlyphMask& mask = mask_of(m, c);
    const Placed glyph{&mask, static_cast<int>(std::lround(pen)) + mask.left, baseline + mask.top};
    pen += m.advance[c];
    if (mask.width == 0) continue;
    // Glyphs follow each other to the right, so one that starts left of where
    // those before it end may share pixels with them.
    placed.overlap = placed.overlap || glyph.left < placed.box.right;
    placed.glyphs.push_back(glyph);
    const RECT r = glyph.rect();
    placed.box = RECT{std::min(placed.box.left, r.left), std::min(placed.box.top, r.top),
                      std::max(placed.box.right, r.right), std::max(placed.box.bottom, r.bottom)};
  }
  return placed;
}

// The image's pixels, to blend one solid colour onto.
class Pixels {
 public:
  Pixels(cairo_surface_t* image, COLORREF colour)
      : rows_(cairo_image_surface_get_data(image)),
        stride_(cairo_image_surface_get_stride(image)),
        solid_(0xFF000000u | (std::uint32_t{GetRValue(colour)} << 16) | (std::uint32_t{GetGValue(colour)} << 8) |
               GetBValue(colour)) {}

  // Blends the coverages of r, a row `pitch` apart, onto the image's r.
  void blend_onto(const RECT& r, const std::uint8_t* cover, int pitch) {
    for (LONG y = r.top; y < r.bottom; ++y, cover += pitch) {
      auto* row = reinterpret_cast<std::uint32_t*>(rows_ + static_cast<std::ptrdiff_t>(y) * stride_) + r.left;
      for (int px = 0; px < r.right - r.left; ++px) {
        const std::uint32_t a = cover[px];
        if (a == 255)
          row[px] = solid_;
        else if (a != 0)
          row[px] = blend(solid_, row[px], a);
      }
    }
  }

 private:
  unsigned char* rows_;
  int stride_;
  std::uint32_t solid_;
};

// Second phase, for glyphs that share no pixel: each blended on its own.
void blend_one_by_one(const PlacedText& placed, Pixels& pixels) {
  for (const Placed& glyph : placed.glyphs) {
    const RECT r = intersection(glyph.rect(), placed.box);
    if (!is_empty(r)) pixels.blend_onto(r, glyph.coverage_at(r.left, r.top), glyph.mask->width);
  }
}

// Second phase, for glyphs that may share pixels: like cairo, the coverages
// are first added up, so that a pixel that two glyphs cover is blended once,
// with their sum.
void blend_summed(const PlacedText& placed, Pixels& pixels) {
  const RECT& box = placed.box;
  const int width = box.right - box.left, height = box.bottom - box.top;
  static std::vector<std::uint8_t> coverage;
  coverage.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
  for (const Placed& glyph : placed.glyphs) {
    const RECT r = intersection(glyph.rect(), box);
    if (is_empty(r)) continue;
    const std::uint8_t* from = glyph.coverage_at(r.left, r.top);
    for (LONG y = r.top; y < r.bottom; ++y, from += glyph.mask->width) {
      std::uint8_t* to = coverage.data() + static_cast<std::ptrdiff_t>(y - box.top) * width + (r.left - box.left);
      for (int px = 0; px < r.right - r.left; ++px)
        to[px] = static_cast<std::uint8_t>(std::min(255, to[px] + from[px]));
    }
  }
  pixels.blend_onto(box, coverage.data(), width);
}

}  // namespace

bool draw_text_into(cairo_surface_t* image, const RECT& clip, const FontSpec& font, int x, int top,
                    std::string_view text, COLORREF colour, RECT* drawn) {
  if (drawn != nullptr) *drawn = RECT{};
  const cairo_format_t format = cairo_image_surface_get_format(image);
  if ((format != CAIRO_FORMAT_ARGB32 && format != CAIRO_FORMAT_RGB24) || font.underline || font.strikeout) return false;
  const Measures& m = measures(font);
  const RECT bounds =
      intersection(clip, RECT{0, 0, cairo_image_surface_get_width(image), cairo_image_surface_get_height(image)});
  if (is_empty(bounds)) return true;

  PlacedText placed = place_glyphs(m, x, top, text);
  placed.box = intersection(placed.box, bounds);
  if (is_empty(placed.box)) return true;

  cairo_surface_flush(image);
  Pixels pixels(image, colour);
  if (placed.overlap)
    blend_summed(placed, pixels);
  else
    blend_one_by_one(placed, pixels);
  const RECT& box = placed.box;
  cairo_surface_mark_dirty_rectangle(image, box.left, box.top, box.right - box.left, box.bottom - box.top);
  if (drawn != nullptr) *drawn = box;
  return true;
}

void draw_text(cairo_t* cr, const FontSpec& font, double x, double top, std::string_view text, COLORREF colour) {
  const Measures& m = measures(font);
  const FontMetrics& metrics = m.metrics;
  cairo_save(cr);
  cairo_set_scaled_font(cr, m.scaled);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  cairo_set_source_rgb(cr, GetRValue(colour) / 255.0, GetGValue(colour) / 255.0, GetBValue(colour) / 255.0);
  // The glyphs one advance after the other from the baseline's start, as cairo
  // itself would place them.
  std::vector<cairo_glyph_t> glyphs;
  glyphs.reserve(text.size());
  double pen = x;
  for (unsigned char c : text) {
    if (c == 0) break;  // a text ends at its first zero byte
    glyphs.push_back(cairo_glyph_t{m.glyph[c], pen, top + metrics.ascent});
    pen += m.advance[c];
  }
  cairo_show_glyphs(cr, glyphs.data(), static_cast<int>(glyphs.size()));
  if (font.underline || font.strikeout) {
    SIZE size = measure_text(font, text);
    double y = font.underline ? top + metrics.ascent + 1 : top + metrics.ascent * 0.65;
    cairo_rectangle(cr, x, std::floor(y), size.cx, std::max(1.0, font.pixel_size / 14));
    cairo_fill(cr);
  }
  cairo_restore(cr);
}

}  // namespace gdi
