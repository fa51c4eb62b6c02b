// Fonts drawn with cairo; cairo asks fontconfig for the face of the family.
// Metrics are whole pixels, hinted, as GDI reports them.
#include "gdi/font.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <strings.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

namespace gdi {
namespace {

// Windows-1252 bytes 0x80 to 0x9F; the others are Latin-1.
constexpr char16_t cp1252_high[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

void apply(cairo_t* cr, const FontSpec& font) {
  cairo_select_font_face(cr, font.family.c_str(), font.italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                         font.weight >= 600 ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, font.pixel_size);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, font.antialiased ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
  cairo_set_font_options(cr, options);
  cairo_font_options_destroy(options);
}

cairo_t* measurer = nullptr;

// What measuring and drawing need of a font, found once per font: its
// metrics, and for the character of every byte its hinted advance and its
// glyph. With hinted metrics each advance is whole pixels and cairo places
// glyphs one advance after the other, without kerning, so a text's width is
// the sum of its bytes' advances, and its glyphs can be placed without asking
// cairo and fontconfig to look the characters up again.
//
// A glyph's coverage is drawn by cairo once, the first time the glyph is
// drawn straight into an image: width × height bytes, whose top-left corner
// lies at (left, top) from the glyph's origin.
struct GlyphMask {
  int left = 0, top = 0, width = 0, height = 0;
  std::vector<std::uint8_t> coverage;
};

struct Measures {
  FontMetrics metrics{};
  std::array<double, 256> advance{};
  std::array<unsigned long, 256> glyph{};
  cairo_scaled_font_t* scaled = nullptr;  // the face at its size, with the options apply() sets
  mutable std::array<std::unique_ptr<GlyphMask>, 256> masks;
};

// Underline and strike-out do not change how text measures or which glyphs it has.
using MeasuresKey = std::tuple<std::string, double, bool, bool, bool>;
std::map<MeasuresKey, Measures> known_fonts;  // entries never move
const MeasuresKey* last_key = nullptr;
const Measures* last_measures = nullptr;

// cairo and fontconfig keep the faces they resolved until they are told to let
// go; at exit they are, so that a leak check sees only real leaks.
void release_font_caches() {
  for (auto& [key, measures] : known_fonts) cairo_scaled_font_destroy(measures.scaled);
  known_fonts.clear();
  last_key = nullptr;
  last_measures = nullptr;
  cairo_destroy(measurer);
  measurer = nullptr;
  cairo_debug_reset_static_data();
  FcFini();
}

// Registered by the first use of either library, whichever comes first.
void release_font_caches_at_exit() {
  static const bool registered = std::atexit(release_font_caches) == 0;
  (void)registered;
}

// A context for measuring only.
cairo_t* measuring_context() {
  if (measurer == nullptr) {
    release_font_caches_at_exit();
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    measurer = cairo_create(surface);
    cairo_surface_destroy(surface);
  }
  return measurer;
}

FontMetrics metrics_from_cairo(const FontSpec& font) {
  cairo_t* cr = measuring_context();
  apply(cr, font);
  cairo_font_extents_t extents;
  cairo_font_extents(cr, &extents);
  cairo_text_extents_t x_extents;
  cairo_text_extents(cr, "x", &x_extents);
  FontMetrics metrics{};
  metrics.ascent = static_cast<int>(std::ceil(extents.ascent));
  metrics.descent = static_cast<int>(std::ceil(extents.descent));
  metrics.height = metrics.ascent + metrics.descent;
  metrics.average_width = static_cast<int>(std::lround(x_extents.x_advance));
  metrics.max_width = static_cast<int>(std::ceil(extents.max_x_advance));
  return metrics;
}

Measures measure_font(const FontSpec& font) {
  Measures fresh;
  fresh.metrics = metrics_from_cairo(font);
  cairo_t* cr = measuring_context();  // apply()'d by metrics_from_cairo
  fresh.scaled = cairo_scaled_font_reference(cairo_get_scaled_font(cr));
  for (int byte = 1; byte < 256; ++byte) {
    const char one = static_cast<char>(byte);
    const std::string utf8 = utf8_from_1252(std::string_view(&one, 1));
    cairo_text_extents_t extents;
    cairo_text_extents(cr, utf8.c_str(), &extents);
    fresh.advance[byte] = extents.x_advance;
    cairo_glyph_t* glyphs = nullptr;
    int count = 0;
    if (cairo_scaled_font_text_to_glyphs(fresh.scaled, 0, 0, utf8.data(), static_cast<int>(utf8.size()), &glyphs, &count,
                                         nullptr, nullptr, nullptr) == CAIRO_STATUS_SUCCESS &&
        count == 1) {
      fresh.glyph[byte] = glyphs[0].index;
    }
    cairo_glyph_free(glyphs);
  }
  return fresh;
}

const Measures& measures(const FontSpec& font) {
  // Text is mostly measured many times in a row in one font: that one is
  // recognised without building a key.
  if (last_measures != nullptr && std::get<1>(*last_key) == font.pixel_size &&
      std::get<2>(*last_key) == (font.weight >= 600) && std::get<3>(*last_key) == font.italic &&
      std::get<4>(*last_key) == font.antialiased && std::get<0>(*last_key) == font.family) {
    return *last_measures;
  }
  MeasuresKey key{font.family, font.pixel_size, font.weight >= 600, font.italic, font.antialiased};
  auto found = known_fonts.find(key);
  if (found == known_fonts.end()) found = known_fonts.emplace(std::move(key), measure_font(font)).first;
  last_key = &found->first;
  last_measures = &found->second;
  return *last_measures;
}

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

}  // namespace

std::string utf8_from_1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    char32_t code = c < 0x80 ? c : (c < 0xA0 ? cp1252_high[c - 0x80] : c);
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
}

std::string resolve_family(std::string_view face) {
  static const char* const interface_faces[] = {"", "MS Shell Dlg", "MS Shell Dlg 2", "MS Sans Serif", "Microsoft Sans Serif",
                                                "System", "Tahoma", "Segoe UI"};
  std::string asked(face);
  for (const char* name : interface_faces) {
    if (strcasecmp(asked.c_str(), name) == 0) asked = "Liberation Sans";
  }
  static std::map<std::string, std::string> resolved;
  auto known = resolved.find(asked);
  if (known != resolved.end()) return known->second;
  std::string family = asked;
  release_font_caches_at_exit();
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(asked.c_str()));
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcChar8* name = nullptr;
  if (match != nullptr && FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch) family = reinterpret_cast<char*>(name);
  if (match != nullptr) FcPatternDestroy(match);
  FcPatternDestroy(pattern);
  resolved.emplace(asked, family);
  return family;
}

double em_for_cell_height(const FontSpec& font, int cell_height) {
  FontSpec probe = font;
  probe.pixel_size = 100;
  FontMetrics metrics = font_metrics(probe);
  return metrics.height > 0 ? cell_height * 100.0 / metrics.height : cell_height;
}

FontMetrics font_metrics(const FontSpec& font) { return measures(font).metrics; }

SIZE measure_text(const FontSpec& font, std::string_view text) {
  const Measures& m = measures(font);
  double width = 0;
  for (unsigned char c : text) {
    if (c == 0) break;  // a text ends at its first zero byte
    width += m.advance[c];
  }
  return SIZE{static_cast<LONG>(std::lround(width)), m.metrics.height};
}

bool draw_text_into(cairo_surface_t* image, const RECT& clip, const FontSpec& font, int x, int top, std::string_view text,
                    COLORREF colour, RECT* drawn) {
  if (drawn != nullptr) *drawn = RECT{};
  const cairo_format_t format = cairo_image_surface_get_format(image);
  if ((format != CAIRO_FORMAT_ARGB32 && format != CAIRO_FORMAT_RGB24) || font.underline || font.strikeout) return false;
  const Measures& m = measures(font);
  const RECT bounds{std::max<LONG>(clip.left, 0), std::max<LONG>(clip.top, 0),
                    std::min<LONG>(clip.right, cairo_image_surface_get_width(image)),
                    std::min<LONG>(clip.bottom, cairo_image_surface_get_height(image))};
  if (bounds.right <= bounds.left || bounds.bottom <= bounds.top) return true;
  struct Placed {
    const GlyphMask* mask;
    int left, top;  // the mask's top-left corner in the image
  };
  std::vector<Placed> placed;
  placed.reserve(text.size());
  constexpr LONG none = std::numeric_limits<LONG>::max();
  RECT box{none, none, -none, -none};  // the glyphs' union, empty so far
  bool overlap = false;  // whether two glyphs may cover one pixel
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
    overlap = overlap || glyph.left < box.right;
    placed.push_back(glyph);
    box = RECT{std::min<LONG>(box.left, glyph.left), std::min<LONG>(box.top, glyph.top),
               std::max<LONG>(box.right, glyph.left + mask.width), std::max<LONG>(box.bottom, glyph.top + mask.height)};
  }
  box = RECT{std::max(box.left, bounds.left), std::max(box.top, bounds.top), std::min(box.right, bounds.right),
             std::min(box.bottom, bounds.bottom)};
  if (box.right <= box.left || box.bottom <= box.top) return true;

  cairo_surface_flush(image);
  unsigned char* rows = cairo_image_surface_get_data(image);
  const int stride = cairo_image_surface_get_stride(image);
  const std::uint32_t solid = 0xFF000000u | (std::uint32_t{GetRValue(colour)} << 16) |
                              (std::uint32_t{GetGValue(colour)} << 8) | GetBValue(colour);
  // Blends width × height coverages, a row `pitch` apart, onto the image at (left, top).
  auto blend_onto_image = [&](const std::uint8_t* cover, int pitch, int left, int top, int width, int height) {
    for (int y = 0; y < height; ++y) {
      auto* row = reinterpret_cast<std::uint32_t*>(rows + static_cast<std::ptrdiff_t>(top + y) * stride) + left;
      const std::uint8_t* from = cover + static_cast<std::ptrdiff_t>(y) * pitch;
      for (int px = 0; px < width; ++px) {
        const std::uint32_t a = from[px];
        if (a == 255) row[px] = solid;
        else if (a != 0) row[px] = blend(solid, row[px], a);
      }
    }
  };
  auto clipped = [&box](const Placed& glyph) {
    return RECT{std::max<LONG>(glyph.left, box.left), std::max<LONG>(glyph.top, box.top),
                std::min<LONG>(glyph.left + glyph.mask->width, box.right),
                std::min<LONG>(glyph.top + glyph.mask->height, box.bottom)};
  };
  auto mask_at = [](const Placed& glyph, const RECT& r) {
    return glyph.mask->coverage.data() + static_cast<std::ptrdiff_t>(r.top - glyph.top) * glyph.mask->width +
           (r.left - glyph.left);
  };
  if (!overlap) {
    for (const Placed& glyph : placed) {
      const RECT r = clipped(glyph);
      if (r.right <= r.left || r.bottom <= r.top) continue;
      blend_onto_image(mask_at(glyph, r), glyph.mask->width, r.left, r.top, r.right - r.left, r.bottom - r.top);
    }
  } else {
    // Like cairo, the coverages are first added up, so that a pixel that two
    // glyphs cover is blended once, with their sum.
    const int width = box.right - box.left, height = box.bottom - box.top;
    static std::vector<std::uint8_t> coverage;
    coverage.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    for (const Placed& glyph : placed) {
      const RECT r = clipped(glyph);
      if (r.right <= r.left || r.bottom <= r.top) continue;
      const std::uint8_t* from = mask_at(glyph, r);
      for (int y = r.top; y < r.bottom; ++y, from += glyph.mask->width) {
        std::uint8_t* to = coverage.data() + static_cast<std::ptrdiff_t>(y - box.top) * width + (r.left - box.left);
        for (int px = 0; px < r.right - r.left; ++px) to[px] = static_cast<std::uint8_t>(std::min(255, to[px] + from[px]));
      }
    }
    blend_onto_image(coverage.data(), width, box.left, box.top, width, height);
  }
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
