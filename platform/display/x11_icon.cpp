// A window's icon as the window manager reads it from _NET_WM_ICON: for each
// size, its width and height, then its pixels row by row as ARGB values, not
// premultiplied (cairo's are). Xlib passes 32-bit properties as longs.
#include <cairo.h>

#include <cstdint>
#include <cstring>

#include "display/x11.h"

namespace display {
namespace {

struct PngReader {
  std::span<const unsigned char> data;
  std::size_t at = 0;
};

cairo_status_t read_png(void* closure, unsigned char* out, unsigned int length) {
  auto* reader = static_cast<PngReader*>(closure);
  const std::span<const unsigned char> rest = reader->data.subspan(reader->at);
  if (rest.size() < length) return CAIRO_STATUS_READ_ERROR;
  std::memcpy(out, rest.data(), length);
  reader->at += length;
  return CAIRO_STATUS_SUCCESS;
}

unsigned long unpremultiplied(std::uint32_t pixel) {
  const std::uint32_t alpha = pixel >> 24;
  if (alpha == 0) return 0;
  unsigned long argb = static_cast<unsigned long>(alpha) << 24;
  for (int shift : {16, 8, 0}) {
    const std::uint32_t channel = (pixel >> shift) & 0xFF;
    argb |= static_cast<unsigned long>((channel * 255 + alpha / 2) / alpha) << shift;
  }
  return argb;
}

}  // namespace

std::vector<unsigned long> icon_cardinals(const std::vector<std::span<const unsigned char>>& pngs) {
  std::vector<unsigned long> cardinals;
  for (std::span<const unsigned char> png : pngs) {
    PngReader reader{png};
    cairo_surface_t* image = cairo_image_surface_create_from_png_stream(read_png, &reader);
    if (cairo_surface_status(image) == CAIRO_STATUS_SUCCESS) {
      cairo_surface_flush(image);
      const int width = cairo_image_surface_get_width(image), height = cairo_image_surface_get_height(image);
      const int stride = cairo_image_surface_get_stride(image);
      const unsigned char* data = cairo_image_surface_get_data(image);
      cardinals.push_back(static_cast<unsigned long>(width));
      cardinals.push_back(static_cast<unsigned long>(height));
      for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        for (int x = 0; x < width; ++x) cardinals.push_back(unpremultiplied(row[x]));
      }
    }
    cairo_surface_destroy(image);
  }
  return cardinals;
}

}  // namespace display
