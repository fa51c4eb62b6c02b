// The close signals as console control events, each in a process of its own
// (a new run of this test program), since their handling is process-wide and
// a close ends the process: a handler that never returns cannot keep the
// process from ending, a burst of signals runs a close handler once, and a
// signal that was ignored at the start stays ignored.
#include <gtest/gtest.h>

#include <windows.h>

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

std::atomic<int> calls{0};

BOOL WINAPI holds_for_ever(DWORD) {
  ++calls;
  Sleep(INFINITE);
  return TRUE;
}

BOOL WINAPI counts(DWORD) {
  ++calls;
  return TRUE;
}

int threads_now() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("Threads:")) return std::stoi(line.substr(8));
  }
  return -1;
}

class ConsoleControlEnds : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

// A close or a shutdown whose handler never returns still ends the process,
// as the signal would, a few seconds later; the thread that waits meanwhile
// sees 20 s pass only when it did not.
TEST_F(ConsoleControlEnds, ACloseWhoseHandlerHoldsEndsTheProcessAsTheSignalWould) {
  for (int number : {SIGTERM, SIGHUP}) {
    EXPECT_EXIT(
        {
          signal(number, SIG_DFL);
          SetConsoleCtrlHandler(holds_for_ever, TRUE);
          raise(number);
          Sleep(20000);
          std::_Exit(0);
        },
        ::testing::KilledBySignal(number), "");
  }
}

// 10,000 SIGTERMs: the close handler runs once, on one thread, and nothing
// else is started; then the process ends as the first signal asked.
TEST_F(ConsoleControlEnds, ABurstOfSignalsRunsTheCloseHandlerOnceOnOneThread) {
  EXPECT_EXIT(
      {
        signal(SIGTERM, SIG_DFL);
        SetConsoleCtrlHandler(holds_for_ever, TRUE);
        const int threads_before = threads_now();
        for (int i = 0; i < 10000; ++i) kill(getpid(), SIGTERM);
        Sleep(500);
        if (calls != 1 || threads_now() != threads_before) std::_Exit(3);
        Sleep(20000);
        std::_Exit(0);
      },
      ::testing::KilledBySignal(SIGTERM), "");
}

// Ctrl+C whose handler returns: the process goes on, and a later one runs again.
TEST_F(ConsoleControlEnds, CtrlCHandledLeavesTheProcessRunningAndComesAgain) {
  EXPECT_EXIT(
      {
        signal(SIGINT, SIG_DFL);
        SetConsoleCtrlHandler(counts, TRUE);
        for (int expected = 1; expected <= 2; ++expected) {
          raise(SIGINT);
          for (int i = 0; i < 200 && calls < expected; ++i) Sleep(10);
        }
        std::_Exit(calls == 2 ? 0 : 3);
      },
      ::testing::ExitedWithCode(0), "");
}

// Ignored at the start (nohup, a background job): still ignored afterwards.
TEST_F(ConsoleControlEnds, ASignalIgnoredAtTheStartStaysIgnored) {
  for (int number : {SIGHUP, SIGINT, SIGTERM}) {
    EXPECT_EXIT(
        {
          signal(number, SIG_IGN);
          SetConsoleCtrlHandler(counts, TRUE);
          raise(number);
          Sleep(300);
          std::_Exit(calls == 0 ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "");
  }
}

}  // namespace
