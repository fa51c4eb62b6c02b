// The headless display: an in-memory screen with no input of its own. Tests
// and demos drive it through the test driver (platform_driver.h).
#pragma once

#include "display/display.h"

#include <vector>

namespace display {

class HeadlessSurface;

class HeadlessDisplay final : public Display {
 public:
  HeadlessDisplay(int width, int height);
  ~HeadlessDisplay() override;

  const char* name() const override { return "headless"; }
  SIZE screen_size() const override { return size_; }
  std::unique_ptr<Surface> create_surface(HWND window, const RECT& screen_rect) override;
  void move_surface(Surface& surface, const RECT& screen_rect) override;
  void show_surface(Surface& surface, bool visible) override;
  void raise_surface(Surface& surface) override;
  void present(Surface&, const RECT&, const RECT&) override {}
  int wait_descriptor() const override { return -1; }
  void process_events(InputSink&) override {}
  // The clipboard of this process alone.
  void offer_clipboard(std::optional<std::string> text) override { clipboard_ = std::move(text); }
  std::optional<std::string> clipboard_text() override { return clipboard_; }
  bool clipboard_has_text() override { return clipboard_.has_value(); }

  // The screen as a person would see it: the desktop and every visible
  // surface, bottom to top. The caller owns the new image.
  cairo_surface_t* compose_screen() const;
  void forget(HeadlessSurface* surface);

 private:
  SIZE size_;
  std::vector<HeadlessSurface*> stacking_;  // bottom first
  std::optional<std::string> clipboard_;
};

}  // namespace display
