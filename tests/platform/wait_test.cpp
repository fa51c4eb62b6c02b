// Our wait for descriptors and messages together (Linux only: the program's
// serial waits use it, Windows waits for handles instead).
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform_driver.h"
#include "platform_ext.h"
#include "test_support.h"

namespace {

struct Pipe {
  int fds[2];
  Pipe() { EXPECT_EQ(pipe(fds), 0); }
  ~Pipe() {
    close(fds[0]);
    close(fds[1]);
  }
};

TEST(Wait, WakesForDataOnADescriptor) {
  test_support::pump_messages();
  Pipe a, b;
  ASSERT_EQ(write(b.fds[1], "x", 1), 1);
  int fds[2] = {a.fds[0], b.fds[0]};
  EXPECT_EQ(platform_wait_for_input(fds, 2, 5000), WAIT_OBJECT_0 + 1);
}

TEST(Wait, WakesForAMessageAndReportsItAfterTheDescriptors) {
  test_support::pump_messages();
  Pipe a;
  PostMessageA(nullptr, WM_APP + 9, 0, 0);
  EXPECT_EQ(platform_wait_for_input(&a.fds[0], 1, 5000), WAIT_OBJECT_0 + 1);
  MSG msg;
  EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_APP + 9, WM_APP + 9, PM_REMOVE)) << "the message is still there";
}

TEST(Wait, EndsAtTheTimeoutWhenNothingComes) {
  test_support::pump_messages();
  Pipe a;
  DWORD start = GetTickCount();
  EXPECT_EQ(platform_wait_for_input(&a.fds[0], 1, 80), WAIT_TIMEOUT);
  EXPECT_GE(GetTickCount() - start, 70u);
}

TEST(Wait, AHungUpDescriptorCountsAsReady) {
  test_support::pump_messages();
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[1]);
  EXPECT_EQ(platform_wait_for_input(&fds[0], 1, 5000), WAIT_OBJECT_0);
  close(fds[0]);
}

struct Ticks {
  int calls = 0;
  int quit_after = 0;  // posts WM_QUIT on this call; 0 never
  int write_fd = -1;   // writes a byte on the first call when set
  ULONGLONG first = 0, last = 0;
};

void count_tick(void* context) {
  auto* ticks = static_cast<Ticks*>(context);
  ++ticks->calls;
  ticks->last = GetTickCount64();
  if (ticks->first == 0) ticks->first = ticks->last;
  if (ticks->calls == ticks->quit_after) PostQuitMessage(7);
  if (ticks->write_fd >= 0 && ticks->calls == 1) {
    EXPECT_EQ(write(ticks->write_fd, "t", 1), 1);
  }
}

struct HookGuard {
  ~HookGuard() { driver_set_tick_hook(nullptr, nullptr, 0); }
};

TEST(TickHook, RunsInsideGetMessageOncePerPeriodOnly) {
  test_support::pump_messages();
  Ticks ticks;
  ticks.quit_after = 4;
  HookGuard guard;
  driver_set_tick_hook(count_tick, &ticks, 30);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 7u);
  EXPECT_EQ(ticks.calls, 4);
  EXPECT_GE(ticks.last - ticks.first, 3u * 30 - 5) << "no two calls within one period";
}

TEST(TickHook, WakesTheDescriptorWaitThatItFeeds) {
  test_support::pump_messages();
  Pipe pipe_ends;
  Ticks ticks;
  ticks.write_fd = pipe_ends.fds[1];
  HookGuard guard;
  driver_set_tick_hook(count_tick, &ticks, 20);
  EXPECT_EQ(platform_wait_for_input(&pipe_ends.fds[0], 1, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(ticks.calls, 1);
}

TEST(TickHook, TypesIntoAFieldWhileTheProgramsLoopRuns) {
  HWND field =
      CreateWindowExA(0, "Edit", "", WS_POPUP | WS_VISIBLE, 10, 10, 200, 24, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(field, nullptr);
  SetFocus(field);
  struct Typist {
    HWND field;
    int step = 0;
  } typist{field};
  HookGuard guard;
  driver_set_tick_hook(
      [](void* context) {
        auto* t = static_cast<Typist*>(context);
        if (t->step++ == 0)
          platform_driver_type_text("COM17");
        else
          PostQuitMessage(0);
      },
      &typist, 10);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  char text[16] = {};
  GetWindowTextA(field, text, sizeof text);
  EXPECT_EQ(std::string(text), "COM17");
  DestroyWindow(field);
}

TEST(TickHook, ARemovedHookIsNotCalledAndTheWaitTimesOut) {
  test_support::pump_messages();
  Ticks ticks;
  driver_set_tick_hook(count_tick, &ticks, 10);
  driver_set_tick_hook(nullptr, nullptr, 0);
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 60, QS_ALLINPUT), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(ticks.calls, 0);
}

}  // namespace
