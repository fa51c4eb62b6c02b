// The one place that chooses the display system: the X11 display (DISPLAY),
// or the headless one (1024 x 768) when it is chosen by name
// (VELMORANT_DISPLAY=headless, as the packaging check does) or by the test
// driver (the tests and the demo). A program that finds no display otherwise
// says so and ends: a window nobody can see, holding a serial port, would
// look to the user like a program that hangs.
#include <errno.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "display/display.h"
#include "display/headless.h"
#include "display/x11.h"

namespace display {
namespace {

std::unique_ptr<Display> choose() {
  const char* wanted = std::getenv("VELMORANT_DISPLAY");
  if (wanted != nullptr && std::strcmp(wanted, "headless") == 0) return std::make_unique<HeadlessDisplay>(1024, 768);
  if (std::unique_ptr<Display> x11 = X11Display::open()) return x11;
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') {
    std::fprintf(stderr, "%s: no display: DISPLAY is not set (as over ssh without -X). ",
                 program_invocation_short_name);
  } else {
    std::string shown(name);  // one line, whatever the variable holds
    for (char& c : shown) c = c >= 0x20 && c < 0x7f ? c : '?';
    std::fprintf(stderr, "%s: no display: the X display \"%s\" cannot be reached. ", program_invocation_short_name,
                 shown.c_str());
  }
  std::fputs("Start it on a desktop, or set VELMORANT_DISPLAY=headless to run it without a window.\n", stderr);
  std::exit(1);
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

bool replace(std::unique_ptr<Display> display) {
  instance() = std::move(display);
  return true;
}

}  // namespace display
