// Ctrl+C and the ends of a terminal or a session (SIGINT, SIGHUP and SIGTERM)
// end the program as its close box does, in every state it can be in: the
// window is closed and the port with it. Each state is reached against its
// simulator scenario. Linux only: under Wine a test process cannot raise a
// console control event (GenerateConsoleCtrlEvent fails without a console,
// and AllocConsole gives it none that takes one).
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "close_signals.h"
#include "gadgets.h"
#include "main_window.h"
#include "program_harness.h"
#include "test_support.h"
#include "window_service.h"

#ifndef _WIN32
namespace {

using namespace program_test;

// The test stands in for a terminal's foreground program, whose close
// signals are not ignored (as they may be where the tests were started: a
// background job ignores SIGINT) before the program catches them.
[[maybe_unused]] const bool as_in_a_terminal = [] {
  for (int number : {SIGINT, SIGTERM, SIGHUP}) std::signal(number, SIG_DFL);
  return true;
}();

struct SignalledRun {
  ProgramRun run;
  Clock::time_point signalled_at{};
  Clock::duration ending_time() const { return run.loop_ended_at - signalled_at; }
};

// Runs the script that brings the program into a state, then signals it and
// waits for the program's loop to end by itself.
SignalledRun signal_in_state(int number, Script& script) {
  SignalledRun result;
  script
      .act("send the signal",
           [&] {
             result.signalled_at = Clock::now();
             send_close_signal(number);
           })
      .wait_until("the program ending by itself", [] { return false; });
  result.run = run_program_window(script, 10s);
  return result;
}

std::vector<int> close_signals() { return {SIGINT, SIGTERM, SIGHUP}; }

// A close or a shutdown ends the process a few seconds after its handlers
// began, so each signal is sent to a process of its own: the test's, started
// again for this one test. It brings the program into the state, signals it,
// and ends with exit code 0 when the program ended by itself within 1 s and
// what should hold afterwards holds.
void expect_ended_promptly(
    int number, const std::function<void(Script&)>& into_state,
    const std::function<bool()>& afterwards = [] { return true; }) {
  const auto ends_promptly = [&] {
    Script script;
    into_state(script);
    const SignalledRun ended = signal_in_state(number, script);
    const bool ended_by_itself = ended.run.stuck_at.empty();
    const bool prompt = ended.ending_time() < 1s;
    const bool held = afterwards();
    std::fprintf(stderr, "signal %d: ended by itself %d, within 1 s %d, afterwards %d\n", number, ended_by_itself,
                 prompt, held);
    return ended_by_itself && prompt && held;
  };
  // Ctrl+C leaves the ending to the program.
  if (number == SIGINT) {
    EXPECT_TRUE(ends_promptly());
    return;
  }
  // A new process of this program, not a fork of one whose console and
  // windows are already set up.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::_Exit(ends_promptly() ? 0 : 1), ::testing::ExitedWithCode(0), "") << "signal " << number;
}

HWND open_requester() {
  HWND found = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM result) {
        char title[32] = {};
        GetWindowTextA(window, title, sizeof title);
        if (std::strcmp(title, "Error") == 0 && IsWindowVisible(window)) *reinterpret_cast<HWND*>(result) = window;
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// Scenario fixed: COM17 answers; COM99 does not exist.
TEST(OpenFailure, ASignalEndsTheProgramWhileIdleWithNothingOpened) {
  for (int number : close_signals()) {
    expect_ended_promptly(
        number, [](Script& script) { script.wait_for(200ms); }, [] { return simulator_log().empty(); });
  }
}

TEST(OpenFailure, ASignalClosesTheErrorBoxAndEndsTheProgram) {
  for (int number : close_signals()) {
    expect_ended_promptly(
        number,
        [](Script& script) {
          script.act("type COM99", [] { set_gadget_text(GADGET_PORT, "COM99"); })
              .act("press Connect", press_connect)
              .wait_until("the requester", [] { return open_requester() != nullptr; });
        },
        [] { return open_requester() == nullptr; });
  }
}

// The close box held down: its tracking loop, which the press runs, ends on
// the close request that a signal sends meanwhile, and so does the program.
// The signal comes from a timer: a message loop takes input before timers, so
// the timer first runs in the tracking loop that the press started, whatever
// the machine's speed. (A signal sent before the press would be seen by the
// outer loop first, and the press would then be held for ever.)
Clock::time_point signalled_at{};

void CALLBACK signal_while_held(HWND window, UINT, UINT_PTR id, DWORD) {
  KillTimer(window, id);
  signalled_at = Clock::now();
  send_close_signal(SIGINT);
}

TEST(OpenFailure, ASignalEndsTheCloseBoxTrackingAndTheProgram) {
  signalled_at = {};
  Script script;
  script
      .act("press the close box, and signal while it is held",
           [] {
             RECT frame{};
             GetWindowRect(main_window(), &frame);
             test_support::move_mouse_to(POINT{frame.right - 10, frame.top + 10});
             test_support::mouse_button(VK_LBUTTON, true);
             SetTimer(main_window(), 1, 50, signal_while_held);
           })
      .wait_until("the program ending by itself", [] { return false; });
  const ProgramRun run = run_program_window(script, 10s);
  test_support::mouse_button(VK_LBUTTON, false);
  EXPECT_EQ(run.stuck_at, "");
  ASSERT_NE(signalled_at, Clock::time_point{}) << "the timer never ran";
  EXPECT_LT(run.loop_ended_at - signalled_at, 1s);
}

// Scenario never-id.
TEST(NeverIdentifies, ASignalEndsIdentificationWithThePortClosed) {
  for (int number : close_signals()) {
    expect_ended_promptly(
        number,
        [](Script& script) {
          script.act("press Connect", press_connect).wait_until("identification under way", [] {
            return requests(simulator_log(), "ati\\r").size() >= 2;
          });
        },
        [] { return simulator_saw_close(); });
  }
}

// Scenario slow-connect, answering "atd01\r" after 5 s; one run of the
// simulator for each signal, since the answer still comes after the close.
void expect_a_signal_ends_the_connect_wait(int number) {
  expect_ended_promptly(
      number,
      [](Script& script) {
        script.act("press Connect", press_connect).wait_until("the bar moving", [] {
          return !requests(simulator_log(), "atd01\\r").empty() && progress_position() > 0;
        });
      },
      [] { return simulator_saw_close() && requests(simulator_log(), "0805\\r").empty(); });
}

TEST(InterruptedWhileConnecting, SigintEndsTheWaitWithThePortClosed) { expect_a_signal_ends_the_connect_wait(SIGINT); }
TEST(TerminatedWhileConnecting, SigtermEndsTheWaitWithThePortClosed) { expect_a_signal_ends_the_connect_wait(SIGTERM); }
TEST(HungUpWhileConnecting, SighupEndsTheWaitWithThePortClosed) { expect_a_signal_ends_the_connect_wait(SIGHUP); }

// Scenario groups.
TEST(Polling, ASignalEndsPollingWithThePortClosed) {
  for (int number : close_signals()) {
    expect_ended_promptly(
        number,
        [](Script& script) {
          script.act("press Connect", press_connect).wait_until("the speed", [] {
            return text_of(GADGET_RESULT) == "50 km/h";
          });
        },
        [] { return simulator_saw_close(); });
  }
}

// Ctrl+C before the window exists is kept and closes the window once it is
// made. A handler registered after the program's runs first: it counts the
// events and holds the second, so that the first has been handled whole when
// the window is made.
std::mutex probe_lock;
std::condition_variable probe_changed;
int probe_calls = 0;
bool probe_released = false;

BOOL WINAPI probe(DWORD) {
  std::unique_lock lock(probe_lock);
  const int call = ++probe_calls;
  probe_changed.notify_all();
  if (call == 1) return FALSE;  // on to the program's handler
  probe_changed.wait(lock, [] { return probe_released; });
  return TRUE;  // handled: the program's handler never sees the second
}

TEST(SignalBeforeTheWindow, IsKeptAndClosesTheWindowOnceItIsMade) {
  install_close_signals();
  ASSERT_TRUE(SetConsoleCtrlHandler(probe, TRUE));
  const auto calls_reach = [](int count, Clock::duration within) {
    std::unique_lock lock(probe_lock);
    return probe_changed.wait_for(lock, within, [&] { return probe_calls >= count; });
  };
  std::raise(SIGINT);
  ASSERT_TRUE(calls_reach(1, 10s));
  // A Ctrl+C that comes while the handlers run is dropped, as on Windows: it
  // is sent again until the second event comes.
  const auto give_up_at = Clock::now() + 10s;
  while (!calls_reach(2, 20ms) && Clock::now() < give_up_at) std::raise(SIGINT);
  ASSERT_TRUE(calls_reach(2, 0s));
  HWND window = CreateWindowExA(0, "STATIC", "target", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(window, nullptr);
  close_signals_reach(window);
  MSG message;
  EXPECT_TRUE(PeekMessageA(&message, window, WM_CLOSE, WM_CLOSE, PM_REMOVE));
  EXPECT_FALSE(PeekMessageA(&message, window, WM_CLOSE, WM_CLOSE, PM_REMOVE)) << "one close";
  {
    std::lock_guard lock(probe_lock);
    probe_released = true;
  }
  probe_changed.notify_all();
  DestroyWindow(window);
  // The close that was kept is spent: the next window gets none.
  window = CreateWindowExA(0, "STATIC", "next", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
  close_signals_reach(window);
  EXPECT_FALSE(PeekMessageA(&message, window, WM_CLOSE, WM_CLOSE, PM_REMOVE)) << "a second close";
  DestroyWindow(window);
  SetConsoleCtrlHandler(probe, FALSE);
}

}  // namespace
#endif
