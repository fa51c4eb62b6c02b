// CreateFontA and its companions: a logical font becomes a FontSpec, with
// the face resolved through fontconfig and the height turned into the em
// size in pixels (negative heights are the em size itself, positive ones the
// cell height, as in GDI).
#include <cstring>

#include "gdi/font.h"

namespace {

constexpr int default_cell_height = 16;  // what GDI picks for a height of 0

gdi::FontSpec spec_for(const LOGFONTA& logical) {
  gdi::FontSpec spec;
  char face[LF_FACESIZE + 1] = {};
  std::memcpy(face, logical.lfFaceName, LF_FACESIZE);
  spec.family = gdi::resolve_family(face);
  spec.weight = logical.lfWeight == FW_DONTCARE ? FW_NORMAL : logical.lfWeight;
  spec.italic = logical.lfItalic != 0;
  spec.underline = logical.lfUnderline != 0;
  spec.strikeout = logical.lfStrikeOut != 0;
  spec.antialiased = logical.lfQuality != NONANTIALIASED_QUALITY;
  if (logical.lfHeight < 0)
    spec.pixel_size = -static_cast<double>(logical.lfHeight);
  else
    spec.pixel_size = gdi::em_for_cell_height(spec, logical.lfHeight == 0 ? default_cell_height : logical.lfHeight);
  return spec;
}

}  // namespace

HFONT WINAPI CreateFontIndirectA(const LOGFONTA* logical) {
  if (logical == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (gdi::object_quota_reached()) return nullptr;
  HFONT font = gdi::make_font(spec_for(*logical));
  gdi::font_from(font)->logical = *logical;
  return font;
}

HFONT WINAPI CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                         DWORD underline, DWORD strike_out, DWORD char_set, DWORD out_precision, DWORD clip_precision,
                         DWORD quality, DWORD pitch_and_family, LPCSTR face) {
  LOGFONTA logical{};
  logical.lfHeight = height;
  logical.lfWidth = width;
  logical.lfEscapement = escapement;
  logical.lfOrientation = orientation;
  logical.lfWeight = weight;
  logical.lfItalic = static_cast<BYTE>(italic);
  logical.lfUnderline = static_cast<BYTE>(underline);
  logical.lfStrikeOut = static_cast<BYTE>(strike_out);
  logical.lfCharSet = static_cast<BYTE>(char_set);
  logical.lfOutPrecision = static_cast<BYTE>(out_precision);
  logical.lfClipPrecision = static_cast<BYTE>(clip_precision);
  logical.lfQuality = static_cast<BYTE>(quality);
  logical.lfPitchAndFamily = static_cast<BYTE>(pitch_and_family);
  if (face != nullptr) std::strncpy(logical.lfFaceName, face, LF_FACESIZE - 1);
  return CreateFontIndirectA(&logical);
}

// GetObjectA: a font's LOGFONTA or a brush's LOGBRUSH; without a buffer, the size it needs.
int WINAPI GetObjectA(HGDIOBJ object, int size, LPVOID buffer) {
  if (gdi::Font* font = gdi::font_from(object)) {
    LOGFONTA logical = font->logical;
    if (logical.lfFaceName[0] == '\0') {
      // The stock fonts describe themselves as their face and em height.
      logical.lfHeight = -static_cast<LONG>(font->spec.pixel_size);
      logical.lfWeight = font->spec.weight;
      std::strncpy(logical.lfFaceName, font->spec.family.c_str(), LF_FACESIZE - 1);
    }
    if (buffer == nullptr) return sizeof logical;
    int n = std::min<int>(size, sizeof logical);
    std::memcpy(buffer, &logical, static_cast<size_t>(n));
    return n;
  }
  if (gdi::Brush* brush = gdi::brush_from(object)) {
    LOGBRUSH logical{brush->hollow ? 1u : 0u, brush->colour, 0};  // BS_SOLID or BS_NULL
    if (buffer == nullptr) return sizeof logical;
    int n = std::min<int>(size, sizeof logical);
    std::memcpy(buffer, &logical, static_cast<size_t>(n));
    return n;
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return 0;
}
