// SetConsoleCtrlHandler over the signals that stand for the console control
// events on Linux: SIGINT (Ctrl+C in the terminal) is CTRL_C_EVENT, SIGHUP
// (the terminal went away, as a console that is closed) is CTRL_CLOSE_EVENT,
// and SIGTERM (the session or a user ends the process) is
// CTRL_SHUTDOWN_EVENT. The signals are caught from the first handler on; a
// program that adds none keeps their default actions, and a signal that was
// ignored when the first handler came (nohup, a background job's SIGINT)
// stays ignored.
//
// As Windows does, an event runs the handlers on a thread other than the
// program's, the one added last first, until one returns TRUE; when none
// does, the process ends as the signal would have ended it. After a close or
// shutdown event the process ends once the handlers have returned, and at the
// latest after close_grace whatever they do, also as on Windows: a program
// that needs time to finish holds its handler until it has ended by itself.
//
// Unlike Windows, one thread runs every event, one at a time, so that no
// burst of signals can start threads: an event that comes while another's
// handlers run is dropped, except a close or shutdown after a Ctrl+C, which
// runs next. Once a close is under way nothing more runs; Windows, too,
// delivers a close only once.
//
// A handler reaches the program's thread through what may be called from
// another thread: PostMessageA. Its message wakes that thread's message wait
// (GetMessageA, MsgWaitForMultipleObjects, a message box's loop) at once.
#include <windows.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int caught_signals[] = {SIGINT, SIGHUP, SIGTERM};

// Windows allows a close handler 5 s; the end comes a little earlier here, so
// that the process is gone within those 5 s even on a busy machine.
constexpr auto close_grace = std::chrono::milliseconds(4500);

struct Console {
  std::mutex lock;
  std::condition_variable event_waiting;
  std::vector<PHANDLER_ROUTINE> handlers;
  bool ignore_ctrl_c = false;
  bool watching = false;
  int next_signal = 0;                      // handed to the event thread, 0 while none waits
  bool running = false;                     // the event thread runs handlers
  int closing_signal = 0;                   // the signal that brought a close or shutdown event, 0 while none has come
  std::optional<Clock::time_point> end_by;  // of the process, once closing
};

// Never destroyed: the event thread may still run while the process ends.
Console& console() {
  static Console* const instance = new Console;
  return *instance;
}

// The signal handler may do no more than write to a pipe; the watcher reads
// it. The write end does not block: in a burst, what the pipe cannot take is
// dropped, as events would be.
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

bool is_close(DWORD event) { return event == CTRL_CLOSE_EVENT || event == CTRL_SHUTDOWN_EVENT; }

[[noreturn]] void end_as_the_signal_would(int number) {
  signal(number, SIG_DFL);
  raise(number);
  _exit(128 + number);  // not reached: the default action of these signals ends the process
}

// Called with the lock held, by the watcher.
void deliver(Console& state, int number) {
  const DWORD event = event_of(number);
  if (state.closing_signal != 0) return;
  if (is_close(event)) {
    state.closing_signal = number;
    state.end_by = Clock::now() + close_grace;
  } else if (state.running || state.next_signal != 0 || state.ignore_ctrl_c) {
    return;
  }
  state.next_signal = number;
  state.event_waiting.notify_one();
}

struct Event {
  int number;
  std::vector<PHANDLER_ROUTINE> handlers;  // as they stood when the event was taken
};

Event take_event(Console& state) {
  std::unique_lock held(state.lock);
  state.event_waiting.wait(held, [&] { return state.next_signal != 0; });
  state.running = true;
  return {std::exchange(state.next_signal, 0), state.handlers};
}

void run_events() {
  Console& state = console();
  for (;;) {
    const auto [number, handlers] = take_event(state);
    const DWORD event = event_of(number);
    const bool handled = std::any_of(handlers.rbegin(), handlers.rend(),
                                     [event](PHANDLER_ROUTINE handler) { return handler(event) != FALSE; });
    if (!handled || is_close(event)) end_as_the_signal_would(number);
    std::lock_guard held(state.lock);
    state.running = false;
  }
}

// Hands each signal on and ends the process when a close has outlasted its grace.
void watch_signals() {
  Console& state = console();
  for (;;) {
    int timeout = -1;
    {
      std::lock_guard held(state.lock);
      if (state.end_by) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*state.end_by - Clock::now()).count();
        if (left <= 0) end_as_the_signal_would(state.closing_signal);
        timeout = static_cast<int>(left);
      }
    }
    pollfd entry{signal_pipe[0], POLLIN, 0};
    if (poll(&entry, 1, timeout) <= 0) continue;  // the grace's end, or EINTR
    unsigned char numbers[64];
    const ssize_t got = read(signal_pipe[0], numbers, sizeof numbers);
    std::lock_guard held(state.lock);
    for (ssize_t i = 0; i < got; ++i) deliver(state, numbers[i]);
  }
}

// Called with the lock held. The threads are started before any signal is
// caught, so that a failed start leaves the signals as they were.
bool start_watching() {
  Console& state = console();
  if (state.watching) return true;
  if (pipe2(signal_pipe, O_CLOEXEC) != 0) return false;
  fcntl(signal_pipe[1], F_SETFL, O_NONBLOCK);
  try {
    std::thread(run_events).detach();
    std::thread(watch_signals).detach();
  } catch (const std::system_error&) {
    // An event thread that did start waits for good and harms nothing: no signal reaches it.
    close(signal_pipe[0]);
    close(signal_pipe[1]);
    return false;
  }
  struct sigaction action = {};
  action.sa_handler = on_signal;
  action.sa_flags = SA_RESTART;  // reads and writes of the program's thread go on undisturbed
  sigemptyset(&action.sa_mask);
  for (int number : caught_signals) {
    struct sigaction before = {};
    if (sigaction(number, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    sigaction(number, &action, nullptr);
  }
  state.watching = true;
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
