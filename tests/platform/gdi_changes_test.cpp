// A DC reports which part of the image its drawing changed, and only that
// part is compared with what the display holds. It must cover every pixel
// that changed, or the display keeps stale pixels; a fill that repaints what
// is already there must not widen it.
#include <cairo.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <vector>

#include "gdi/dc.h"

namespace {

constexpr int WIDTH = 240, HEIGHT = 120;
constexpr COLORREF GREY = RGB(192, 192, 192);
constexpr std::uint32_t GREY_PIXEL = 0xFFC0C0C0;

class Image {
 public:
  Image() : surface_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, WIDTH, HEIGHT)) {
    for (int y = 0; y < HEIGHT; ++y) {
      for (int x = 0; x < WIDTH; ++x) at(x, y) = GREY_PIXEL;
    }
  }
  ~Image() { cairo_surface_destroy(surface_); }
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  cairo_surface_t* surface() const { return surface_; }
  std::uint32_t& at(int x, int y) {
    cairo_surface_flush(surface_);
    auto* rows = cairo_image_surface_get_data(surface_);
    return reinterpret_cast<std::uint32_t*>(rows + y * cairo_image_surface_get_stride(surface_))[x];
  }
  std::vector<std::uint32_t> pixels() {
    std::vector<std::uint32_t> all;
    for (int y = 0; y < HEIGHT; ++y) {
      for (int x = 0; x < WIDTH; ++x) all.push_back(at(x, y));
    }
    return all;
  }

 private:
  cairo_surface_t* surface_;
};

// The smallest rectangle around the pixels that differ between two copies.
RECT differing(const std::vector<std::uint32_t>& before, const std::vector<std::uint32_t>& after) {
  RECT bounds{};
  for (int y = 0; y < HEIGHT; ++y) {
    for (int x = 0; x < WIDTH; ++x) {
      if (before[y * WIDTH + x] == after[y * WIDTH + x]) continue;
      const RECT pixel{x, y, x + 1, y + 1};
      UnionRect(&bounds, &bounds, &pixel);
    }
  }
  return bounds;
}

bool covers(const RECT& outer, const RECT& inner) {
  RECT both;
  UnionRect(&both, &outer, &inner);
  return EqualRect(&both, &outer);
}

// Opens a DC at `origin` clipped to `clip`, draws, closes it; the part it reported changed.
template <typename Draw>
RECT changed_by(Image& image, POINT origin, const RECT& clip, Draw draw) {
  HDC dc = gdi::open_dc(nullptr, image.surface(), origin, clip);
  draw(dc);
  RECT changed;
  const RECT reach = gdi::close_dc(dc, &changed);
  EXPECT_TRUE(EqualRect(&reach, &clip));
  return changed;
}

TEST(DrawingChanges, AFillCountsOnlyThePixelsOfAnotherColour) {
  Image image;
  const RECT whole{0, 0, WIDTH, HEIGHT};
  HBRUSH grey = CreateSolidBrush(GREY);
  auto fill_grey = [grey](HDC dc) {
    const RECT all{-20, -20, WIDTH + 20, HEIGHT + 20};
    FillRect(dc, &all, grey);
  };
  RECT changed = changed_by(image, POINT{0, 0}, whole, fill_grey);
  EXPECT_TRUE(IsRectEmpty(&changed)) << "the image was grey already";

  // Odd pixels at a row's first and last place, inside and across the blocks
  // the rows are compared in, on rows far apart.
  for (auto [x, y] :
       std::vector<std::pair<int, int>>{{0, 3}, {WIDTH - 1, 3}, {37, 50}, {160, 90}, {15, 91}, {16, 92}}) {
    image.at(x, y) = 0xFF102030;
    const RECT odd{x, y, x + 1, y + 1};
    changed = changed_by(image, POINT{0, 0}, whole, fill_grey);
    EXPECT_TRUE(EqualRect(&changed, &odd)) << "odd pixel at " << x << "," << y << ": changed " << changed.left << ","
                                           << changed.top << " - " << changed.right << "," << changed.bottom;
    EXPECT_EQ(image.at(x, y), GREY_PIXEL);
  }

  // Two odd pixels on two rows: one rectangle around both, in image coordinates for a DC with an origin.
  image.at(30, 20) = 0xFF000000;
  image.at(130, 60) = 0xFF000000;
  changed = changed_by(image, POINT{10, 5}, whole, fill_grey);
  const RECT around_both{30, 20, 131, 61};
  EXPECT_TRUE(EqualRect(&changed, &around_both));

  // A new colour changes everything the clip lets through, and nothing outside it.
  const RECT clip{40, 10, 200, 100};
  const auto before = image.pixels();
  changed = changed_by(image, POINT{0, 0}, clip, [](HDC dc) {
    const RECT all{0, 0, WIDTH, HEIGHT};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  });
  EXPECT_TRUE(EqualRect(&changed, &clip));
  const RECT seen = differing(before, image.pixels());
  EXPECT_TRUE(EqualRect(&seen, &clip));
  DeleteObject(grey);
}

TEST(DrawingChanges, TextCountsItsGlyphsAndOtherDrawingItsWholeClip) {
  Image image;
  const RECT clip{10, 10, 230, 110};
  auto before = image.pixels();
  RECT changed = changed_by(image, POINT{10, 10}, clip, [](HDC dc) {
    SetBkMode(dc, TRANSPARENT);
    TextOutA(dc, 20, 30, "123 km/h", 8);
  });
  RECT seen = differing(before, image.pixels());
  ASSERT_FALSE(IsRectEmpty(&seen)) << "the text drew nothing";
  EXPECT_TRUE(covers(changed, seen));
  EXPECT_LT(changed.bottom - changed.top, 40) << "only the text's rows";

  // A text clipped away entirely changes nothing.
  before = image.pixels();
  changed = changed_by(image, POINT{10, 10}, clip, [](HDC dc) {
    SetBkMode(dc, TRANSPARENT);
    TextOutA(dc, 300, 30, "far", 3);
  });
  EXPECT_TRUE(IsRectEmpty(&changed));
  EXPECT_EQ(before, image.pixels());

  // A line is drawn by cairo, which may touch anything the clip lets through.
  before = image.pixels();
  changed = changed_by(image, POINT{10, 10}, clip, [](HDC dc) {
    MoveToEx(dc, 0, 0, nullptr);
    LineTo(dc, 150, 70);
  });
  seen = differing(before, image.pixels());
  ASSERT_FALSE(IsRectEmpty(&seen));
  EXPECT_TRUE(EqualRect(&changed, &clip));
}

}  // namespace
