// Text drawn straight into a window's image must come out exactly as cairo
// draws it: the same pixels for every font, size, slant and clip, including
// where neighbouring glyphs reach into the same pixels.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "gdi/font.h"

namespace {

constexpr int WIDTH = 400, HEIGHT = 70;
constexpr std::uint32_t BACKGROUND = 0xFFC0C0C0;

cairo_surface_t* blank_image() {
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, WIDTH, HEIGHT);
  cairo_surface_flush(image);
  auto* pixels = reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(image));
  const int stride = cairo_image_surface_get_stride(image) / 4;
  for (int y = 0; y < HEIGHT; ++y) {
    for (int x = 0; x < WIDTH; ++x) pixels[y * stride + x] = BACKGROUND;
  }
  cairo_surface_mark_dirty(image);
  return image;
}

// The number of pixels in which the two images differ.
int differences(cairo_surface_t* a, cairo_surface_t* b) {
  cairo_surface_flush(a);
  cairo_surface_flush(b);
  const auto* pa = reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(a));
  const auto* pb = reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(b));
  const int stride = cairo_image_surface_get_stride(a) / 4;
  int count = 0;
  for (int y = 0; y < HEIGHT; ++y) {
    for (int x = 0; x < WIDTH; ++x) count += pa[y * stride + x] != pb[y * stride + x];
  }
  return count;
}

// Both ways of drawing, each into an image of its own; the pixels that differ.
int drawn_differently(const gdi::FontSpec& font, const std::string& text, const RECT& clip) {
  const COLORREF colour = RGB(200, 30, 60);
  cairo_surface_t* by_cairo = blank_image();
  cairo_t* cr = cairo_create(by_cairo);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);  // as the DCs draw
  cairo_rectangle(cr, clip.left, clip.top, clip.right - clip.left, clip.bottom - clip.top);
  cairo_clip(cr);
  gdi::draw_text(cr, font, 7, 5, text, colour);
  cairo_destroy(cr);
  cairo_surface_t* straight = blank_image();
  EXPECT_TRUE(gdi::draw_text_into(straight, clip, font, 7, 5, text, colour));
  const int count = differences(by_cairo, straight);
  cairo_surface_destroy(by_cairo);
  cairo_surface_destroy(straight);
  return count;
}

gdi::FontSpec font(const char* face, double size, int weight = FW_NORMAL, bool italic = false,
                   bool antialiased = true) {
  gdi::FontSpec spec;
  spec.family = gdi::resolve_family(face);
  spec.pixel_size = size;
  spec.weight = weight;
  spec.italic = italic;
  spec.antialiased = antialiased;
  return spec;
}

TEST(TextPixels, TextDrawnStraightIntoAnImageHasCairosPixels) {
  const gdi::FontSpec fonts[] = {font("Arial", 40), font("Arial", 40, FW_BOLD, true), font("MS Shell Dlg", 11),
                                 font("MS Shell Dlg", 11, FW_NORMAL, false, false),
                                 font("Courier New", 17, FW_NORMAL, true)};
  // Overlapping pairs ("ff", "/7", "AV" in italics), accented and high
  // Windows-1252 characters, a space, and a text cut short by a zero byte.
  const std::string texts[] = {"123 km/h", "ffi/7 Wy AV", "\xE9\xE8\xC5 \x80\x93", std::string("cut\0here", 8)};
  const RECT whole{0, 0, WIDTH, HEIGHT};
  const RECT cutting{20, 18, 150, 40};  // through the glyphs on every side
  for (const gdi::FontSpec& spec : fonts) {
    for (const std::string& text : texts) {
      EXPECT_EQ(drawn_differently(spec, text, whole), 0) << spec.family << " " << spec.pixel_size << " " << text;
      EXPECT_EQ(drawn_differently(spec, text, cutting), 0)
          << spec.family << " " << spec.pixel_size << " clipped " << text;
    }
  }
}

TEST(TextPixels, UnderlinedTextAndOtherImageFormatsAreLeftToCairo) {
  gdi::FontSpec underlined = font("Arial", 20);
  underlined.underline = true;
  cairo_surface_t* image = blank_image();
  EXPECT_FALSE(gdi::draw_text_into(image, RECT{0, 0, WIDTH, HEIGHT}, underlined, 0, 0, "x", RGB(0, 0, 0)));
  cairo_surface_t* alpha_only = cairo_image_surface_create(CAIRO_FORMAT_A8, 40, 40);
  EXPECT_FALSE(gdi::draw_text_into(alpha_only, RECT{0, 0, 40, 40}, font("Arial", 20), 0, 0, "x", RGB(0, 0, 0)));
  cairo_surface_t* untouched = blank_image();
  EXPECT_EQ(differences(image, untouched), 0) << "nothing is drawn when it declines";
  cairo_surface_destroy(alpha_only);
  cairo_surface_destroy(image);
  cairo_surface_destroy(untouched);
}

}  // namespace
