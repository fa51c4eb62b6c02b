// The headless display. Every surface is an image in memory; the screen is
// composed from them only when someone looks at it.
#include "display/headless.h"

#include <cairo.h>

#include <algorithm>

namespace display {

class HeadlessSurface final : public Surface {
 public:
  HeadlessSurface(HeadlessDisplay& owner, const RECT& rect) : owner_(owner), rect_(rect) { allocate(); }
  ~HeadlessSurface() override {
    owner_.forget(this);
    cairo_surface_destroy(image_);
  }
  cairo_surface_t* image() override { return image_; }

  void place(const RECT& rect) {
    bool resized =
        rect.right - rect.left != rect_.right - rect_.left || rect.bottom - rect.top != rect_.bottom - rect_.top;
    rect_ = rect;
    if (resized) {
      cairo_surface_destroy(image_);
      allocate();
    }
  }
  const RECT& rect() const { return rect_; }
  bool visible = false;

 private:
  void allocate() {
    int width = std::max<LONG>(1, rect_.right - rect_.left);
    int height = std::max<LONG>(1, rect_.bottom - rect_.top);
    image_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  }

  HeadlessDisplay& owner_;
  RECT rect_;
  cairo_surface_t* image_ = nullptr;
};

HeadlessDisplay::HeadlessDisplay(int width, int height) : size_{width, height} {}

HeadlessDisplay::~HeadlessDisplay() = default;

std::unique_ptr<Surface> HeadlessDisplay::create_surface(HWND, const RECT& screen_rect) {
  auto surface = std::make_unique<HeadlessSurface>(*this, screen_rect);
  stacking_.push_back(surface.get());
  return surface;
}

void HeadlessDisplay::move_surface(Surface& surface, const RECT& screen_rect) {
  static_cast<HeadlessSurface&>(surface).place(screen_rect);
}

void HeadlessDisplay::show_surface(Surface& surface, bool visible) {
  static_cast<HeadlessSurface&>(surface).visible = visible;
}

void HeadlessDisplay::raise_surface(Surface& surface) {
  auto* raised = static_cast<HeadlessSurface*>(&surface);
  forget(raised);
  stacking_.push_back(raised);
}

void HeadlessDisplay::forget(HeadlessSurface* surface) {
  stacking_.erase(std::remove(stacking_.begin(), stacking_.end(), surface), stacking_.end());
}

cairo_surface_t* HeadlessDisplay::compose_screen() const {
  cairo_surface_t* screen = cairo_image_surface_create(CAIRO_FORMAT_RGB24, size_.cx, size_.cy);
  cairo_t* cr = cairo_create(screen);
  cairo_set_source_rgb(cr, 0.0, 0x80 / 255.0, 0x80 / 255.0);  // the classic teal desktop
  cairo_paint(cr);
  for (HeadlessSurface* surface : stacking_) {
    if (!surface->visible) continue;
    cairo_surface_flush(surface->image());
    cairo_set_source_surface(cr, surface->image(), surface->rect().left, surface->rect().top);
    cairo_paint(cr);
  }
  cairo_destroy(cr);
  cairo_surface_flush(screen);
  return screen;
}

}  // namespace display
