// Opening, placing, finding and closing numbered windows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "events.h"
#include "toolkit_windows.h"
#include "ui_support.h"
#include "toolkit_internal.h"

namespace {

class WindowsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    windows_close_all();
    drain_events(20);
  }

  static RECT outer_rect(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
  }
  static std::string class_of(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
  }
  static bool class_registered(const char* name) {
    WNDCLASSA info;
    return GetClassInfoA(GetModuleHandleA(nullptr), name, &info) != 0;
  }
};

TEST_F(WindowsTest, MainWindowFlagsGiveCaptionAndCloseBoxCentredOnTheScreen) {
  ObjectNumber result = window_open(0, 100, 150, 260, 330, "Velmorant Demo", 0xC80001);
  HWND window = window_handle(0);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(result, reinterpret_cast<ObjectNumber>(window));
  EXPECT_TRUE(IsWindowVisible(window));

  LONG style = GetWindowLongA(window, GWL_STYLE);
  EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
  EXPECT_EQ(style & WS_SYSMENU, WS_SYSMENU);
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);

  RECT client;
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 260);
  EXPECT_EQ(client.bottom, 330);

  // Centred whatever position was asked for.
  RECT outer = outer_rect(window);
  EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - (outer.right - outer.left)) / 2);
  EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - (outer.bottom - outer.top)) / 2);

  char title[64] = {};
  GetWindowTextA(window, title, sizeof title);
  EXPECT_STREQ(title, "Velmorant Demo");
  EXPECT_EQ(class_of(window), "WindowClass_0");
  EXPECT_EQ(reinterpret_cast<ObjectNumber>(GetPropA(window, "RZ_WindowID")), 1);
}

TEST_F(WindowsTest, FlagsWithOnlyToolkitBitsStillGiveACaption) {
  window_open(1, 30, 40, 120, 80, nullptr, 0);
  window_open(2, 30, 40, 120, 80, nullptr, WINDOW_INVISIBLE | WINDOW_PARENT_CENTERED);
  for (ObjectNumber number : {1, 2}) {
    HWND window = window_handle(number);
    ASSERT_NE(window, nullptr) << number;
    LONG style = GetWindowLongA(window, GWL_STYLE);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION) << number;
    EXPECT_EQ(style & WS_SYSMENU, 0) << number;
    char title[8] = {'x'};
    EXPECT_EQ(GetWindowTextA(window, title, sizeof title), 0) << "a missing title is the empty text";
  }
  EXPECT_TRUE(IsWindowVisible(window_handle(1)));
  EXPECT_FALSE(IsWindowVisible(window_handle(2)));
  // Without centring the position is the one asked for.
  EXPECT_EQ(outer_rect(window_handle(1)).left, 30);
  EXPECT_EQ(outer_rect(window_handle(1)).top, 40);
}

TEST_F(WindowsTest, AWindowLargerThanTheScreenIsCutToItAndPlacedAtTheOrigin) {
  window_open(0, 100, 100, 5000, 4000, "big", WS_CAPTION | WINDOW_SCREEN_CENTERED | WINDOW_INVISIBLE);
  RECT outer = outer_rect(window_handle(0));
  EXPECT_EQ(outer.left, 0);
  EXPECT_EQ(outer.top, 0);
  EXPECT_EQ(outer.right, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(outer.bottom, GetSystemMetrics(SM_CYSCREEN));
}

TEST_F(WindowsTest, AParentCentredWindowIsCentredOnItsParentAndNeverPlacedAboveOrLeftOfTheScreen) {
  window_open(0, 200, 150, 400, 300, "parent", WS_OVERLAPPEDWINDOW);
  HWND parent = window_handle(0);
  RECT around = outer_rect(parent);

  window_open(1, 0, 0, 100, 60, "centred", WS_POPUP | WS_CAPTION | WINDOW_PARENT_CENTERED, parent);
  RECT inner = outer_rect(window_handle(1));
  int width = inner.right - inner.left, height = inner.bottom - inner.top;
  EXPECT_EQ(inner.left, around.left + ((around.right - around.left) - width) / 2);
  EXPECT_EQ(inner.top, around.top + ((around.bottom - around.top) - height) / 2);
  EXPECT_EQ(GetWindow(window_handle(1), GW_OWNER), parent);
  // Without a parent the active window is the one to centre on.
  bring_to_front(parent);
  window_open(4, 0, 0, 100, 60, "on the active", WS_POPUP | WS_CAPTION | WINDOW_PARENT_CENTERED | WINDOW_INVISIBLE);
  RECT on_active = outer_rect(window_handle(4));
  EXPECT_TRUE(EqualRect(&on_active, &inner));

  // A small parent in the top-left corner: the larger window starts at 0, 0.
  window_open(2, 0, 0, 60, 40, "corner", WS_POPUP | WS_CAPTION);
  window_open(3, 500, 500, 600, 400, "clamped", WS_POPUP | WS_CAPTION | WINDOW_PARENT_CENTERED, window_handle(2));
  RECT clamped = outer_rect(window_handle(3));
  EXPECT_EQ(clamped.left, 0);
  EXPECT_EQ(clamped.top, 0);
}

TEST_F(WindowsTest, DefaultPositionLetsTheSystemPlaceTheWindowUnlessItIsCentred) {
  window_open(0, WINDOW_POS_DEFAULT, 100, 200, 100, "default", WS_OVERLAPPEDWINDOW | WINDOW_INVISIBLE);
  RECT placed = outer_rect(window_handle(0));
  EXPECT_GT(placed.left, -1000) << "the system chose the place";
  EXPECT_LT(placed.left, GetSystemMetrics(SM_CXSCREEN));

  // Parent-centred with neither a parent nor an active window: the
  // coordinates are used as they are, the default marker included.
  windows_close_all();
  drain_events(20);
  ASSERT_EQ(GetActiveWindow(), nullptr);
  window_open(1, WINDOW_POS_DEFAULT, WINDOW_POS_DEFAULT, 200, 100, "as given",
              WS_OVERLAPPEDWINDOW | WINDOW_PARENT_CENTERED | WINDOW_INVISIBLE);
  RECT given = outer_rect(window_handle(1));
  EXPECT_EQ(given.left, WINDOW_POS_DEFAULT);
  EXPECT_EQ(given.top, WINDOW_POS_DEFAULT);
}

TEST_F(WindowsTest, InvisibleAndMaximisedIsCreatedMaximisedButNotShown) {
  window_open(0, 10, 10, 200, 100, "hidden", WS_OVERLAPPEDWINDOW | WS_MAXIMIZE | WINDOW_INVISIBLE);
  HWND window = window_handle(0);
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_NE(GetWindowLongA(window, GWL_STYLE) & WS_MAXIMIZE, 0);
}

TEST_F(WindowsTest, OpeningANumberInUseClosesTheWindowThatHadIt) {
  window_open(0, 10, 10, 200, 100, "first", WS_OVERLAPPEDWINDOW);
  HWND first = window_handle(0);
  window_open(0, 10, 10, 200, 100, "second", WS_OVERLAPPEDWINDOW);
  HWND second = window_handle(0);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);
  EXPECT_FALSE(IsWindow(first));
  EXPECT_EQ(class_of(second), "WindowClass_0");
  char title[16] = {};
  GetWindowTextA(second, title, sizeof title);
  EXPECT_STREQ(title, "second");
}

TEST_F(WindowsTest, AnUnnumberedWindowIsAddressedByItsIdentifier) {
  ObjectNumber id = window_open(ANY_NUMBER, 10, 10, 200, 100, "any", WS_OVERLAPPEDWINDOW);
  ASSERT_NE(id, 0);
  HWND window = window_handle(id);
  ASSERT_NE(window, nullptr);
  EXPECT_NE(id, reinterpret_cast<ObjectNumber>(window));
  EXPECT_EQ(reinterpret_cast<ObjectNumber>(GetPropA(window, "RZ_WindowID")), id + 1);
  EXPECT_EQ(class_of(window), "WindowClass_" + std::to_string(id));

  ObjectNumber other = window_open(ANY_NUMBER, 10, 10, 200, 100, "another", WS_OVERLAPPEDWINDOW);
  EXPECT_NE(other, id);

  window_close(id);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(window_handle(id), nullptr);
  EXPECT_FALSE(class_registered(("WindowClass_" + std::to_string(id)).c_str()));
  EXPECT_NE(window_handle(other), nullptr);
}

// Programs pass these numbers, compiled in: they never change.
TEST(WindowFlags, AreTheirFixedNumbers) {
  EXPECT_EQ(
      (std::vector<long long>{WINDOW_SCREEN_CENTERED, WINDOW_PARENT_CENTERED, WINDOW_INVISIBLE, WINDOW_POS_DEFAULT}),
      (std::vector<long long>{0x1, 0x2, 0x10000000, -65535}));
}

TEST_F(WindowsTest, ClosingTakesTheWindowItsClassAndItsNumber) {
  window_open(3, 10, 10, 200, 100, "three", WS_OVERLAPPEDWINDOW);
  HWND window = window_handle(3);
  ASSERT_TRUE(class_registered("WindowClass_3"));
  window_close(3);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(window_handle(3), nullptr);
  EXPECT_FALSE(class_registered("WindowClass_3"));
  window_close(3);  // nothing open under the number: nothing happens
  window_close(12345);
}

// A program's own procedure around a toolkit window runs after the toolkit
// has let the window go, while the window still exists.
WNDPROC toolkit_procedure = nullptr;
LRESULT CALLBACK closes_window_8_last(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  LRESULT result = CallWindowProcA(toolkit_procedure, window, message, wparam, lparam);
  if (message == WM_NCDESTROY) window_close(8);
  return result;
}

TEST_F(WindowsTest, AClassStillInUseWhenTheToolkitTriesIsUnregisteredLater) {
  window_open(6, 10, 10, 200, 100, "owner", WS_OVERLAPPEDWINDOW);
  window_open(7, 50, 50, 100, 60, "owned", WS_POPUP | WS_CAPTION, window_handle(6));
  window_open(8, 90, 90, 100, 60, "other", WS_OVERLAPPEDWINDOW);
  toolkit_procedure = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(window_handle(7), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(closes_window_8_last)));
  DestroyWindow(window_handle(6));  // takes 7 along; closing 8 meanwhile finds class 7 still in use
  EXPECT_EQ(window_handle(8), nullptr);
  EXPECT_TRUE(class_registered("WindowClass_7"));
  retrieve(0);
  for (const char* name : {"WindowClass_6", "WindowClass_7", "WindowClass_8"})
    EXPECT_FALSE(class_registered(name)) << name;
}

TEST_F(WindowsTest, ClosingAnOwnedWindowActivatesItsOwner) {
  window_open(0, 10, 10, 200, 100, "owner", WS_OVERLAPPEDWINDOW);
  window_open(1, 50, 50, 100, 60, "owned", WS_POPUP | WS_CAPTION, window_handle(0));
  bring_to_front(window_handle(1));
  ASSERT_EQ(GetActiveWindow(), window_handle(1));
  // The owner is activated before the window goes, so its own callback still
  // hears it lose the activation.
  static int deactivated;
  deactivated = 0;
  window_record(1)->callback = [](HWND, UINT message, WPARAM wparam, LPARAM) -> LRESULT {
    if (message == WM_ACTIVATE && LOWORD(wparam) == WA_INACTIVE) ++deactivated;
    return RESULT_CONTINUE;
  };
  window_close(1);
  EXPECT_EQ(GetActiveWindow(), window_handle(0));
  EXPECT_EQ(deactivated, 1);
}

TEST_F(WindowsTest, CloseAllClosesNumberedAndUnnumberedWindows) {
  window_open(0, 10, 10, 100, 60, "a", WS_OVERLAPPEDWINDOW);
  window_open(20, 10, 10, 100, 60, "b", WS_OVERLAPPEDWINDOW);
  ObjectNumber id = window_open(ANY_NUMBER, 10, 10, 100, 60, "c", WS_OVERLAPPEDWINDOW);
  HWND windows[] = {window_handle(0), window_handle(20), window_handle(id)};
  windows_close_all();
  for (HWND window : windows) EXPECT_FALSE(IsWindow(window));
  registry_enum_begin(window_registry);
  ObjectNumber value;
  EXPECT_EQ(registry_enum_next(window_registry, &value), nullptr);
}

TEST_F(WindowsTest, AFailedCreationLeavesTheNumberFreeAndTheClassUnregistered) {
  HWND not_a_window = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7654321));
  EXPECT_EQ(window_open(4, 10, 10, 100, 60, "orphan", WS_CHILD, not_a_window), 0);
  EXPECT_EQ(window_handle(4), nullptr);
  EXPECT_FALSE(class_registered("WindowClass_4"));
}

TEST_F(WindowsTest, EveryWindowHasTheTwoTabAcceleratorEntries) {
  window_open(0, 10, 10, 100, 60, "keys", WS_OVERLAPPEDWINDOW);
  WindowRecord* record = window_record(0);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->accel_count, 2);
  ACCEL entries[3] = {};
  ASSERT_EQ(CopyAcceleratorTableA(record->accel_table, entries, 3), 2);
  EXPECT_EQ(entries[0].fVirt, FVIRTKEY | FNOINVERT);
  EXPECT_EQ(entries[0].key, VK_TAB);
  EXPECT_EQ(entries[0].cmd, CMD_TAB_NEXT);
  EXPECT_EQ(entries[1].fVirt, FVIRTKEY | FNOINVERT | FSHIFT);
  EXPECT_EQ(entries[1].key, VK_TAB);
  EXPECT_EQ(entries[1].cmd, CMD_TAB_PREVIOUS);
  EXPECT_EQ(record->background_colour, -1);
  EXPECT_EQ(record->mdi_client, nullptr);
}

TEST_F(WindowsTest, EachWindowsClassHasTheArrowTheButtonFaceAndDoubleClicks) {
  window_open(5, 10, 10, 100, 60, "class", WS_OVERLAPPEDWINDOW);
  WNDCLASSA info{};
  ASSERT_TRUE(GetClassInfoA(GetModuleHandleA(nullptr), "WindowClass_5", &info));
  EXPECT_EQ(info.hCursor, LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)));
  EXPECT_EQ(info.hbrBackground, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1)));
  EXPECT_EQ(info.style, static_cast<UINT>(CS_DBLCLKS));
  EXPECT_EQ(info.lpfnWndProc, window_procedure);
}

}  // namespace
