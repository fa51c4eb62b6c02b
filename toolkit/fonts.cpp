// Screen fonts by number: the registry keeps the handles, GDI makes and
// deletes the fonts.
#include "fonts.h"
#include "toolkit_internal.h"

ObjectRegistry* font_registry = nullptr;

namespace {

constexpr int points_per_inch = 72;

}  // namespace

void init_fonts() {
  font_registry = registry_create(sizeof(FontRecord), 16, [](ObjectNumber number) { free_font(number); });
}

ObjectNumber load_font(ObjectNumber number, const char* face, int size, DWORD flags) {
  // A number that holds a font loses it here, before the new one is made.
  auto* record = static_cast<FontRecord*>(registry_get_or_create(font_registry, number));
  if (record == nullptr) return 0;
  bool unnumbered = number == ANY_NUMBER;
  if (unnumbered) number = identifier_of(record);

  int weight = (flags & FONT_BOLD) ? FW_BOLD : FW_NORMAL;
  DWORD italic = (flags & FONT_ITALIC) ? 1 : 0;
  DWORD underline = (flags & FONT_UNDERLINE) ? 1 : 0;
  DWORD strike_out = (flags & FONT_STRIKEOUT) ? 1 : 0;
  DWORD quality = (flags & FONT_HIGH_QUALITY) ? PROOF_QUALITY : DEFAULT_QUALITY;

  ObjectNumber result = 0;
  HDC screen = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  if (screen != nullptr) {
    // The size is the em height in points at the screen's vertical resolution.
    int height = -MulDiv(size, GetDeviceCaps(screen, LOGPIXELSY), points_per_inch);
    HFONT font =
        CreateFontA(height, 0, 0, 0, weight, italic, underline, strike_out, DEFAULT_CHARSET, 0, 0, quality, 0, face);
    if (font != nullptr) {
      record->handle = font;
      result = unnumbered ? number : reinterpret_cast<ObjectNumber>(font);
    }
    DeleteDC(screen);
  }
  // An unnumbered record that holds no font would stay behind unreachable.
  if (result == 0 && unnumbered) registry_release(font_registry, number);
  return result;
}

HFONT font_handle(ObjectNumber font) {
  auto* record = static_cast<FontRecord*>(registry_lookup(font_registry, font));
  return record != nullptr ? record->handle : nullptr;
}

int free_font(ObjectNumber font) {
  auto* record = static_cast<FontRecord*>(registry_lookup(font_registry, font));
  if (record == nullptr) return 0;
  DeleteObject(record->handle);
  registry_release(font_registry, font);
  return 1;
}

void free_all_fonts() {
  registry_enum_begin(font_registry);
  ObjectNumber font = 0;
  while (registry_enum_next(font_registry, &font) != nullptr) free_font(font);
}
