// The one place that chooses the display system: the X11 display when an X
// server can be reached (DISPLAY), otherwise the headless one (1024 x 768).
// VELMORANT_DISPLAY=headless or VELMORANT_DISPLAY=x11 overrides the choice;
// tests use the headless display whatever the environment says.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "display/display.h"
#include "display/headless.h"
#include "display/x11.h"

namespace display {
namespace {

std::unique_ptr<Display> choose() {
  const char* wanted = std::getenv("VELMORANT_DISPLAY");
  if (wanted != nullptr && std::strcmp(wanted, "headless") == 0) return std::make_unique<HeadlessDisplay>(1024, 768);
  if (std::unique_ptr<Display> x11 = X11Display::open()) return x11;
  if (wanted != nullptr && std::strcmp(wanted, "x11") == 0) {
    std::fprintf(stderr, "velmorant: no X display could be opened (DISPLAY=%s); using the headless display\n",
                 std::getenv("DISPLAY") != nullptr ? std::getenv("DISPLAY") : "");
  }
  return std::make_unique<HeadlessDisplay>(1024, 768);
}

std::unique_ptr<Display>& instance() {
  static std::unique_ptr<Display> display;
  return display;
}

}  // namespace

Display& current() {
  std::unique_ptr<Display>& display = instance();
  if (!display) display = choose();
  return *display;
}

// Used by the test driver before any window exists.
bool replace(std::unique_ptr<Display> display) {
  instance() = std::move(display);
  return true;
}

}  // namespace display
