// The one place that chooses the display system. For now that is the headless
// display (1024 x 768); VELMORANT_DISPLAY names the backend explicitly once
// there are several to choose from.
#include "display/display.h"
#include "display/headless.h"

#include <cstdlib>
#include <cstring>

namespace display {
namespace {

std::unique_ptr<Display>& instance() {
  static std::unique_ptr<Display> display;
  return display;
}

}  // namespace

Display& current() {
  std::unique_ptr<Display>& display = instance();
  if (!display) display = std::make_unique<HeadlessDisplay>(1024, 768);
  return *display;
}

// Used by the test driver before any window exists.
bool replace(std::unique_ptr<Display> display) {
  instance() = std::move(display);
  return true;
}

}  // namespace display
