// The objects the program's waits are made of, written once in Win32 terms:
// waitable timers, a serial line as a waitable handle (Linux: Windows
// signals a port only for overlapped I/O), and console control handlers
// reaching a thread that waits for its messages (Linux: see below).
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <string>
#include <vector>

#ifndef _WIN32
#include <platform_driver.h>

#include "comm_pty.h"
#endif

namespace {

#ifndef _WIN32
// The message waits need a display: the headless one, whatever the
// environment names, as in every test.
const bool headless_display = platform_driver_start(1024, 768);
#endif

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

LARGE_INTEGER after(std::chrono::milliseconds time) {
  LARGE_INTEGER due;
  due.QuadPart = -10000LL * time.count();  // relative, 100 ns units
  return due;
}

DWORD wait_for(HANDLE object, DWORD timeout_ms, DWORD wake_mask = 0) {
  return MsgWaitForMultipleObjects(1, &object, FALSE, timeout_ms, wake_mask);
}

TEST(WaitableTimer, SignalsAtItsDueTimeAndASynchronizationTimerIsResetByTheWait) {
  HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
  ASSERT_NE(timer, nullptr);
  const LARGE_INTEGER due = after(60ms);
  ASSERT_TRUE(SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE));
  EXPECT_EQ(wait_for(timer, 0), WAIT_TIMEOUT) << "not yet due";
  const auto start = Clock::now();
  EXPECT_EQ(wait_for(timer, 5000), WAIT_OBJECT_0);
  EXPECT_GE(Clock::now() - start, 40ms);
  EXPECT_EQ(wait_for(timer, 50), WAIT_TIMEOUT) << "the wait it satisfied reset it";
  EXPECT_TRUE(CloseHandle(timer));
}

TEST(WaitableTimer, AManualResetTimerStaysSignalledUntilSetAgainAndACancelledOneNeverFires) {
  HANDLE manual = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_MANUAL_RESET, TIMER_ALL_ACCESS);
  HANDLE cancelled = CreateWaitableTimerW(nullptr, FALSE, nullptr);
  ASSERT_NE(manual, nullptr);
  ASSERT_NE(cancelled, nullptr);
  const LARGE_INTEGER now = after(0ms), soon = after(30ms), later = after(5000ms);
  ASSERT_TRUE(SetWaitableTimer(manual, &now, 0, nullptr, nullptr, FALSE));
  ASSERT_TRUE(SetWaitableTimer(cancelled, &soon, 0, nullptr, nullptr, FALSE));
  ASSERT_TRUE(CancelWaitableTimer(cancelled));
  EXPECT_EQ(wait_for(manual, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(wait_for(manual, 0), WAIT_OBJECT_0) << "still signalled";
  ASSERT_TRUE(SetWaitableTimer(manual, &later, 0, nullptr, nullptr, FALSE));
  EXPECT_EQ(wait_for(manual, 0), WAIT_TIMEOUT) << "setting it again resets it";
  EXPECT_EQ(wait_for(cancelled, 100), WAIT_TIMEOUT);
  HANDLE both[2] = {cancelled, manual};
  EXPECT_EQ(MsgWaitForMultipleObjects(2, both, FALSE, 0, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(CloseHandle(manual));
  EXPECT_TRUE(CloseHandle(cancelled));
}

TEST(WaitableTimer, AMessageEndsTheWaitAfterTheObjectsAndAnObjectWinsOverIt) {
  HANDLE timer = CreateWaitableTimerW(nullptr, FALSE, nullptr);
  ASSERT_NE(timer, nullptr);
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
  const LARGE_INTEGER later = after(5000ms), now = after(0ms);
  ASSERT_TRUE(SetWaitableTimer(timer, &later, 0, nullptr, nullptr, FALSE));
  PostMessageA(nullptr, WM_APP + 3, 0, 0);
  EXPECT_EQ(wait_for(timer, 5000, QS_ALLINPUT), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(wait_for(timer, 0, 0), WAIT_TIMEOUT) << "a wake mask of 0 ignores messages";
  ASSERT_TRUE(SetWaitableTimer(timer, &now, 0, nullptr, nullptr, FALSE));
  Sleep(20);
  EXPECT_EQ(wait_for(timer, 5000, QS_ALLINPUT), WAIT_OBJECT_0);
  EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_APP + 3, WM_APP + 3, PM_REMOVE));
  EXPECT_TRUE(CloseHandle(timer));
  EXPECT_EQ(wait_for(timer, 0), WAIT_FAILED) << "a closed handle";
}

#ifndef _WIN32
TEST(SerialLineWait, SignalledWhileInputWaitsAndForGoodAfterAHangUp) {
  auto pty = std::make_unique<PtyPair>();
  HANDLE port =
      CreateFileA(pty->device_path().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  EXPECT_EQ(wait_for(port, 50), WAIT_TIMEOUT) << "nothing waits";
  pty->send("x");
  EXPECT_EQ(wait_for(port, 5000), WAIT_OBJECT_0);
  char byte = 0;
  DWORD got = 0;
  ASSERT_TRUE(ReadFile(port, &byte, 1, &got, nullptr));
  EXPECT_EQ(wait_for(port, 50), WAIT_TIMEOUT) << "read: nothing waits any more";
  pty.reset();  // the device hangs up
  EXPECT_EQ(wait_for(port, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(wait_for(port, 0), WAIT_OBJECT_0) << "and stays signalled";
  EXPECT_TRUE(CloseHandle(port));
}
#endif

#ifndef _WIN32
// Linux only: under Wine a test process cannot raise a console control event
// (GenerateConsoleCtrlEvent fails without a console, and AllocConsole gives
// it none that takes one).
// Console control: each handler records the event and the thread it ran on;
// the last one added that returns TRUE ends the round, and posts to a
// window of the waiting thread.
std::atomic<HWND> target{nullptr};
std::vector<std::string> calls;  // written by the event's thread before the post, read after the wake
std::atomic<DWORD> handler_thread{0};

BOOL WINAPI passes(DWORD event) {
  calls.push_back("passes " + std::to_string(event));
  return FALSE;
}
BOOL WINAPI takes(DWORD event) {
  calls.push_back("takes " + std::to_string(event));
  handler_thread = GetCurrentThreadId();
  PostMessageA(target.load(), WM_APP + 4, event, 0);
  return TRUE;
}
BOOL WINAPI never_reached(DWORD) {
  calls.push_back("never reached");
  return TRUE;
}

void send_ctrl_c() { ASSERT_EQ(raise(SIGINT), 0); }

TEST(ConsoleControl, HandlersRunNewestFirstOnAThreadOfTheirOwnAndTheirPostWakesTheWaitingThread) {
  HWND window = CreateWindowExA(0, "Static", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  target = window;
  ASSERT_TRUE(SetConsoleCtrlHandler(never_reached, TRUE));
  ASSERT_TRUE(SetConsoleCtrlHandler(takes, TRUE));
  ASSERT_TRUE(SetConsoleCtrlHandler(passes, TRUE));
  ASSERT_TRUE(SetConsoleCtrlHandler(passes, TRUE));
  ASSERT_TRUE(SetConsoleCtrlHandler(passes, FALSE)) << "one of the two is removed";
  send_ctrl_c();
  const auto start = Clock::now();
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 3000, QS_POSTMESSAGE), WAIT_OBJECT_0);
  EXPECT_LT(Clock::now() - start, 2s) << "woken by the post, not at the end of the wait";
  MSG msg{};
  EXPECT_TRUE(PeekMessageA(&msg, window, WM_APP + 4, WM_APP + 4, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_APP + 4));
  EXPECT_EQ(msg.wParam, static_cast<WPARAM>(CTRL_C_EVENT));
  EXPECT_EQ(calls, (std::vector<std::string>{"passes 0", "takes 0"}));
  EXPECT_NE(handler_thread.load(), GetCurrentThreadId());
  EXPECT_TRUE(SetConsoleCtrlHandler(passes, FALSE));
  EXPECT_TRUE(SetConsoleCtrlHandler(takes, FALSE));
  EXPECT_TRUE(SetConsoleCtrlHandler(never_reached, FALSE));
  EXPECT_FALSE(SetConsoleCtrlHandler(takes, FALSE)) << "no longer there";
  DestroyWindow(window);
}
#endif

}  // namespace
