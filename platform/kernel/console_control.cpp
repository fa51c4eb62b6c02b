// SetConsoleCtrlHandler over the signals that stand for the console control
// events on Linux: SIGINT (Ctrl+C in the terminal) is CTRL_C_EVENT, SIGHUP
// (the terminal went away, as a console that is closed) is CTRL_CLOSE_EVENT,
// and SIGTERM (the session or a user ends the process) is
// CTRL_SHUTDOWN_EVENT. The signals are caught from the first handler on; a
// program that adds none keeps their default actions.
//
// As Windows does, each event runs the handlers on a thread of its own, the
// one added last first, until one returns TRUE; when none does, the process
// ends as the signal would have ended it. After a close or shutdown event the
// process ends once the handlers have returned, also as on Windows: a program
// that needs time to finish holds its handler until it has ended by itself.
//
// A handler reaches the program's thread through what may be called from
// another thread: PostMessageA. Its message wakes that thread's message wait
// (GetMessageA, MsgWaitForMultipleObjects, a message box's loop) at once.
#include <windows.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr int caught_signals[] = {SIGINT, SIGHUP, SIGTERM};

struct Console {
  std::mutex lock;
  std::vector<PHANDLER_ROUTINE> handlers;
  bool ignore_ctrl_c = false;
  bool watching = false;
};

// Never destroyed: an event's thread may still run while the process ends.
Console& console() {
  static Console* const instance = new Console;
  return *instance;
}

// The signal handler may do no more than write to a pipe; the watcher reads it.
int signal_pipe[2] = {-1, -1};

void on_signal(int number) {
  const int saved = errno;
  const auto byte = static_cast<unsigned char>(number);
  [[maybe_unused]] ssize_t written = write(signal_pipe[1], &byte, 1);
  errno = saved;
}

DWORD event_of(int number) {
  switch (number) {
    case SIGINT: return CTRL_C_EVENT;
    case SIGHUP: return CTRL_CLOSE_EVENT;
    default: return CTRL_SHUTDOWN_EVENT;
  }
}

[[noreturn]] void end_as_the_signal_would(int number) {
  signal(number, SIG_DFL);
  raise(number);
  _exit(128 + number);  // not reached: the default action of these signals ends the process
}

void run_handlers(int number) {
  const DWORD event = event_of(number);
  std::vector<PHANDLER_ROUTINE> handlers;
  {
    std::lock_guard held(console().lock);
    if (event == CTRL_C_EVENT && console().ignore_ctrl_c) return;
    handlers = console().handlers;
  }
  const bool handled = std::any_of(handlers.rbegin(), handlers.rend(),
                                   [event](PHANDLER_ROUTINE handler) { return handler(event) != FALSE; });
  if (!handled || event == CTRL_CLOSE_EVENT || event == CTRL_SHUTDOWN_EVENT) end_as_the_signal_would(number);
}

void watch_signals() {
  for (;;) {
    unsigned char number = 0;
    const ssize_t got = read(signal_pipe[0], &number, 1);
    if (got == 1) {
      std::thread(run_handlers, static_cast<int>(number)).detach();
    } else if (got < 0 && errno != EINTR) {
      return;
    }
  }
}

// Called with the lock held.
bool start_watching() {
  if (console().watching) return true;
  if (pipe2(signal_pipe, O_CLOEXEC) != 0) return false;
  std::thread(watch_signals).detach();
  struct sigaction action = {};
  action.sa_handler = on_signal;
  action.sa_flags = SA_RESTART;  // reads and writes of the program's thread go on undisturbed
  sigemptyset(&action.sa_mask);
  for (int number : caught_signals) sigaction(number, &action, nullptr);
  console().watching = true;
  return true;
}

}  // namespace

BOOL WINAPI SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add) {
  Console& state = console();
  std::lock_guard held(state.lock);
  if (handler == nullptr) {  // TRUE: Ctrl+C is ignored; FALSE: it is handled again
    state.ignore_ctrl_c = add != FALSE;
    return start_watching() ? TRUE : FALSE;
  }
  if (add) {
    if (!start_watching()) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return FALSE;
    }
    state.handlers.push_back(handler);
    return TRUE;
  }
  const auto found = std::find(state.handlers.rbegin(), state.handlers.rend(), handler);
  if (found == state.handlers.rend()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  state.handlers.erase(std::next(found).base());
  return TRUE;
}
