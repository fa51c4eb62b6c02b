// Callbacks that call back in: while the toolkit handles a message of a
// window, the user's callback opens, closes and re-opens windows and gadgets,
// with numbers that make the registries grow (and so move their records).
// Afterwards every record must name a live window or control that leads back
// to it, and closing everything must leave nothing behind.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "colours.h"
#include "events.h"
#include "gadgets.h"
#include "requester.h"
#include "toolkit_windows.h"
#include "ui_support.h"
#include "toolkit_internal.h"

namespace {

constexpr DWORD plain_window = WS_OVERLAPPEDWINDOW;

// A number that the registry has no slot for yet: taking it grows the registry.
ObjectNumber beyond(const ObjectRegistry* registry) { return registry->capacity + 3; }

// The global callback does one thing, once, when a message (with the
// notification code, for WM_COMMAND) arrives for a window.
struct Reaction {
  static inline UINT message = 0;
  static inline int code = -1;  // any
  static inline std::function<void(HWND)> act;
  static inline int fired = 0;

  static LRESULT callback(HWND window, UINT got, WPARAM wparam, LPARAM) {
    if (got == message && (code == -1 || code == HIWORD(wparam)) && act) {
      auto once = std::move(act);
      act = nullptr;
      ++fired;
      once(window);
    }
    return RESULT_CONTINUE;
  }
  static void arm(UINT on, int notification, std::function<void(HWND)> action) {
    message = on;
    code = notification;
    act = std::move(action);
    fired = 0;
    event_state->global_callback = callback;
  }
};

// Every live window record names a live window that carries its number, and
// every live gadget record a live control that carries its identifier.
::testing::AssertionResult records_are_sound() {
  ObjectNumber number = 0;
  registry_enum_begin(window_registry);
  while (auto* record = static_cast<WindowRecord*>(registry_enum_next(window_registry, &number))) {
    if (!IsWindow(record->window)) return ::testing::AssertionFailure() << "window " << number << " is dead";
    if (reinterpret_cast<ObjectNumber>(GetPropA(record->window, "RZ_WindowID")) != number + 1)
      return ::testing::AssertionFailure() << "window " << number << " does not lead back to its record";
  }
  registry_enum_begin(gadget_registry);
  while (auto* record = static_cast<GadgetRecord*>(registry_enum_next(gadget_registry, &number))) {
    if (!IsWindow(record->control)) return ::testing::AssertionFailure() << "gadget " << number << " is dead";
    if (reinterpret_cast<ObjectNumber>(GetPropA(record->control, "RZ_ID")) != number)
      return ::testing::AssertionFailure() << "gadget " << number << " does not lead back to its record";
  }
  if (sizing_state->active != 0 && (!IsWindow(sizing_state->window) || GetCapture() != sizing_state->window))
    return ::testing::AssertionFailure() << "the sizing loop runs without its window holding the capture";
  if (disabled_windows != nullptr) return ::testing::AssertionFailure() << "a requester's entry outlived it";
  return ::testing::AssertionSuccess();
}

class Reentrancy : public ::testing::Test {
 protected:
  void TearDown() override {
    event_state->global_callback = nullptr;
    Reaction::act = nullptr;
    windows_close_all();
    drain_events(20);
    EXPECT_TRUE(records_are_sound());
    ObjectNumber number;
    registry_enum_begin(window_registry);
    EXPECT_EQ(registry_enum_next(window_registry, &number), nullptr) << "a record outlived its window";
  }
  static ObjectNumber open(ObjectNumber number, DWORD flags = plain_window, HWND parent = nullptr) {
    return window_open(number, 40, 40, 200, 120, "re-entered", flags, parent);
  }
};

bool open_far() { return window_open(beyond(window_registry), 0, 0, 50, 50, "far", WINDOW_INVISIBLE) != 0; }

constexpr const char* requester_caption = "Re-entered requester";

// Answers the requester as soon as it shows.
void CALLBACK press_ok(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND box = FindWindowExA(nullptr, nullptr, nullptr, requester_caption);
  if (box == nullptr) return;
  KillTimer(nullptr, timer);
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

// What a callback does.
struct Action {
  const char* name;
  std::function<void(HWND)> act;
};
const Action actions[] = {
    {"opens a window that grows the registry", [](HWND) { open_far(); }},
    {"closes window 0", [](HWND) { window_close(0); }},
    {"re-opens window 0", [](HWND) { window_open(0, 10, 10, 80, 60, "again", plain_window); }},
    {"creates a gadget that grows its registry",
     [](HWND) {
       set_gadget_parent(window_handle(0));
       create_button_gadget(beyond(gadget_registry), 5, 5, 60, 20, "far");
     }},
    {"closes every window", [](HWND) { windows_close_all(); }},
    {"frees the gadgets",
     [](HWND) {
       for (ObjectNumber gadget : {1, 2, 3}) free_gadget(gadget);
     }},
    {"opens a requester",
     [](HWND) {
       SetTimer(nullptr, 0, 20, press_ok);
       EXPECT_EQ(message_requester(requester_caption, "Re-entered", 0), IDOK);
     }},
};

void repaint(HWND control) { RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW); }

struct Trigger {
  UINT message;
  int code;                    // the notification code of a WM_COMMAND, -1 for any
  std::function<void()> send;  // brings window 0 the message
};
const Trigger triggers[] = {
    {WM_SIZE, -1, [] { SetWindowPos(window_handle(0), nullptr, 0, 0, 260, 170, SWP_NOMOVE | SWP_NOZORDER); }},
    {WM_ERASEBKGND, -1,
     [] {
       HDC context = GetDC(window_handle(0));
       SendMessageA(window_handle(0), WM_ERASEBKGND, reinterpret_cast<WPARAM>(context), 0);
       ReleaseDC(window_handle(0), context);
     }},
    {WM_SYSCOLORCHANGE, -1, [] { SendMessageA(window_handle(0), WM_SYSCOLORCHANGE, 0, 0); }},
    {WM_ENABLE, -1, [] { EnableWindow(window_handle(0), FALSE); }},
    {WM_DESTROY, -1, [] { window_close(0); }},
    {WM_NCDESTROY, -1, [] { window_close(0); }},
    {WM_COMMAND, BN_CLICKED, [] { SendMessageA(gadget_control(1), BM_CLICK, 0, 0); }},
    {WM_CTLCOLORBTN, -1, [] { repaint(gadget_control(1)); }},
    {WM_CTLCOLOREDIT, -1, [] { repaint(gadget_control(2)); }},
    {WM_CTLCOLORSTATIC, -1, [] { repaint(gadget_control(3)); }},
    {WM_COMMAND, EN_MAXTEXT,
     [] {
       SendMessageA(gadget_control(2), EM_LIMITTEXT, 3, 0);
       SendMessageA(gadget_control(2), EM_REPLACESEL, 0, reinterpret_cast<LPARAM>("longer than three"));
     }},
    {WM_COMMAND, EN_KILLFOCUS, [] { SetFocus(window_handle(0)); }},
    {WM_GETMINMAXINFO, -1,
     [] {
       SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, TRUE, nullptr, 0);
       SendMessageA(window_handle(0), WM_SYSCOMMAND, SC_SIZE + WMSZ_RIGHT, 0);
     }},
    {WM_SHOWWINDOW, -1, [] { ShowWindow(window_handle(0), SW_HIDE); }},
};

TEST_F(Reentrancy, EveryActionOnEveryMessageLeavesSoundRecords) {
  for (const Trigger& trigger : triggers) {
    for (const Action& action : actions) {
      SCOPED_TRACE(std::string("message ") + std::to_string(trigger.message) + " (" + std::to_string(trigger.code) +
                   "): the callback " + action.name);
      ASSERT_NE(open(0), 0);
      set_gadget_parent(window_handle(0));
      ASSERT_NE(create_button_gadget(1, 10, 10, 80, 24, "Connect"), 0);
      ASSERT_NE(create_string_gadget(2, 10, 40, 80, 24, "COM17"), 0);
      ASSERT_NE(create_text_gadget(3, 10, 70, 80, 24, "Port"), 0);
      set_gadget_colour(2, COLOUR_BACK, RGB(0, 0, 200));
      set_gadget_colour(3, COLOUR_BACK, RGB(200, 0, 0));
      bring_to_front(window_handle(0));
      SetFocus(gadget_control(2));
      drain_events(0);
      Reaction::arm(trigger.message, trigger.code, action.act);
      trigger.send();
      EXPECT_EQ(Reaction::fired, 1) << "the message never came";
      EXPECT_TRUE(records_are_sound());
      windows_close_all();
      drain_events(0);
    }
  }
}

TEST_F(Reentrancy, AWindowOpenedDuringCreationLeavesTheNewWindowReachableByItsNumber) {
  for (const Action& action : actions) {
    SCOPED_TRACE(std::string("during WM_CREATE the callback ") + action.name);
    Reaction::arm(WM_CREATE, -1, action.act);
    ObjectNumber result = open(2);
    EXPECT_EQ(Reaction::fired, 1);
    EXPECT_NE(result, 0) << "window 2 was created and is open";
    EXPECT_EQ(reinterpret_cast<HWND>(result), window_handle(2));
    EXPECT_TRUE(IsWindowVisible(window_handle(2)));
    EXPECT_TRUE(records_are_sound());
    HWND opened = window_handle(2);
    window_close(2);
    EXPECT_FALSE(IsWindow(opened)) << "closed by its number";
    windows_close_all();
  }
}

TEST_F(Reentrancy, TheNewestOpenOfANumberWinsAndTheOlderWindowIsGone) {
  // Re-opening the number from inside its own creation: the inner window keeps the number.
  Reaction::arm(WM_CREATE, -1, [](HWND) { window_open(3, 10, 10, 80, 60, "inner", plain_window); });
  ObjectNumber outer = open(3);
  HWND inner = window_handle(3);
  ASSERT_NE(inner, nullptr);
  EXPECT_TRUE(records_are_sound());
  EXPECT_EQ(outer, 0) << "the outer window lost its number while it was being made";
  char title[16] = {};
  GetWindowTextA(inner, title, sizeof title);
  EXPECT_STREQ(title, "inner");
  EXPECT_EQ(FindWindowExA(nullptr, nullptr, nullptr, "re-entered"), nullptr) << "the outer window is gone";

  // Re-opening it from inside its own close: the new window keeps the number.
  HWND old = window_handle(3);
  Reaction::arm(WM_DESTROY, -1, [](HWND) { window_open(3, 10, 10, 80, 60, "reborn", plain_window); });
  window_close(3);
  EXPECT_FALSE(IsWindow(old));
  ASSERT_NE(window_handle(3), nullptr) << "the outer close must not wipe the new record";
  GetWindowTextA(window_handle(3), title, sizeof title);
  EXPECT_STREQ(title, "reborn");
  EXPECT_TRUE(records_are_sound());
}

TEST_F(Reentrancy, WindowsThatTheSystemDestroysWithTheirOwnerOrParentLoseTheirRecords) {
  ASSERT_NE(open(3), 0);
  ASSERT_NE(open(0, WS_POPUP | WS_CAPTION, window_handle(3)), 0);  // 0 is a number like any other
  ASSERT_NE(open(2, WS_CHILD | WS_VISIBLE, window_handle(3)), 0);
  ObjectNumber unnumbered = open(ANY_NUMBER, WS_POPUP | WS_CAPTION, window_handle(3));
  ASSERT_NE(unnumbered, 0);
  window_close(3);
  for (ObjectNumber number : {ObjectNumber{0}, ObjectNumber{2}, unnumbered})
    EXPECT_EQ(window_handle(number), nullptr) << number;
  EXPECT_TRUE(records_are_sound());
  // The numbers are free for new windows.
  EXPECT_NE(open(0), 0);
  EXPECT_NE(open(2), 0);
}

TEST_F(Reentrancy, AnEraseHandlerSetByTheCallbackIsUsedEvenWhenTheRegistryMoved) {
  ASSERT_NE(open(0), 0);
  drain_events(0);
  static int erased = 0;
  erased = 0;
  Reaction::arm(WM_ERASEBKGND, -1, [](HWND) {
    open_far();
    window_record(0)->erase_callback = [](HDC, HWND) -> LRESULT { return ++erased; };
  });
  HDC context = GetDC(window_handle(0));
  LRESULT result = SendMessageA(window_handle(0), WM_ERASEBKGND, reinterpret_cast<WPARAM>(context), 0);
  ReleaseDC(window_handle(0), context);
  EXPECT_EQ(erased, 1);
  EXPECT_EQ(result, 1);
}

TEST_F(Reentrancy, ACreationRefusedAfterItsCallbackOpenedTheNumberLeavesTheNewerWindow) {
  event_state->global_callback = [](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
    static bool inner = false;
    if (message != WM_CREATE || inner) return RESULT_CONTINUE;
    inner = true;
    window_open(4, 10, 10, 80, 60, "inner", plain_window);
    inner = false;
    return -1;  // refuses the window being created
  };
  EXPECT_EQ(open(4), 0);
  ASSERT_NE(window_handle(4), nullptr);
  char title[16] = {};
  GetWindowTextA(window_handle(4), title, sizeof title);
  EXPECT_STREQ(title, "inner");
  EXPECT_TRUE(records_are_sound());
}

}  // namespace
