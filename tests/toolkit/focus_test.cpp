// Tab and Shift+Tab, pressed as a person presses them, move the keyboard focus
// between the tab stops of the active window.
#include <gtest/gtest.h>

#include <initializer_list>

#include "events.h"
#include "gadgets.h"
#include "main_window.h"
#include "test_support.h"
#include "toolkit_windows.h"
#include "ui_support.h"
#include "toolkit_internal.h"

namespace {

constexpr UINT rich_edit_get_options = 0x44E;   // EM_GETOPTIONS
constexpr LRESULT rich_edit_read_only = 0x800;  // ECO_READONLY

// Presses the keys together, releases them in reverse, and lets the toolkit's
// own retrieval handle everything up to the release of the first key.
::testing::AssertionResult press_keys(std::initializer_list<int> keys) {
  test_support::key_chord(keys);
  WPARAM released_last = static_cast<WPARAM>(*keys.begin());
  auto released = [&](const Event& event) {
    return (event.code == WM_KEYUP || event.code == WM_SYSKEYUP) && event_state->last_wparam == released_last;
  };
  if (retrieve_until(released).empty()) return ::testing::AssertionFailure() << "the keys never arrived";
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult press_tab() { return press_keys({VK_TAB}); }
::testing::AssertionResult press_shift_tab() { return press_keys({VK_SHIFT, VK_TAB}); }

// A control that takes the keyboard and answers the rich-edit options query,
// standing in for a rich-edit control; it counts the Tab keys it receives.
struct FakeEdit {
  bool read_only;
  int tabs_received;
};

LRESULT CALLBACK fake_edit_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* state = reinterpret_cast<FakeEdit*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (state != nullptr) {
    if (message == rich_edit_get_options) return state->read_only ? rich_edit_read_only : 0;
    if (message == WM_KEYDOWN && wparam == VK_TAB) ++state->tabs_received;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

void register_class(const char* name, WNDPROC procedure) {
  WNDCLASSA window_class{};
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = GetModuleHandleA(nullptr);
  window_class.lpszClassName = name;
  RegisterClassA(&window_class);
}

HWND create_child(const char* class_name, HWND parent, int x, int y, DWORD extra_style = WS_TABSTOP) {
  return CreateWindowExA(0, class_name, "", WS_CHILD | WS_VISIBLE | extra_style, x, y, 60, 20, parent, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

// The application's window: port, group and Connect are its tab stops; the
// labels, the log, the result and the progress bar are not.
class TabNavigation : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(build_main_window());
    window = window_handle(WINDOW_MAIN);
    port = gadget_control(GADGET_PORT);
    group = gadget_control(GADGET_GROUP);
    connect = gadget_control(GADGET_CONNECT);
    test_support::bring_to_front(window);
    drain_events();
  }
  void TearDown() override {
    windows_close_all();
    drain_events(20);
  }

  HWND window = nullptr;
  HWND port = nullptr;
  HWND group = nullptr;
  HWND connect = nullptr;
};

TEST_F(TabNavigation, TabGoesFromPortToGroupToConnectAndWrapsToPort) {
  SetFocus(port);
  ASSERT_TRUE(press_tab());
  EXPECT_EQ(GetFocus(), group);
  ASSERT_TRUE(press_tab());
  EXPECT_EQ(GetFocus(), connect);
  ASSERT_TRUE(press_tab());
  EXPECT_EQ(GetFocus(), port);
}

TEST_F(TabNavigation, ShiftTabGoesBackwardAndWrapsFromPortToConnect) {
  SetFocus(port);
  ASSERT_TRUE(press_shift_tab());
  EXPECT_EQ(GetFocus(), connect);
  ASSERT_TRUE(press_shift_tab());
  EXPECT_EQ(GetFocus(), group);
  ASSERT_TRUE(press_shift_tab());
  EXPECT_EQ(GetFocus(), port);
}

// The search moves the focus once: the field gets it once, and where its own
// code passes it on, it stays.
TEST_F(TabNavigation, AFieldThatPassesTheFocusOnAsItGetsItKeepsThatChoice) {
  static HWND from, to;
  static int arrivals;
  from = port;
  to = connect;
  window_record(WINDOW_MAIN)->callback = [](HWND, UINT message, WPARAM wparam, LPARAM lparam) -> LRESULT {
    if (message == WM_COMMAND && HIWORD(wparam) == EN_SETFOCUS && reinterpret_cast<HWND>(lparam) == from) {
      ++arrivals;
      SetFocus(to);
    }
    return RESULT_CONTINUE;
  };
  for (auto [start, press] : {std::pair{connect, &press_tab}, std::pair{group, &press_shift_tab}}) {
    SetFocus(start);
    arrivals = 0;
    ASSERT_TRUE(press());
    EXPECT_EQ(arrivals, 1);
    EXPECT_EQ(GetFocus(), connect);
  }
}

TEST_F(TabNavigation, TheRetrievalOfTabReportsTheKeyAndNoEventOfItsOwn) {
  // Between two buttons neither control reports the focus change (an input
  // field would, with its own notification).
  ASSERT_NE(create_button_gadget(9, 110, 40, 80, 20, "Other"), 0);
  HWND other = gadget_control(9);
  SetFocus(connect);
  drain_events();
  test_support::press_key(VK_TAB);
  std::vector<Event> events = retrieve_until([](const Event& event) { return event.code != WM_KEYUP; });
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().code, WM_KEYDOWN);
  EXPECT_EQ(GetFocus(), other);
}

TEST_F(TabNavigation, DisabledAndHiddenControlsAreSkipped) {
  EnableWindow(group, FALSE);
  SetFocus(port);
  ASSERT_TRUE(press_tab());
  EXPECT_EQ(GetFocus(), connect);
  ASSERT_TRUE(press_shift_tab());
  EXPECT_EQ(GetFocus(), port);

  EnableWindow(group, TRUE);
  ShowWindow(connect, SW_HIDE);
  SetFocus(group);
  ASSERT_TRUE(press_tab());
  EXPECT_EQ(GetFocus(), port);
}

TEST_F(TabNavigation, WithTheFocusOnTheWindowItselfTabTakesTheFirstAndShiftTabTheLast) {
  SetFocus(window);
  ASSERT_TRUE(press_tab());
  EXPECT_EQ(GetFocus(), port);
  SetFocus(window);
  ASSERT_TRUE(press_shift_tab());
  EXPECT_EQ(GetFocus(), connect);
}

TEST_F(TabNavigation, FromAControlThatIsNoTabStopOnlyShiftTabMoves) {
  HWND log = gadget_control(GADGET_LOG);
  SetFocus(log);
  ASSERT_EQ(GetFocus(), log);
  ASSERT_TRUE(press_tab());
  EXPECT_EQ(GetFocus(), log);
  ASSERT_TRUE(press_shift_tab());
  EXPECT_EQ(GetFocus(), connect);
}

TEST_F(TabNavigation, ASingleTabStopKeepsTheFocusAndNoneLeavesItAlone) {
  EnableWindow(group, FALSE);
  EnableWindow(connect, FALSE);
  SetFocus(port);
  ASSERT_TRUE(press_tab());
  EXPECT_EQ(GetFocus(), port);
  ASSERT_TRUE(press_shift_tab());
  EXPECT_EQ(GetFocus(), port);

  EnableWindow(port, FALSE);
  SetFocus(window);
  ASSERT_TRUE(press_tab());
  EXPECT_EQ(GetFocus(), window);
  ASSERT_TRUE(press_shift_tab());
  EXPECT_EQ(GetFocus(), window);
}

TEST_F(TabNavigation, AnEditableRichEditControlKeepsTabButNotShiftTab) {
  register_class("RichFakeEdit", fake_edit_procedure);
  FakeEdit state{false, 0};
  HWND rich = create_child("RichFakeEdit", window, 20, 300);
  ASSERT_NE(rich, nullptr);
  SetWindowLongPtrA(rich, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));

  SetFocus(rich);
  ASSERT_TRUE(press_tab());
  EXPECT_EQ(GetFocus(), rich);
  EXPECT_EQ(state.tabs_received, 1);

  ASSERT_TRUE(press_shift_tab());
  EXPECT_EQ(GetFocus(), connect);
  EXPECT_EQ(state.tabs_received, 1);
  DestroyWindow(rich);
}

TEST_F(TabNavigation, AReadOnlyRichEditControlAndAnAllCapitalsLookAlikeLetTabMove) {
  register_class("RichFakeEdit", fake_edit_procedure);
  register_class("RICHLIKE", fake_edit_procedure);
  FakeEdit read_only{true, 0};
  FakeEdit capitals{false, 0};
  // Created after Connect, so each is the last tab stop and Tab wraps to the port.
  HWND rich = create_child("RichFakeEdit", window, 20, 300);
  HWND look_alike = create_child("RICHLIKE", window, 90, 300);
  ASSERT_NE(rich, nullptr);
  ASSERT_NE(look_alike, nullptr);
  SetWindowLongPtrA(rich, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&read_only));
  SetWindowLongPtrA(look_alike, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&capitals));

  SetFocus(rich);
  ASSERT_TRUE(press_tab());
  EXPECT_EQ(GetFocus(), look_alike);
  ASSERT_TRUE(press_tab());
  EXPECT_EQ(GetFocus(), port);
  EXPECT_EQ(read_only.tabs_received, 0);
  EXPECT_EQ(capitals.tabs_received, 0);
  DestroyWindow(rich);
  DestroyWindow(look_alike);
}

TEST_F(TabNavigation, InsideAnMdiChildTheSearchStaysAmongItsControls) {
  // Only the class name makes a window an MDI child for the search.
  register_class("MDI_ChildClass", DefWindowProcA);
  HWND child = create_child("MDI_ChildClass", window, 10, 250, 0);
  ASSERT_NE(child, nullptr);
  MoveWindow(child, 10, 250, 200, 60, TRUE);
  HWND first = create_child("Button", child, 0, 0);
  HWND second = create_child("Button", child, 70, 0);
  ASSERT_NE(second, nullptr);

  SetFocus(first);
  ASSERT_TRUE(press_tab());
  EXPECT_EQ(GetFocus(), second);
  ASSERT_TRUE(press_tab());
  EXPECT_EQ(GetFocus(), first) << "the search left the MDI child";
  ASSERT_TRUE(press_shift_tab());
  EXPECT_EQ(GetFocus(), second);

  SetFocus(child);
  ASSERT_TRUE(press_tab());
  EXPECT_EQ(GetFocus(), first);
  DestroyWindow(child);
}

TEST_F(TabNavigation, WithAWindowOutsideTheToolkitActiveTabIsAnOrdinaryKey) {
  register_class("PlainFrame", DefWindowProcA);
  HWND plain = CreateWindowExA(0, "PlainFrame", "plain", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 400, 100, 200, 150, nullptr,
                               nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(plain, nullptr);
  HWND button = create_child("Button", plain, 10, 10);
  HWND other = create_child("Button", plain, 10, 40);
  test_support::bring_to_front(plain);
  drain_events();
  ASSERT_EQ(GetActiveWindow(), plain);
  EXPECT_EQ(window_accelerator_table(plain), nullptr);
  EXPECT_EQ(window_accelerator_table(nullptr), nullptr);

  SetFocus(button);
  test_support::press_key(VK_TAB);
  std::vector<Event> events = retrieve_until([](const Event& event) { return event.code == WM_KEYDOWN; });
  ASSERT_FALSE(events.empty()) << "Tab was not dispatched as a key";
  EXPECT_EQ(GetFocus(), button);
  EXPECT_NE(GetFocus(), other);
  DestroyWindow(plain);
}

}  // namespace
