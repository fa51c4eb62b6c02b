// Ctrl+C and the ends of a terminal or a session (SIGINT, SIGHUP and SIGTERM)
// end the program as its close box does, in every state it can be in: the
// window is closed and the port with it. Each state is reached against its
// simulator scenario. Linux only: under Wine a test process cannot raise a
// console control event (GenerateConsoleCtrlEvent fails without a console,
// and AllocConsole gives it none that takes one).
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>

#include "gadgets.h"
#include "main_window.h"
#include "program_harness.h"

#ifndef _WIN32
namespace {

using namespace program_test;

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

void expect_ended_promptly(const SignalledRun& ended, int number) {
  EXPECT_EQ(ended.run.stuck_at, "") << "signal " << number << " did not end the program";
  EXPECT_LT(ended.ending_time(), 1s) << "signal " << number;
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
    Script script;
    script.wait_for(200ms);
    const SignalledRun ended = signal_in_state(number, script);
    expect_ended_promptly(ended, number);
    EXPECT_TRUE(simulator_log().empty()) << "the port was never opened";
  }
}

TEST(OpenFailure, ASignalClosesTheErrorBoxAndEndsTheProgram) {
  for (int number : close_signals()) {
    Script script;
    script.act("type COM99", [] { set_gadget_text(GADGET_PORT, "COM99"); })
        .act("press Connect", press_connect)
        .wait_until("the requester", [] { return open_requester() != nullptr; });
    const SignalledRun ended = signal_in_state(number, script);
    expect_ended_promptly(ended, number);
    EXPECT_EQ(open_requester(), nullptr) << "the box was closed";
  }
}

// Scenario never-id.
TEST(NeverIdentifies, ASignalEndsIdentificationWithThePortClosed) {
  for (int number : close_signals()) {
    Script script;
    script.act("press Connect", press_connect).wait_until("identification under way", [] {
      return requests(simulator_log(), "ati\\r").size() >= 2;
    });
    expect_ended_promptly(signal_in_state(number, script), number);
    EXPECT_TRUE(simulator_saw_close());
  }
}

// Scenario slow-connect, answering "atd01\r" after 5 s; one run of the
// simulator for each signal, since the answer still comes after the close.
void expect_a_signal_ends_the_connect_wait(int number) {
  Script script;
  script.act("press Connect", press_connect).wait_until("the bar at 3", [] { return progress_position() >= 3; });
  expect_ended_promptly(signal_in_state(number, script), number);
  EXPECT_TRUE(simulator_saw_close());
  EXPECT_TRUE(requests(simulator_log(), "0805\\r").empty());
}

TEST(InterruptedWhileConnecting, SigintEndsTheWaitWithThePortClosed) { expect_a_signal_ends_the_connect_wait(SIGINT); }
TEST(TerminatedWhileConnecting, SigtermEndsTheWaitWithThePortClosed) { expect_a_signal_ends_the_connect_wait(SIGTERM); }
TEST(HungUpWhileConnecting, SighupEndsTheWaitWithThePortClosed) { expect_a_signal_ends_the_connect_wait(SIGHUP); }

// Scenario groups.
TEST(Polling, ASignalEndsPollingWithThePortClosed) {
  for (int number : close_signals()) {
    Script script;
    script.act("press Connect", press_connect).wait_until("the speed", [] {
      return text_of(GADGET_RESULT) == "50 km/h";
    });
    expect_ended_promptly(signal_in_state(number, script), number);
    EXPECT_TRUE(simulator_saw_close());
  }
}

}  // namespace
#endif
