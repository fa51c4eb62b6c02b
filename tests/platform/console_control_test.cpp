// The close signals as console control events, each in a process of its own
// (a new run of this test program), since their handling is process-wide and
// a close ends the process: a handler that never returns cannot keep the
// process from ending, a burst of signals runs a close handler once, a signal
// that was ignored at the start stays ignored, a close is acted on once, by
// its first signal, a program that ends by itself within the grace keeps its
// own exit code, a close handler that returns ends the process then, Ctrl+C
// can be ignored and handled again, a second handler starts nothing more, the
// watch costs no processor time while nothing comes, and a thread that cannot
// be started is told, with the signals left as they were.
#include <gtest/gtest.h>

#include <windows.h>

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
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

int descriptors_now() {
  return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}

// Waits up to 20 s (far beyond any grace) for the handler's calls to reach n.
bool calls_reach(int n) {
  for (int i = 0; i < 2000 && calls < n; ++i) Sleep(10);
  return calls >= n;
}

double processor_seconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void default_stack_size(std::size_t bytes) {
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, bytes);
  pthread_setattr_default_np(&attributes);
  pthread_attr_destroy(&attributes);
}

bool caught(int number) {
  struct sigaction now = {};
  sigaction(number, nullptr, &now);
  return now.sa_handler != SIG_DFL && now.sa_handler != SIG_IGN;
}

struct Case {
  const char* what;
  std::function<void()> process;  // ends the process, or exits 3 when something is wrong
  std::function<bool(int)> ends;
};

TEST(ConsoleControlOnce, EachCaseEndsItsProcessAsExpected) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const Case cases[] = {
      {"a close, then a shutdown: the handler runs once and the first signal ends the process",
       [] {
         SetConsoleCtrlHandler(holds_for_ever, TRUE);
         raise(SIGHUP);
         raise(SIGTERM);
         Sleep(20000);
         std::_Exit(calls == 1 ? 0 : 3);
       },
       ::testing::KilledBySignal(SIGHUP)},
      {"a shutdown, then a close",
       [] {
         SetConsoleCtrlHandler(holds_for_ever, TRUE);
         raise(SIGTERM);
         raise(SIGHUP);
         Sleep(20000);
         std::_Exit(calls == 1 ? 0 : 3);
       },
       ::testing::KilledBySignal(SIGTERM)},
      {"a program that ends by itself while its close handler holds keeps its exit code",
       [] {
         SetConsoleCtrlHandler(holds_for_ever, TRUE);
         raise(SIGTERM);
         std::_Exit(calls_reach(1) ? 0 : 3);
       },
       ::testing::ExitedWithCode(0)},
      {"a close handler that returns ends the process then, well before the grace is over",
       [] {
         SetConsoleCtrlHandler(counts, TRUE);
         raise(SIGHUP);
         if (!calls_reach(1)) std::_Exit(3);
         Sleep(3000);
         std::_Exit(4);
       },
       ::testing::KilledBySignal(SIGHUP)},
      {"Ctrl+C ignored reaches no handler; handled again, it does; a second handler starts no thread",
       [] {
         if (SetConsoleCtrlHandler(counts, TRUE) == FALSE) std::_Exit(3);
         const int threads = threads_now();
         if (SetConsoleCtrlHandler(nullptr, TRUE) == FALSE) std::_Exit(3);
         raise(SIGINT);
         Sleep(300);
         if (calls != 0) std::_Exit(3);
         if (SetConsoleCtrlHandler(nullptr, FALSE) == FALSE || SetConsoleCtrlHandler(counts, TRUE) == FALSE) {
           std::_Exit(3);
         }
         raise(SIGINT);
         std::_Exit(calls_reach(1) && threads_now() == threads ? 0 : 3);
       },
       ::testing::ExitedWithCode(0)},
      {"the watch takes no processor time while no signal comes",
       [] {
         SetConsoleCtrlHandler(counts, TRUE);
         Sleep(100);
         const double before = processor_seconds();
         Sleep(1000);
         std::_Exit(processor_seconds() - before < 0.05 ? 0 : 3);
       },
       ::testing::ExitedWithCode(0)},
      {"a thread that cannot be started fails the call and leaves the signals and descriptors as they were",
       [] {
         const int descriptors = descriptors_now();
         default_stack_size(std::size_t{1} << 42);  // more than any machine can give a thread
         SetLastError(ERROR_SUCCESS);
         if (SetConsoleCtrlHandler(counts, TRUE) != FALSE || GetLastError() != ERROR_NOT_ENOUGH_MEMORY) std::_Exit(3);
         if (caught(SIGINT) || caught(SIGTERM) || caught(SIGHUP) || descriptors_now() != descriptors) std::_Exit(4);
         default_stack_size(std::size_t{8} << 20);
         if (SetConsoleCtrlHandler(counts, TRUE) == FALSE) std::_Exit(5);
         raise(SIGINT);
         std::_Exit(calls_reach(1) ? 0 : 6);
       },
       ::testing::ExitedWithCode(0)},
  };
  for (const Case& c : cases) {
    EXPECT_EXIT(
        {
          for (int number : {SIGINT, SIGHUP, SIGTERM}) signal(number, SIG_DFL);
          c.process();
        },
        c.ends, "")
        << c.what;
  }
}

}  // namespace
