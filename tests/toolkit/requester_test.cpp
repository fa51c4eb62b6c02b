// The message requester: a modal box, with the thread's other windows
// disabled only while it shows.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <functional>

#include "requester.h"
#include "toolkit_windows.h"
#include "ui_support.h"
#include "toolkit_internal.h"

namespace {

constexpr const char* caption = "Requester test";

// While the box shows, a timer of the thread looks at the windows once and
// then presses the box's OK button as the user would.
struct WhileShowing {
  static inline std::function<void(HWND box)> look;
  static inline HWND box = nullptr;
  static inline bool looked = false;
  static inline int ticks = 0;

  static BOOL CALLBACK find_box(HWND window, LPARAM) {
    char title[64] = {};
    GetWindowTextA(window, title, sizeof title);
    if (std::strcmp(title, caption) == 0 && IsWindowVisible(window)) {
      box = window;
      return FALSE;
    }
    return TRUE;
  }

  static void CALLBACK tick(HWND, UINT, UINT_PTR timer, DWORD) {
    if (++ticks > 200) {  // the box never came: end it rather than hang
      KillTimer(nullptr, timer);
      if (box != nullptr) EndDialog(box, 0);
      return;
    }
    if (box == nullptr) EnumThreadWindows(GetCurrentThreadId(), find_box, 0);
    if (box == nullptr) return;
    if (!looked) {
      looked = true;
      look(box);
    }
    HWND ok = FindWindowExA(box, nullptr, "Button", "OK");
    if (ok == nullptr) return;
    KillTimer(nullptr, timer);
    RECT area;
    GetWindowRect(ok, &area);
    bring_to_front(box);
    click_screen((area.left + area.right) / 2, (area.top + area.bottom) / 2);
  }

  static int show(std::function<void(HWND box)> at_show) {
    look = std::move(at_show);
    box = nullptr;
    looked = false;
    ticks = 0;
    SetTimer(nullptr, 0, 20, tick);
    return message_requester(caption, "Something happened", 0);
  }
};

int entries_of_this_thread() {
  int count = 0;
  for (ListNode* node = disabled_windows; node != nullptr; node = node->next) {
    if (reinterpret_cast<DisabledWindowRecord*>(node + 1)->thread_id == GetCurrentThreadId()) ++count;
  }
  return count;
}

class RequesterTest : public ::testing::Test {
 protected:
  void TearDown() override {
    windows_close_all();
    drain_events(20);
  }
};

TEST_F(RequesterTest, WithTheMainWindowInFrontItOwnsTheBoxAndNothingIsRecorded) {
  window_open(0, 100, 150, 260, 330, "Velmorant Demo", 0xC80001);
  HWND main_window = window_handle(0);
  bring_to_front(main_window);
  ASSERT_EQ(GetForegroundWindow(), main_window);

  HWND owner = nullptr;
  int recorded = -1;
  bool main_enabled = true;
  int answer = WhileShowing::show([&](HWND box) {
    owner = GetWindow(box, GW_OWNER);
    recorded = entries_of_this_thread();
    main_enabled = IsWindowEnabled(main_window);
  });

  EXPECT_TRUE(WhileShowing::looked);
  EXPECT_EQ(answer, IDOK);
  EXPECT_EQ(owner, main_window);
  EXPECT_EQ(recorded, 0);
  EXPECT_FALSE(main_enabled) << "the box disables its owner itself";
  EXPECT_TRUE(IsWindowEnabled(main_window));
  EXPECT_EQ(entries_of_this_thread(), 0);
}

TEST_F(RequesterTest, WithAnotherWindowInFrontTheMainWindowIsDisabledAndEnabledAgain) {
  window_open(0, 100, 150, 260, 330, "Velmorant Demo", 0xC80001);
  window_open(1, 50, 50, 200, 100, "In front", WS_OVERLAPPEDWINDOW);
  window_open(2, 60, 60, 200, 100, "Hidden", WS_OVERLAPPEDWINDOW | WINDOW_INVISIBLE);
  window_open(3, 70, 70, 200, 100, "Disabled already", WS_OVERLAPPEDWINDOW);
  HWND main_window = window_handle(0), front = window_handle(1), hidden = window_handle(2), disabled = window_handle(3);
  EnableWindow(disabled, FALSE);
  bring_to_front(front);
  ASSERT_EQ(GetForegroundWindow(), front);

  HWND owner = nullptr;
  int recorded = -1;
  bool main_enabled = true, hidden_enabled = false;
  int answer = WhileShowing::show([&](HWND box) {
    owner = GetWindow(box, GW_OWNER);
    recorded = entries_of_this_thread();
    main_enabled = IsWindowEnabled(main_window);
    hidden_enabled = IsWindowEnabled(hidden);
  });

  EXPECT_EQ(answer, IDOK);
  EXPECT_EQ(owner, front);
  EXPECT_EQ(recorded, 1) << "only the main window was disabled by the requester";
  EXPECT_FALSE(main_enabled);
  EXPECT_TRUE(hidden_enabled) << "a hidden window is left alone";
  EXPECT_TRUE(IsWindowEnabled(main_window));
  EXPECT_TRUE(IsWindowEnabled(front));
  EXPECT_FALSE(IsWindowEnabled(disabled)) << "a window disabled before stays disabled";
  EXPECT_EQ(entries_of_this_thread(), 0);
}

TEST_F(RequesterTest, ARequesterOpenedWhileTheWindowsAreEnabledAgainLeavesThemAllEnabled) {
  window_open(0, 100, 150, 260, 330, "Velmorant Demo", 0xC80001);
  window_open(1, 50, 50, 200, 100, "Second", WS_OVERLAPPEDWINDOW);
  window_open(2, 60, 60, 200, 100, "In front", WS_OVERLAPPEDWINDOW);
  bring_to_front(window_handle(2));
  // Whichever of the two disabled windows is enabled first opens a second
  // requester from its WM_ENABLE, which is sent while the first one restores.
  static int inner_answer;
  inner_answer = -1;
  auto open_inner = [](HWND, UINT message, WPARAM enabled, LPARAM) -> LRESULT {
    if (message == WM_ENABLE && enabled && inner_answer == -1) {
      inner_answer = 0;
      inner_answer = WhileShowing::show([](HWND) {});
    }
    return RESULT_CONTINUE;
  };
  window_record(0)->callback = open_inner;
  window_record(1)->callback = open_inner;

  int recorded = 0;
  EXPECT_EQ(WhileShowing::show([&](HWND) { recorded = entries_of_this_thread(); }), IDOK);
  EXPECT_EQ(recorded, 2);
  EXPECT_EQ(inner_answer, IDOK);
  for (ObjectNumber number : {0, 1, 2}) EXPECT_TRUE(IsWindowEnabled(window_handle(number))) << number;
  EXPECT_EQ(entries_of_this_thread(), 0);
}

}  // namespace

namespace {

// A requester shown while another one shows: when the inner one goes, the
// windows the outer one disabled stay disabled until the outer one goes too.
struct Nested {
  static inline HWND main_window = nullptr;
  static inline BOOL enabled_between = TRUE;

  static void CALLBACK answer(const char* title, UINT_PTR timer) {
    HWND box = FindWindowExA(nullptr, nullptr, nullptr, title);
    if (box == nullptr) return;
    KillTimer(nullptr, timer);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  }
  static void CALLBACK answer_inner(HWND, UINT, UINT_PTR timer, DWORD) { answer("Inner", timer); }
  static void CALLBACK show_inner(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND outer = FindWindowExA(nullptr, nullptr, nullptr, "Outer");
    if (outer == nullptr) return;
    KillTimer(nullptr, timer);
    SetTimer(nullptr, 0, 20, answer_inner);
    message_requester("Inner", "Second", 0);
    enabled_between = IsWindowEnabled(main_window);
    PostMessageA(outer, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  }
};

TEST_F(RequesterTest, ANestedRequesterEnablesOnlyWhatItDisabledItself) {
  window_open(0, 100, 150, 260, 330, "Velmorant Demo", 0xC80001);
  window_open(1, 50, 50, 200, 100, "In front", WS_OVERLAPPEDWINDOW);
  Nested::main_window = window_handle(0);
  bring_to_front(window_handle(1));
  SetTimer(nullptr, 0, 20, Nested::show_inner);
  EXPECT_EQ(message_requester("Outer", "First", 0), IDOK);
  EXPECT_FALSE(Nested::enabled_between) << "the outer box still showed";
  EXPECT_TRUE(IsWindowEnabled(Nested::main_window));
  EXPECT_EQ(entries_of_this_thread(), 0);
}

}  // namespace
