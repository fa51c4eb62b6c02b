// The close box held down: what a message posted to its window meanwhile does
// to the loop that tracks the press. A close request or a cancel of the mode
// ends the tracking, so that the release over the box closes nothing more;
// any other message is handled and the tracking goes on. Linux only: the
// tracking loop is this platform's own.
#include <gtest/gtest.h>
#include <windows.h>

#include "recorder.h"
#include "test_support.h"

namespace {

// The timer's steps: once the press is seen, post the message; at the next
// tick, let go of the button where it was pressed.
struct Holding {
  UINT posted = 0;
  int step = 0;
} holding;

void CALLBACK step(HWND window, UINT, UINT_PTR id, DWORD) {
  if (holding.step == 0 && GetKeyState(VK_LBUTTON) >= 0) return;  // the press is not in yet
  if (holding.step++ == 0) {
    PostMessageA(window, holding.posted, 0, 0);
    return;
  }
  KillTimer(window, id);
  test_support::mouse_button(VK_LBUTTON, false);
}

struct Row {
  UINT posted;
  std::size_t closes, close_commands, cancels;
};

TEST(CloseBoxHeld, ACloseRequestOrACancelEndsTheTrackingAndOtherMessagesDoNot) {
  const Row rows[] = {
      {WM_USER, 1, 1, 0},  // tracked to the release, which asks to close
      {WM_CLOSE, 1, 0, 0},
      {WM_CANCELMODE, 0, 0, 1},
  };
  for (const Row& row : rows) {
    Recorder recorder;
    // The window stays: its close requests are counted and refused.
    recorder.handler = [](HWND, UINT message, WPARAM, LPARAM, LRESULT* result) {
      *result = 0;
      return message == WM_CLOSE;
    };
    HWND window = recorder.top_level("Held", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 100, 100, 320, 240);
    WindowGuard guard{window};
    test_support::bring_to_front(window);
    test_support::pump_messages();
    RECT frame;
    GetWindowRect(window, &frame);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    const POINT box{frame.right - (origin.x - frame.left) - 10, frame.top + (origin.y - frame.top) / 2};
    ASSERT_EQ(SendMessageA(window, WM_NCHITTEST, 0, MAKELPARAM(box.x, box.y)), HTCLOSE);
    recorder.clear();
    holding = Holding{row.posted, 0};
    test_support::move_mouse_to(box);
    test_support::mouse_button(VK_LBUTTON, true);
    SetTimer(window, 1, 20, step);
    for (int i = 0; i < 200 && holding.step < 2; ++i) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
      test_support::pump_messages();
    }
    ASSERT_EQ(holding.step, 2) << "the button was never let go";
    test_support::pump_messages();

    std::size_t close_commands = 0;
    for (const Received& command : recorder.only({WM_SYSCOMMAND}))
      close_commands += (command.wparam & 0xFFF0) == SC_CLOSE;
    EXPECT_EQ(recorder.only({WM_CLOSE}).size(), row.closes) << "posted " << row.posted;
    EXPECT_EQ(close_commands, row.close_commands) << "posted " << row.posted;
    EXPECT_EQ(recorder.only({WM_CANCELMODE}).size(), row.cancels) << "posted " << row.posted;
    EXPECT_EQ(recorder.only({WM_USER}).size(), row.posted == WM_USER ? 1u : 0u);
  }
}

}  // namespace
