// Fonts: a face name resolved through fontconfig, and what cairo measures of
// the face at a size, found once per font. Widths are whole pixels, hinted;
// the vertical metrics are the face's own Windows metrics, scaled as GDI
// scales them. Drawing the glyphs is glyphs.cpp's.
#include "gdi/font_measures.h"

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>
#include FT_TRUETYPE_TABLES_H

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <tuple>

namespace gdi {
namespace {

// Windows-1252 bytes 0x80 to 0x9F; the others are Latin-1.
constexpr char16_t cp1252_high[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                      0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

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

// What GDI reads from a face's tables, in font units: the ascent and descent
// from OS/2's usWinAscent and usWinDescent, the external leading from hhea's
// line gap less what the Windows metrics already hold of it, the average width
// from xAvgCharWidth and the widest from the bounding box.
struct FaceDesign {
  long units_per_em = 0;
  long ascent = 0, descent = 0, external = 0, average = 0, widest = 0;
};

// From the scaled font that cairo resolved; a face without those tables
// (a bitmap font) answers with FreeType's own figures.
FaceDesign design_of(cairo_scaled_font_t* scaled) {
  FaceDesign design;
  if (cairo_scaled_font_get_type(scaled) != CAIRO_FONT_TYPE_FT) return design;
  FT_Face face = cairo_ft_scaled_font_lock_face(scaled);
  if (face == nullptr) return design;
  design.units_per_em = face->units_per_EM;
  design.widest = face->bbox.xMax - face->bbox.xMin;
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  const auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
  if (os2 != nullptr && hhea != nullptr && os2->usWinAscent + os2->usWinDescent > 0) {
    design.ascent = os2->usWinAscent;
    design.descent = os2->usWinDescent;
    design.external = hhea->Line_Gap - ((design.ascent + design.descent) - (hhea->Ascender - hhea->Descender));
    design.average = os2->xAvgCharWidth;
  } else {
    design.ascent = face->ascender;
    design.descent = -face->descender;
    design.external = face->height - (face->ascender - face->descender);
    design.average = face->max_advance_width / 2;
  }
  cairo_ft_scaled_font_unlock_face(scaled);
  return design;
}

FaceDesign design_of(const FontSpec& font) {
  cairo_t* cr = measuring_context();
  apply(cr, font);
  return design_of(cairo_get_scaled_font(cr));
}

// a × b / c rounded to the nearest, as GDI's fixed-point arithmetic rounds.
long scale_rounded(long a, long b, long c) {
  const long long product = static_cast<long long>(a) * b;
  const long long half = c / 2;
  return static_cast<long>(product >= 0 ? (product + half) / c : -((-product + half) / c));
}

// Font units to whole pixels at an em height of `ppem` pixels: through a
// 16.16 scale, each figure rounded on its own.
int to_pixels(long units, long ppem, long units_per_em) {
  return static_cast<int>(scale_rounded(units, scale_rounded(ppem, 0x10000, units_per_em), 0x10000));
}

FontMetrics metrics_from_cairo(const FontSpec& font) {
  cairo_t* cr = measuring_context();
  apply(cr, font);
  const FaceDesign design = design_of(cairo_get_scaled_font(cr));
  FontMetrics metrics{};
  if (design.units_per_em > 0) {
    const long ppem = std::lround(font.pixel_size), em = design.units_per_em;
    metrics.ascent = to_pixels(design.ascent, ppem, em);
    metrics.descent = to_pixels(design.descent, ppem, em);
    metrics.internal_leading = to_pixels(design.ascent + design.descent - em, ppem, em);
    metrics.external_leading = std::max(0, to_pixels(design.external, ppem, em));
    metrics.average_width = std::max(1, to_pixels(design.average, ppem, em));
    metrics.max_width = to_pixels(design.widest, ppem, em);
  } else {
    cairo_font_extents_t extents;
    cairo_font_extents(cr, &extents);
    metrics.ascent = static_cast<int>(std::ceil(extents.ascent));
    metrics.descent = static_cast<int>(std::ceil(extents.descent));
    metrics.internal_leading = std::max(0, metrics.ascent + metrics.descent - static_cast<int>(font.pixel_size));
    metrics.average_width = static_cast<int>(std::ceil(extents.max_x_advance / 2));
    metrics.max_width = static_cast<int>(std::ceil(extents.max_x_advance));
  }
  metrics.height = metrics.ascent + metrics.descent;
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
    if (cairo_scaled_font_text_to_glyphs(fresh.scaled, 0, 0, utf8.data(), static_cast<int>(utf8.size()), &glyphs,
                                         &count, nullptr, nullptr, nullptr) == CAIRO_STATUS_SUCCESS &&
        count == 1) {
      fresh.glyph[byte] = glyphs[0].index;
    }
    cairo_glyph_free(glyphs);
  }
  return fresh;
}

}  // namespace

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

std::string cp1252_from_utf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    char32_t code = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
    bool whole = length != 0 && i + static_cast<std::size_t>(length) <= text.size();
    for (int k = 1; whole && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
      whole = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    // An overlong form (a NUL as C0 80, say) is no character.
    constexpr char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    whole = whole && code >= least[length];
    i += whole ? static_cast<std::size_t>(length) : 1;
    char byte = '?';
    if (whole && (code < 0x80 || (code >= 0xA0 && code <= 0xFF))) {
      byte = static_cast<char>(code);
    } else if (whole) {
      for (int k = 0; k < 32; ++k) {
        if (cp1252_high[k] == code && code != 0xFFFD) byte = static_cast<char>(0x80 + k);
      }
    }
    out += byte;
  }
  return out;
}

std::string resolve_family(std::string_view face) {
  static const char* const interface_faces[] = {
      "", "MS Shell Dlg", "MS Shell Dlg 2", "MS Sans Serif", "Microsoft Sans Serif", "System", "Tahoma", "Segoe UI"};
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
  if (match != nullptr && FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch)
    family = reinterpret_cast<char*>(name);
  if (match != nullptr) FcPatternDestroy(match);
  FcPatternDestroy(pattern);
  resolved.emplace(asked, family);
  return family;
}

// The whole em height whose cell comes nearest the height asked for without
// passing it.
double em_for_cell_height(const FontSpec& font, int cell_height) {
  const FaceDesign design = design_of(font);
  const long cell_units = design.ascent + design.descent;
  if (design.units_per_em <= 0 || cell_units <= 0) return cell_height;
  long ppem = scale_rounded(design.units_per_em, scale_rounded(cell_height, 0x10000, cell_units), 0x10000);
  if (ppem > 1 && scale_rounded(cell_units, scale_rounded(ppem, 0x10000, design.units_per_em), 0x10000) > cell_height)
    --ppem;
  return static_cast<double>(ppem);
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

}  // namespace gdi
