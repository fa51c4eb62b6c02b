// The waits that serve the window while the program reads the line, on their
// own against an interface that answers byte by byte: a wait for the line
// ends on the first byte that arrives, neither later nor at its deadline, and
// no wait keeps the processor busy while it has nothing to do.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "main_window.h"
#include "program_harness.h"
#include "serial_port.h"
#include "test_support.h"
#include "toolkit_windows.h"
#include "window_service.h"

namespace {

using namespace program_test;

// The calling thread's processor time, and how often it went to sleep
// (counted on Linux only; -1 elsewhere).
struct ThreadUse {
  Clock::duration cpu;
  long sleeps;
};

ThreadUse thread_use() {
#ifdef _WIN32
  FILETIME created, ended, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user);
  const auto ticks = [](FILETIME t) { return (ULONGLONG{t.dwHighDateTime} << 32) | t.dwLowDateTime; };
  return {std::chrono::microseconds((ticks(kernel) + ticks(user)) / 10), -1};
#else
  rusage use{};
  getrusage(RUSAGE_THREAD, &use);
  const auto time = [](timeval t) { return std::chrono::seconds(t.tv_sec) + std::chrono::microseconds(t.tv_usec); };
  return {time(use.ru_utime) + time(use.ru_stime), use.ru_nvcsw};
#endif
}

// What a wait cost the thread: its processor time, its share of one core over
// the wait, and its sleeps. The thread's time advances in scheduler ticks, so a
// share means something only for a wait that lasts many ticks.
struct WaitCost {
  Clock::duration cpu;
  double cpu_share;
  long sleeps;
};

template <typename Wait>
WaitCost cost_of(Wait wait) {
  const ThreadUse before = thread_use();
  const auto started = Clock::now();
  wait();
  const ThreadUse after = thread_use();
  const auto wall = Clock::now() - started;
  return {after.cpu - before.cpu,
          std::chrono::duration<double>(after.cpu - before.cpu).count() / std::chrono::duration<double>(wall).count(),
          before.sleeps < 0 ? -1 : after.sleeps - before.sleeps};
}

// The simulator's port, opened as Connect opens it.
SerialPort open_simulator_port() {
  const std::string settings = "COM17" + std::string(SERIAL_SETTINGS_SUFFIX);
  return serial_open(settings.c_str(), HANDSHAKE_NONE, QUEUE_SIZE, QUEUE_SIZE);
}

// Scenario trickle, 300 ms between bytes: the answer to "ati\r" arrives one
// byte at a time, so that each wait below starts with nothing on the line and
// a second byte is far off when the first has woken it. A spinning wait uses
// the better part of a core; one that sleeps until the line or the deadline
// wakes it, a few per cent at most. A wait that looks at the line on a timer
// instead of waiting for it sleeps about every 20 ms.
TEST(LineWaits, EachWaitEndsOnTheFirstByteAndNoneSpins) {
  ASSERT_TRUE(build_main_window());
  test_support::bring_to_front(main_window());
  const SerialPort port = open_simulator_port();
  ASSERT_NE(port, nullptr);
  // The service's timer is a handle of its own, closed with it. (Wine
  // counts no handles at all: 0 with the port and the timer open.)
  DWORD handles_before = 0, handles_during = 0, handles_after = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handles_before);
  {
    Line line(port);
    WindowService service(line);
    GetProcessHandleCount(GetCurrentProcess(), &handles_during);
    char byte = 0;
    const auto read_byte = [&] { return serial_read(port, &byte, 1) != 0; };
    ASSERT_TRUE(serial_write(port, "ati\r", 4));

    // The first byte follows the request at once.
    bool woke = service.wait_for_line(Clock::now() + 10s);
    EXPECT_TRUE(woke) << "the first byte of the answer";
    EXPECT_EQ(serial_input_count(port), 1u) << "woken by the first byte, not a later one";
    ASSERT_TRUE(read_byte());

    // A key pressed meanwhile is left for the window: it neither ends the
    // wait nor wakes it over and over.
    test_support::press_key(VK_SHIFT);
    WaitCost cost = cost_of([&] { woke = service.wait_for_line(Clock::now() + 10s); });
    EXPECT_TRUE(woke) << "the second byte";
    EXPECT_EQ(serial_input_count(port), 1u);
    EXPECT_LT(cost.cpu_share, 0.3);
    if (cost.sleeps >= 0) {
      EXPECT_LE(cost.sleeps, 4) << "a byte that woke the wait leaves the line watched";
    }
    ASSERT_TRUE(read_byte());

    // Served with a wake on input: it returns for the next byte, which the
    // window's own messages (the key above) do not stand in for.
    cost = cost_of([&] {
      service.serve_until(Clock::now() + 10s, WindowService::Wake::OnInput, WindowService::OnClose::KeepServing);
    });
    EXPECT_EQ(serial_input_count(port), 1u) << "returned on the third byte";
    EXPECT_LT(cost.cpu_share, 0.3);
    ASSERT_TRUE(read_byte());

    // A pause serves the window until its end, however many bytes arrive;
    // a byte left waiting does not make it spin.
    const auto pause_end = Clock::now() + 1s;
    cost = cost_of(
        [&] { service.serve_until(pause_end, WindowService::Wake::AtDeadline, WindowService::OnClose::KeepServing); });
    EXPECT_GE(Clock::now(), pause_end);
    EXPECT_GE(serial_input_count(port), 2u) << "the bytes of the pause are left on the line";
    EXPECT_LT(cost.cpu_share, 0.3);
  }
  GetProcessHandleCount(GetCurrentProcess(), &handles_after);
#ifndef _WIN32
  EXPECT_EQ(handles_during, handles_before + 1);
  EXPECT_EQ(handles_after, handles_before);
#endif
  serial_close(port);
  windows_close_all();
}

// Scenario hang-up, after one block: the line that hung up is signalled for
// good, and a wait that kept watching it would return at once, over and over.
// The line counts as lost from then on.
TEST(LineWaitsAfterHangUp, TheWaitsNeitherSpinNorSeeBytes) {
  ASSERT_TRUE(build_main_window());
  const SerialPort port = open_simulator_port();
  ASSERT_NE(port, nullptr);
  {
    Line line(port);
    WindowService service(line);
    ASSERT_TRUE(serial_write(port, "0805\r", 5));
    char byte = 0;
    while (service.wait_for_line(Clock::now() + 1s) && serial_read(port, &byte, 1) != 0) {
    }
    bool woke = true;
    WaitCost cost = cost_of([&] { woke = service.wait_for_line(Clock::now() + 500ms); });
    EXPECT_FALSE(woke);
    EXPECT_TRUE(line.lost()) << "a line that hung up is lost";
    // It may return at once, the hang-up being known; it must not spin to its deadline.
    EXPECT_LT(cost.cpu, 150ms) << "more than 30% of the 500-ms wait";
    // Nothing more can come: a wait for input ends at once.
    const auto later = Clock::now() + 10s;
    service.serve_until(later, WindowService::Wake::OnInput, WindowService::OnClose::KeepServing);
    EXPECT_LT(Clock::now(), later);
  }
  serial_close(port);
  windows_close_all();
}

}  // namespace
