// The demo without a display: runs the program in this process on the
// headless display, presses Connect as a person would, prints every new
// read-out as a line ("50 km/h", or "no speed" when it is emptied), every
// line the log gains as "log: LINE", and after the given time (or on Ctrl+C)
// saves a picture of the window and ends. Given a port, it first types it into
// the port field.
//   headless_demo [SECONDS [PNG [PORT]]]   defaults: 20 s, velmorant-demo.png, the field's own
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "gadgets.h"
#include "main_window.h"
#include "platform_driver.h"
#include "toolkit_internal.h"
#include "toolkit_windows.h"

namespace {

struct Demo {
  std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
  std::chrono::seconds length{20};
  std::string png = "velmorant-demo.png";
  std::string port;
  bool port_typed = false;
  bool connect_pressed = false;
  bool saved = false;
  std::string shown;
  std::string logged;  // the log's lines printed so far
};

// Prints the lines the log has gained since the last tick; a log emptied or
// cut at its front is printed anew.
void print_new_log_lines(Demo& demo) {
  const std::string log = get_gadget_text(GADGET_LOG);
  const std::size_t end = log.rfind('\r') == std::string::npos ? 0 : log.rfind('\r') + 1;
  std::size_t from = log.starts_with(demo.logged) ? demo.logged.size() : 0;
  demo.logged = log.substr(0, end);
  for (std::size_t next; from < end; from = next + 1) {
    next = log.find('\r', from);
    std::printf("log: %s\n", log.substr(from, next - from).c_str());
  }
}

void save_picture(Demo& demo) {
  if (demo.saved) return;
  demo.saved = true;
  if (platform_driver_save_png(window_handle(WINDOW_MAIN), demo.png.c_str())) {
    std::printf("saved the window as %s\n", demo.png.c_str());
  } else {
    std::fprintf(stderr, "headless_demo: could not save %s\n", demo.png.c_str());
  }
}

void click(int gadget) {
  RECT box;
  GetWindowRect(gadget_record(gadget)->control, &box);
  platform_driver_mouse_move((box.left + box.right) / 2, (box.top + box.bottom) / 2);
  platform_driver_mouse_button(VK_LBUTTON, true);
  platform_driver_mouse_button(VK_LBUTTON, false);
}

// Called on the program's thread while its own loop waits.
void tick(void* context) {
  Demo& demo = *static_cast<Demo*>(context);
  HWND window = window_handle(WINDOW_MAIN);
  if (!demo.port.empty() && !demo.port_typed) {
    demo.port_typed = true;
    click(GADGET_PORT);
    platform_driver_key(VK_END, true);
    platform_driver_key(VK_END, false);
    for (std::size_t i = get_gadget_text(GADGET_PORT).size(); i > 0; --i) {
      platform_driver_key(VK_BACK, true);
      platform_driver_key(VK_BACK, false);
    }
    platform_driver_type_text(demo.port.c_str());
  }
  // Connect once the program has taken every key: a busy machine may take
  // more than one tick for them.
  const bool port_ready = demo.port.empty() || get_gadget_text(GADGET_PORT) == demo.port;
  if (!demo.connect_pressed && port_ready) {
    demo.connect_pressed = true;
    click(GADGET_CONNECT);
    std::printf("pressed Connect (port %s, group %s)\n", get_gadget_text(GADGET_PORT).c_str(),
                get_gadget_text(GADGET_GROUP).c_str());
    std::fflush(stdout);
  }
  print_new_log_lines(demo);
  const std::string result = get_gadget_text(GADGET_RESULT);
  if (result != demo.shown) {
    demo.shown = result;
    std::printf("%s\n", result.empty() ? "no speed" : result.c_str());
  }
  std::fflush(stdout);
  if (!demo.saved && std::chrono::steady_clock::now() - demo.started >= demo.length) {
    save_picture(demo);
    PostMessageA(window, WM_CLOSE, 0, 0);
  }
}

}  // namespace

int main(int argc, char** argv) {
  Demo demo;
  if (argc > 1) demo.length = std::chrono::seconds(std::atoi(argv[1]));
  if (argc > 2) demo.png = argv[2];
  if (argc > 3) demo.port = argv[3];

  setenv("VELMORANT_DISPLAY", "headless", 1);  // this demo's display, chosen by name
  start_support_layers();
  if (!build_main_window()) {
    std::fprintf(stderr, "headless_demo: the window did not open\n");
    stop_support_layers();
    return 1;
  }
  std::printf("the program runs on the headless display for %lld s (Ctrl+C ends it sooner)\n",
              static_cast<long long>(demo.length.count()));
  driver_set_tick_hook(tick, &demo, 50);
  run_event_loop();
  driver_set_tick_hook(nullptr, nullptr, 0);
  save_picture(demo);  // when Ctrl+C ended it early
  stop_support_layers();
  return 0;
}
