#include "ui_support.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>

#include "events.h"
#include "fonts.h"
#include "gadgets.h"
#include "test_support.h"
#include "toolkit_windows.h"
#include "toolkit_internal.h"

namespace {

// Starts the toolkit in the application's order, once for the whole program.
class ToolkitEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    main_heap = HeapCreate(0, 4096, 0);
    ASSERT_NE(main_heap, nullptr);
    list_heap_init();
    init_fonts();
    windows_init();
    gadgets_init();
    InitCommonControls();
  }
};

[[maybe_unused]] ::testing::Environment* const toolkit_environment =
    ::testing::AddGlobalTestEnvironment(new ToolkitEnvironment);

}  // namespace

Event retrieve(int timeout) {
  int code = event_retrieve(timeout);
  return Event{code, event_window(), event_gadget(), event_type()};
}

std::vector<Event> drain_events(int quiet_ms) {
  std::vector<Event> events;
  for (int i = 0; i < 500; ++i) {
    Event event = retrieve(quiet_ms);
    if (event.code == EV_NONE) break;
    events.push_back(event);
  }
  return events;
}

std::vector<Event> retrieve_until(const std::function<bool(const Event&)>& condition, int retrievals) {
  std::vector<Event> events;
  for (int i = 0; i < retrievals; ++i) {
    Event event = retrieve(50);
    if (event.code == EV_NONE) continue;
    events.push_back(event);
    if (condition(event)) return events;
  }
  return {};
}

bool pump_until(const std::function<bool()>& condition, int rounds) {
  for (int i = 0; i < rounds; ++i) {
    if (condition()) return true;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  return condition();
}

HWND gadget_control(ObjectNumber gadget) {
  GadgetRecord* record = gadget_record(gadget);
  return record != nullptr ? record->control : nullptr;
}

void bring_to_front(HWND window) {
  SetForegroundWindow(window);
  SetActiveWindow(window);
  pump_until([&] { return GetForegroundWindow() == window; });
}

void click_screen(int x, int y) { test_support::click_screen(POINT{x, y}); }

void click_client(HWND window, int x, int y) {
  HWND top = GetAncestor(window, GA_ROOT);
  if (GetForegroundWindow() != top) bring_to_front(top);
  POINT point{x, y};
  ClientToScreen(window, &point);
  click_screen(point.x, point.y);
}

void press_key(WORD virtual_key, bool shift) {
  if (shift) test_support::key_down(VK_SHIFT);
  test_support::press_key(virtual_key);
  if (shift) test_support::key_up(VK_SHIFT);
}

bool find_frame_point(HWND window, LRESULT area, POINT& point) {
  RECT frame;
  GetWindowRect(window, &frame);
  // The middle of all the points of the frame's top band that hit the area.
  LONG left = frame.right, right = frame.left - 1, top = frame.bottom, bottom = frame.top - 1;
  for (int y = frame.top; y < frame.top + 60 && y < frame.bottom; ++y) {
    for (int x = frame.left; x < frame.right; ++x) {
      LPARAM at = MAKELPARAM(static_cast<SHORT>(x), static_cast<SHORT>(y));
      if (SendMessageA(window, WM_NCHITTEST, 0, at) != area) continue;
      left = std::min<LONG>(left, x);
      right = std::max<LONG>(right, x);
      top = std::min<LONG>(top, y);
      bottom = std::max<LONG>(bottom, y);
    }
  }
  if (right < left) return false;
  point = POINT{(left + right) / 2, (top + bottom) / 2};
  return true;
}
