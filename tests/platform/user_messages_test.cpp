// The message queue of the GUI thread: sent against posted, the order of
// retrieval, WM_PAINT made up last, WM_QUIT, and the waits with timeouts.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "recorder.h"
#include "test_support.h"

namespace {

using Messages = std::vector<UINT>;

// The calling thread's processor time in microseconds.
long long thread_cpu_us() {
#ifdef _WIN32
  FILETIME created, ended, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user);
  const auto ticks = [](FILETIME t) {
    return static_cast<long long>((ULONGLONG{t.dwHighDateTime} << 32) | t.dwLowDateTime);
  };
  return (ticks(kernel) + ticks(user)) / 10;
#else
  rusage use{};
  getrusage(RUSAGE_THREAD, &use);
  return (use.ru_utime.tv_sec + use.ru_stime.tv_sec) * 1000000LL + use.ru_utime.tv_usec + use.ru_stime.tv_usec;
#endif
}

TEST(Messages, SentMessagesRunAtOnceAndPostedOnesWhenRetrieved) {
  Recorder recorder;
  HWND window = recorder.top_level("Queue", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100);
  WindowGuard guard{window};
  recorder.clear();
  PostMessageA(window, WM_USER + 1, 0, 0);
  SendMessageA(window, WM_USER + 2, 0, 0);
  PostMessageA(window, WM_USER + 3, 0, 0);
  EXPECT_EQ(recorder.kinds({WM_USER + 1, WM_USER + 2, WM_USER + 3}), (Messages{WM_USER + 2}));
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER, WM_USER + 10, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 1));
  EXPECT_EQ(msg.hwnd, window);
  DispatchMessageA(&msg);
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER, WM_USER + 10, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 3));
  DispatchMessageA(&msg);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_USER, WM_USER + 10, PM_REMOVE));
  EXPECT_EQ(recorder.kinds({WM_USER + 1, WM_USER + 2, WM_USER + 3}), (Messages{WM_USER + 2, WM_USER + 1, WM_USER + 3}));
}

TEST(Messages, PeekWithoutRemovingLeavesTheMessage) {
  MSG msg;
  PostMessageA(nullptr, WM_APP, 5, 6);
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_APP, WM_APP, PM_NOREMOVE));
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_APP, WM_APP, PM_REMOVE | PM_NOYIELD));
  EXPECT_EQ(msg.wParam, 5u);
  EXPECT_EQ(msg.lParam, 6);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_APP, WM_APP, PM_REMOVE));
}

// GetQueueStatus tells what arrived since it was last asked, and forgets only
// the kinds it was asked about.
TEST(Messages, QueueStatusForgetsOnlyTheKindsAskedAbout) {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
  GetQueueStatus(QS_ALLINPUT);
  PostMessageA(nullptr, WM_APP, 0, 0);
  EXPECT_EQ(GetQueueStatus(QS_KEY), 0u) << "nothing of that kind";
  EXPECT_EQ(GetQueueStatus(QS_POSTMESSAGE), static_cast<DWORD>(MAKELONG(QS_POSTMESSAGE, QS_POSTMESSAGE)));
  EXPECT_EQ(GetQueueStatus(QS_POSTMESSAGE), static_cast<DWORD>(MAKELONG(0, QS_POSTMESSAGE))) << "still there, not new";
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
}

TEST(Messages, PaintComesAfterPostedMessagesAndIsNeverQueued) {
  Recorder recorder;
  HWND window = recorder.top_level("Paint", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100);
  WindowGuard guard{window};
  test_support::pump_messages();
  InvalidateRect(window, nullptr, TRUE);
  PostMessageA(window, WM_USER + 4, 0, 0);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, window, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 4));
  ASSERT_TRUE(PeekMessageA(&msg, window, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_PAINT));
  // Not validated yet, so it is made up again.
  ASSERT_TRUE(PeekMessageA(&msg, window, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_PAINT));
  DispatchMessageA(&msg);  // the default processing validates
  EXPECT_FALSE(PeekMessageA(&msg, window, WM_PAINT, WM_PAINT, PM_REMOVE));
}

TEST(Messages, QuitEndsGetMessageWithItsCode) {
  PostQuitMessage(3);
  MSG msg;
  EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 3u);
}

TEST(Messages, WaitingWithNothingToComeEndsAtTheTimeout) {
  test_support::pump_messages();
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE | PM_NOYIELD));
  DWORD start = GetTickCount();
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 120, QS_ALLINPUT), static_cast<DWORD>(WAIT_TIMEOUT));
  DWORD spent = GetTickCount() - start;
  EXPECT_GE(spent, 100u) << "the wait blocked rather than returning at once";
}

TEST(Messages, WaitingEndsAtOnceForAMessagePostedSinceTheQueueWasLookedAt) {
  MSG msg;
  PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
  PostMessageA(nullptr, WM_APP + 1, 0, 0);
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 5000, QS_ALLINPUT), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_APP + 1, WM_APP + 1, PM_REMOVE));
}

TEST(Messages, ATimerWakesTheWaitAndIsReportedOnce) {
  Recorder recorder;
  HWND window = recorder.top_level("Timer", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100);
  WindowGuard guard{window};
  test_support::pump_messages();
  SetTimer(window, 9, 30, nullptr);
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 5000, QS_ALLINPUT), static_cast<DWORD>(WAIT_OBJECT_0));
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, window, WM_TIMER, WM_TIMER, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 9u);
  EXPECT_FALSE(PeekMessageA(&msg, window, WM_TIMER, WM_TIMER, PM_REMOVE)) << "the next one is not due yet";
  KillTimer(window, 9);
}

TEST(Messages, QuitIsRetrievedWhateverTheRangeAsked) {
  PostMessageA(nullptr, WM_APP + 2, 0, 0);
  PostQuitMessage(4);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 4u);
  PostQuitMessage(5);
  EXPECT_FALSE(GetMessageA(&msg, nullptr, WM_USER, WM_USER));
  EXPECT_EQ(msg.wParam, 5u);
  EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_APP + 2, WM_APP + 2, PM_REMOVE)) << "the message outside the range stays";
}

TEST(Messages, ADestroyedWindowsTimersStopWithIt) {
  static int procedure_calls = 0;
  Recorder recorder;
  HWND window = recorder.top_level("Timers", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100);
  HWND child = recorder.child(window, 1, 0, 0, 50, 50);
  SetTimer(window, 1, 10, nullptr);
  SetTimer(window, 2, 10, [](HWND, UINT, UINT_PTR, DWORD) { ++procedure_calls; });
  SetTimer(child, 3, 10, nullptr);
  DestroyWindow(window);
  test_support::pump_messages();
  procedure_calls = 0;
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT), static_cast<DWORD>(WAIT_TIMEOUT));
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    EXPECT_NE(msg.message, static_cast<UINT>(WM_TIMER));
    DispatchMessageA(&msg);
  }
  EXPECT_EQ(procedure_calls, 0);
}

// A due timer is no reason to wake a wait that asked only for posted
// messages: such a wait sleeps to its end instead of spinning.
TEST(Messages, ADueTimerNeitherEndsNorSpinsAWaitThatDoesNotAskForTimers) {
  Recorder recorder;
  HWND window = recorder.top_level("Due", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100);
  WindowGuard guard{window};
  test_support::pump_messages();
  SetTimer(window, 1, 10, nullptr);
  Sleep(30);
  long long cpu_before = thread_cpu_us();
  DWORD start = GetTickCount();
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 300, QS_POSTMESSAGE), static_cast<DWORD>(WAIT_TIMEOUT));
  double wall_us = (GetTickCount() - start) * 1000.0;
  EXPECT_LT((thread_cpu_us() - cpu_before) / wall_us, 0.2) << "the share of a core the wait used";
  KillTimer(window, 1);
}

}  // namespace

// A filtered GetMessage sleeps while only messages outside its filter wait,
// until one inside it comes: here a timer's, due after 300 ms.
TEST(Messages, AFilteredGetMessageSleepsPastMessagesOutsideItsFilter) {
  Recorder recorder;
  HWND window = recorder.top_level("Filtered", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100);
  HWND other = recorder.top_level("Other", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100);
  WindowGuard guard{window}, other_guard{other};
  const struct {
    HWND filter;
    UINT first, last;
  } cases[] = {{nullptr, WM_TIMER, WM_TIMER}, {window, 0, 0}};
  for (const auto& c : cases) {
    test_support::pump_messages();
    PostMessageA(other, WM_APP + 3, 0, 0);
    SetTimer(window, 4, 300, nullptr);
    long long cpu_before = thread_cpu_us();
    DWORD start = GetTickCount();
    MSG msg;
    EXPECT_EQ(GetMessageA(&msg, c.filter, c.first, c.last), TRUE);
    double wall_us = (GetTickCount() - start) * 1000.0 + 1;
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
    EXPECT_LT((thread_cpu_us() - cpu_before) / wall_us, 0.2) << "the share of a core the wait used";
    KillTimer(window, 4);
    EXPECT_TRUE(PeekMessageA(&msg, other, WM_APP + 3, WM_APP + 3, PM_REMOVE)) << "the other message stays";
  }
}

// A timer a wait has reported does not wake a wait again once the queue has
// been looked at; the next one does after the timer's message was retrieved.
TEST(Messages, ATimerAlreadyReportedDoesNotWakeTheWaitAgain) {
  Recorder recorder;
  HWND window = recorder.top_level("Reported", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100);
  WindowGuard guard{window};
  test_support::pump_messages();
  SetTimer(window, 5, 30, nullptr);
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 5000, QS_TIMER), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 5000, QS_TIMER), static_cast<DWORD>(WAIT_OBJECT_0))
      << "not looked at since";
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_APP, WM_APP, PM_NOREMOVE));
  long long cpu_before = thread_cpu_us();
  DWORD start = GetTickCount();
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 300, QS_TIMER), static_cast<DWORD>(WAIT_TIMEOUT));
  double wall_us = (GetTickCount() - start) * 1000.0 + 1;
  EXPECT_LT((thread_cpu_us() - cpu_before) / wall_us, 0.2) << "the share of a core the wait used";
  EXPECT_TRUE(PeekMessageA(&msg, window, WM_TIMER, WM_TIMER, PM_REMOVE));
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 5000, QS_TIMER), static_cast<DWORD>(WAIT_OBJECT_0));
  KillTimer(window, 5);
}
