// A window's icon as the X display hands it to the window manager: for each
// size its width, its height and its pixels as straight (not premultiplied)
// ARGB values; a file that is not a whole PNG is left out.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "display/x11.h"

namespace {

cairo_status_t append(void* closure, const unsigned char* data, unsigned int length) {
  auto* bytes = static_cast<std::vector<unsigned char>*>(closure);
  bytes->insert(bytes->end(), data, data + length);
  return CAIRO_STATUS_SUCCESS;
}

// A PNG of `width` columns of cairo's premultiplied pixels.
std::vector<unsigned char> png_of(int width, const std::vector<std::uint32_t>& pixels) {
  const int height = static_cast<int>(pixels.size()) / width;
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_surface_flush(image);
  for (int y = 0; y < height; ++y) {
    std::memcpy(cairo_image_surface_get_data(image) + y * cairo_image_surface_get_stride(image),
                pixels.data() + y * width, static_cast<std::size_t>(width) * 4);
  }
  cairo_surface_mark_dirty(image);
  std::vector<unsigned char> png;
  cairo_surface_write_to_png_stream(image, append, &png);
  cairo_surface_destroy(image);
  return png;
}

TEST(DisplayIcon, EachSizeGivesItsWidthHeightAndStraightPixels) {
  const std::vector<unsigned char> small = png_of(2, {0xFF102030, 0x80402010, 0x00000000, 0x40404040});
  const std::vector<unsigned char> cut(small.begin(), small.begin() + static_cast<std::ptrdiff_t>(small.size() / 2));
  const std::vector<unsigned char> large = png_of(3, {0xFFFFFFFF, 0x01010000, 0xFF000000});
  EXPECT_EQ(display::icon_cardinals({small, cut, large}),
            (std::vector<unsigned long>{2, 2, 0xFF102030, 0x80804020, 0, 0x40FFFFFF, 3, 1, 0xFFFFFFFF, 0x01FF0000,
                                        0xFF000000}));
  EXPECT_TRUE(display::icon_cardinals({}).empty());
}

}  // namespace
