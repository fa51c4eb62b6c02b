// Input as a person gives it: key and mouse messages, key state, characters,
// accelerators, focus and activation, capture and cursor placement, and the
// frame's close box and keyboard commands.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "recorder.h"
#include "test_support.h"

namespace {

using Messages = std::vector<UINT>;
using test_support::pump_messages;

class Input : public ::testing::Test {
 protected:
  void SetUp() override {
    window = recorder.top_level("Input", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 100, 100, 320, 240);
    ASSERT_NE(window, nullptr);
    test_support::bring_to_front(window);
    pump_messages();
    recorder.clear();
  }
  void TearDown() override {
    if (IsWindow(window)) DestroyWindow(window);
    pump_messages();
  }
  Recorder recorder;
  HWND window = nullptr;
};

TEST_F(Input, FocusMovesWithKillFocusBeforeSetFocus) {
  HWND first = recorder.child(window, 1, 10, 10, 80, 20);
  HWND second = recorder.child(window, 2, 10, 40, 80, 20);
  SetFocus(first);
  recorder.clear();
  EXPECT_EQ(SetFocus(second), first);
  recorder.expect_messages({WM_KILLFOCUS, WM_SETFOCUS},
                           {
                               {first, WM_KILLFOCUS, reinterpret_cast<WPARAM>(second), all_bits, 0},
                               {second, WM_SETFOCUS, reinterpret_cast<WPARAM>(first), all_bits, 0},
                           });
  EXPECT_EQ(GetFocus(), second);
}

TEST_F(Input, ActivatingAnotherWindowDeactivatesTheFirstThenMovesTheFocus) {
  HWND other = recorder.top_level("Other", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 200, 200, 200, 100);
  WindowGuard guard{other};
  test_support::bring_to_front(window);
  pump_messages();
  recorder.clear();
  EXPECT_EQ(SetActiveWindow(other), window);
  constexpr WPARAM low_word = 0xFFFF;
  recorder.expect_messages({WM_ACTIVATE, WM_KILLFOCUS, WM_SETFOCUS},
                           {
                               {window, WM_ACTIVATE, WA_INACTIVE, low_word},
                               {other, WM_ACTIVATE, WA_ACTIVE, low_word},
                               {window, WM_KILLFOCUS, reinterpret_cast<WPARAM>(other), all_bits, 0},
                               {other, WM_SETFOCUS},
                           });
  EXPECT_EQ(GetActiveWindow(), other);
  EXPECT_EQ(GetFocus(), other);
}

TEST_F(Input, KeysReachTheFocusAndGetKeyStateFollowsTheMessages) {
  HWND field = recorder.child(window, 1, 10, 10, 80, 20);
  SetFocus(field);
  std::vector<SHORT> shift_states;
  recorder.handler = [&shift_states](HWND, UINT message, WPARAM wparam, LPARAM, LRESULT*) {
    if (message == WM_KEYDOWN && wparam == 'A') shift_states.push_back(GetKeyState(VK_SHIFT));
    return false;
  };
  test_support::key_down(VK_SHIFT);
  test_support::press_key('A');
  test_support::key_up(VK_SHIFT);
  test_support::press_key('B');
  pump_messages();
  recorder.expect_messages({WM_CHAR}, {
                                          {field, WM_CHAR, 'A', all_bits},
                                          {nullptr, WM_CHAR, 'b', all_bits},
                                      });
  ASSERT_EQ(shift_states.size(), 1u);
  EXPECT_LT(shift_states[0], 0) << "Shift was down as of the message for A";
  EXPECT_GE(GetKeyState(VK_SHIFT), 0);
}

TEST_F(Input, AnAcceleratorTurnsTabIntoACommandAndConsumesTheKey) {
  ACCEL entries[2] = {{FVIRTKEY | FNOINVERT, VK_TAB, 1212}, {FVIRTKEY | FNOINVERT | FSHIFT, VK_TAB, 1213}};
  HACCEL table = CreateAcceleratorTableA(entries, 2);
  ASSERT_NE(table, nullptr);
  test_support::press_key(VK_TAB);
  test_support::key_chord({VK_SHIFT, VK_TAB});
  test_support::pump_messages();  // on Windows, lets the keys arrive; nothing translates them here
  recorder.clear();
  // Again, this time through the accelerator table, as a toolkit's loop does.
  test_support::press_key(VK_TAB);
  test_support::key_chord({VK_SHIFT, VK_TAB});
  int consumed = 0;
  MSG msg;
  for (int rounds = 0; rounds < 40; ++rounds) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (TranslateAcceleratorA(window, table, &msg)) {
        ++consumed;
        continue;
      }
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (consumed == 2) break;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
  }
  EXPECT_EQ(consumed, 2);
  recorder.expect_messages({WM_COMMAND}, {
                                             {nullptr, WM_COMMAND, MAKEWPARAM(1212, 1), all_bits},
                                             {nullptr, WM_COMMAND, MAKEWPARAM(1213, 1), all_bits},
                                         });
  EXPECT_TRUE(recorder.only({WM_CHAR}).empty()) << "consumed keys give no characters";
  DestroyAcceleratorTable(table);
}

TEST_F(Input, AClickGivesClientCoordinatesAndCaptureKeepsTheMouse) {
  HWND area = recorder.child(window, 1, 20, 30, 100, 50);
  test_support::click_client(area, 7, 9);
  pump_messages();
  recorder.expect_messages({WM_LBUTTONDOWN}, {{area, WM_LBUTTONDOWN, MK_LBUTTON, MK_LBUTTON, MAKELPARAM(7, 9)}});

  SetCapture(area);
  EXPECT_EQ(GetCapture(), area);
  recorder.clear();
  POINT outside{0, 0};
  ClientToScreen(window, &outside);
  outside.x += 200;
  outside.y += 150;
  test_support::move_mouse_to(outside);
  pump_messages();
  std::vector<Received> moves = recorder.only({WM_MOUSEMOVE});
  ASSERT_FALSE(moves.empty());
  EXPECT_EQ(moves.back().window, area) << "the capture gets moves outside it";
  POINT client = outside;
  ScreenToClient(area, &client);
  EXPECT_EQ(moves.back().lparam, MAKELPARAM(client.x, client.y));
  ReleaseCapture();
  EXPECT_EQ(recorder.only({WM_CAPTURECHANGED}).size(), 1u);
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(Input, TakingTheCaptureTellsTheWindowThatHadIt) {
  HWND first = recorder.child(window, 1, 0, 0, 50, 50);
  HWND second = recorder.child(window, 2, 60, 0, 50, 50);
  SetCapture(first);
  recorder.clear();
  EXPECT_EQ(SetCapture(second), first);
  recorder.expect_messages({WM_CAPTURECHANGED}, {{first, WM_CAPTURECHANGED, 0, 0, reinterpret_cast<LPARAM>(second)}});
  ReleaseCapture();
}

// The capture's holder is told of every change, even a SetCapture it makes
// again; a destroyed holder is not.
TEST_F(Input, CaptureChangesAreToldToTheHolderExceptWhenItIsDestroyed) {
  HWND area = recorder.child(window, 1, 0, 0, 50, 50);
  SetCapture(area);
  recorder.clear();
  EXPECT_EQ(SetCapture(area), area);
  EXPECT_EQ(recorder.only({WM_CAPTURECHANGED}),
            (std::vector<Received>{{area, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(area)}}));
  recorder.clear();
  DestroyWindow(area);
  EXPECT_TRUE(recorder.only({WM_CAPTURECHANGED}).empty());
  EXPECT_EQ(GetCapture(), nullptr);
}

// The cursor is the capture's business: WM_SETCURSOR, whose default answer
// sets the class cursor, is sent only while nothing holds the mouse.
TEST_F(Input, SetCursorIsSentOnlyWhileTheMouseIsNotCaptured) {
  HWND area = recorder.child(window, 1, 20, 30, 100, 50);
  for (bool captured : {false, true}) {
    if (captured) SetCapture(area);
    recorder.clear();
    for (int x : {10, 30}) {
      POINT point{x, 10};
      ClientToScreen(area, &point);
      test_support::move_mouse_to(point);
      pump_messages();
    }
    EXPECT_FALSE(recorder.only({WM_MOUSEMOVE}).empty());
    EXPECT_EQ(recorder.only({WM_SETCURSOR}).empty(), captured) << (captured ? "captured" : "not captured");
  }
  ReleaseCapture();
}

// Disabling a window takes the focus and the capture only from the window
// itself, not from a child of it.
TEST_F(Input, DisablingAParentLeavesItsChildTheFocusAndTheCapture) {
  HWND field = recorder.child(window, 1, 0, 0, 50, 20);
  SetFocus(field);
  SetCapture(field);
  EnableWindow(window, FALSE);
  EXPECT_EQ(GetFocus(), field);
  EXPECT_EQ(GetCapture(), field);
  EnableWindow(window, TRUE);
  ReleaseCapture();
  recorder.clear();
  EXPECT_FALSE(EnableWindow(field, FALSE)) << "it was enabled before";
  EXPECT_EQ(GetFocus(), nullptr);
  EXPECT_EQ(recorder.only({WM_ENABLE}), (std::vector<Received>{{field, WM_ENABLE, FALSE, 0}}));
}

// When the active window closes, the window activated next takes the focus
// itself, straight from the closing window's child.
TEST_F(Input, ClosingTheActiveWindowGivesTheFocusToTheNextWindowItself) {
  HWND field = recorder.child(window, 1, 0, 0, 50, 20);
  SetFocus(field);
  HWND other = recorder.top_level("Other", WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 200, 200, 200, 100, window);
  HWND other_field = recorder.child(other, 2, 0, 0, 50, 20);
  SetFocus(other_field);
  ASSERT_EQ(GetActiveWindow(), other);
  recorder.clear();
  DestroyWindow(other);
  EXPECT_EQ(GetActiveWindow(), window);
  EXPECT_EQ(GetFocus(), window);
  const auto handle = [](HWND h) { return reinterpret_cast<LPARAM>(h); };
  EXPECT_EQ(recorder.only({WM_ACTIVATE, WM_KILLFOCUS, WM_SETFOCUS}),
            (std::vector<Received>{{other, WM_ACTIVATE, WA_INACTIVE, handle(window)},
                                   {window, WM_ACTIVATE, WA_ACTIVE, handle(other)},
                                   {other_field, WM_KILLFOCUS, static_cast<WPARAM>(handle(window)), 0},
                                   {window, WM_SETFOCUS, static_cast<WPARAM>(handle(other_field)), 0}}));
}

TEST_F(Input, PlacingTheCursorMovesTheMouseOverTheWindowUnderIt) {
  HWND area = recorder.child(window, 1, 20, 30, 100, 50);
  POINT target{40, 20};
  ClientToScreen(area, &target);
  SetCursorPos(target.x, target.y);
  pump_messages();
  POINT now;
  GetCursorPos(&now);
  EXPECT_EQ(now.x, target.x);
  EXPECT_EQ(now.y, target.y);
  std::vector<Received> moves = recorder.only({WM_MOUSEMOVE});
  ASSERT_FALSE(moves.empty());
  EXPECT_EQ(moves.back().window, area);
  EXPECT_EQ(moves.back().lparam, MAKELPARAM(40, 20));
}

TEST_F(Input, TheCloseBoxAsksTheWindowToClose) {
  bool refuse = true;
  recorder.handler = [&refuse](HWND, UINT message, WPARAM, LPARAM, LRESULT* result) {
    if (message != WM_CLOSE || !refuse) return false;
    *result = 0;
    return true;
  };
  RECT frame;
  GetWindowRect(window, &frame);
  RECT client;
  GetClientRect(window, &client);
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  // The close box is at the right end of the caption, above the client area.
  POINT close{frame.right - (origin.x - frame.left) - 10, frame.top + (origin.y - frame.top) / 2};
  EXPECT_EQ(SendMessageA(window, WM_NCHITTEST, 0, MAKELPARAM(close.x, close.y)), HTCLOSE);
  test_support::click_screen(close);
  pump_messages();
  std::vector<Received> commands = recorder.only({WM_SYSCOMMAND});
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].wparam & 0xFFF0, static_cast<WPARAM>(SC_CLOSE));
  EXPECT_EQ(recorder.kinds({WM_CLOSE}), (Messages{WM_CLOSE}));
  EXPECT_TRUE(IsWindow(window)) << "the handler kept the window";
  refuse = false;
  test_support::bring_to_front(window);
  test_support::key_chord({VK_MENU, VK_F4});
  pump_messages();
  EXPECT_FALSE(IsWindow(window)) << "Alt+F4 closed it through SC_CLOSE and WM_CLOSE";
}

TEST_F(Input, ABorderDragAsksForSizingWithTheEdge) {
  HWND sizable = recorder.top_level("Sizable", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 300, 300, 300, 200);
  WindowGuard guard{sizable};
  test_support::bring_to_front(sizable);
  pump_messages();
  recorder.handler = [](HWND, UINT message, WPARAM, LPARAM, LRESULT* result) {
    if (message != WM_SYSCOMMAND) return false;
    *result = 0;  // a toolkit runs its own sizing here
    return true;
  };
  recorder.clear();
  RECT frame;
  GetWindowRect(sizable, &frame);
  POINT right_edge{frame.right - 1, (frame.top + frame.bottom) / 2};
  EXPECT_EQ(SendMessageA(sizable, WM_NCHITTEST, 0, MAKELPARAM(right_edge.x, right_edge.y)), HTRIGHT);
  test_support::click_screen(right_edge);
  pump_messages();
  std::vector<Received> commands = recorder.only({WM_SYSCOMMAND});
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands[0].wparam & 0xFFFF, static_cast<WPARAM>(SC_SIZE + WMSZ_RIGHT));
}

}  // namespace
