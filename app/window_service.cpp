#include "window_service.h"

#include <algorithm>

#include "events.h"

#ifdef _WIN32
#include <mmsystem.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include "platform_ext.h"
#endif

namespace {

// How often a line that cannot wake the wait is looked at.
constexpr auto line_check_period = std::chrono::milliseconds(20);

HWND close_target = nullptr;

void request_close() {
  if (close_target != nullptr) PostMessageA(close_target, WM_CLOSE, 0, 0);
}

#ifdef _WIN32

BOOL WINAPI on_console_control(DWORD) {
  request_close();  // PostMessageA may be called from the console's thread
  return TRUE;
}

#else

// A signal handler may only write to a pipe; the waits watch its other end.
int signal_pipe[2] = {-1, -1};

void on_close_signal(int) {
  const char byte = 1;
  [[maybe_unused]] ssize_t written = write(signal_pipe[1], &byte, 1);
}

void take_close_signal() {
  char bytes[16];
  while (read(signal_pipe[0], bytes, sizeof bytes) > 0) {
  }
  request_close();
}

#endif

}  // namespace

DWORD milliseconds_until(Clock::time_point deadline, Clock::time_point now) {
  if (deadline <= now) return 0;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
  return static_cast<DWORD>(std::min<long long>(left, 24LL * 3600 * 1000));
}

void install_close_signals(HWND window) {
  close_target = window;
#ifdef _WIN32
  SetConsoleCtrlHandler(on_console_control, TRUE);
#else
  if (signal_pipe[0] < 0 && pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  struct sigaction action = {};
  action.sa_handler = on_close_signal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
#endif
}

int next_event() {
#ifdef _WIN32
  return event_wait();
#else
  for (;;) {
    const int event = event_poll();
    if (event != EV_NONE) return event;
    const int fds[] = {signal_pipe[0]};
    const DWORD count = signal_pipe[0] >= 0 ? 1 : 0;
    if (platform_wait_for_input(fds, count, INFINITE) == WAIT_OBJECT_0 && count == 1) take_close_signal();
  }
#endif
}

// Windows times its waits by a system timer whose period is about 15.6 ms
// unless the process asks for a finer one; the look at the line every
// millisecond and the pause between requests need the finer one while the
// connection runs.
WindowService::WindowService(SerialPort port) : port_(port) {
#ifdef _WIN32
  fine_timer_ = timeBeginPeriod(1) == TIMERR_NOERROR;
#else
  line_fd_ = platform_handle_fd(port);
#endif
}

WindowService::~WindowService() {
#ifdef _WIN32
  if (fine_timer_) timeEndPeriod(1);
#endif
}

void WindowService::note_event(int event) {
  if (event == EV_CLOSE && !close_requested_) {
    close_requested_ = true;
    close_requested_at_ = Clock::now();
  }
}

void WindowService::serve_ready_events() {
  for (int event = event_poll(); event != EV_NONE; event = event_poll()) note_event(event);
}

void WindowService::serve_until(Clock::time_point deadline, Wake wake, bool stop_on_close) {
  for (;;) {
    serve_ready_events();
    if (stop_on_close && close_requested_) return;
    if (Clock::now() >= deadline) return;
    if (wake == Wake::OnInput && serial_input_count(port_) > 0) return;
    wait_once(deadline, wake);
  }
}

#ifdef _WIN32

bool WindowService::wait_for_line(DWORD timeout) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout);
  for (;;) {
    if (serial_input_count(port_) > 0) return true;
    if (Clock::now() >= deadline) return false;
    Sleep(1);
  }
}

void WindowService::wait_once(Clock::time_point deadline, Wake wake) {
  // A port opened for plain blocking use offers nothing to wait on together
  // with the messages, so the line is looked at every millisecond.
  DWORD timeout = milliseconds_until(deadline);
  if (wake == Wake::OnInput) timeout = std::min<DWORD>(timeout, 1);
  MsgWaitForMultipleObjects(0, nullptr, FALSE, timeout, QS_ALLINPUT);
}

#else

bool WindowService::wait_for_line(DWORD timeout) {
  if (line_fd_ < 0 || line_hung_up_) {
    poll(nullptr, 0, static_cast<int>(timeout));
    return false;
  }
  pollfd line{line_fd_, POLLIN, 0};
  if (poll(&line, 1, static_cast<int>(timeout)) != 1) return false;
  // A terminal is readable with nothing but POLLIN only while input waits.
  if ((line.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0) return (line.revents & POLLIN) != 0;
  if (serial_input_count(port_) > 0) return true;
  line_hung_up_ = true;
  return false;
}

void WindowService::wait_once(Clock::time_point deadline, Wake wake) {
  int fds[2];
  DWORD count = 0;
  const bool watch_line = wake == Wake::OnInput && line_fd_ >= 0 && !line_hung_up_;
  if (watch_line) fds[count++] = line_fd_;
  const DWORD signal_index = count;
  if (signal_pipe[0] >= 0) fds[count++] = signal_pipe[0];

  DWORD timeout = milliseconds_until(deadline);
  if (wake == Wake::OnInput && !watch_line) {
    timeout = std::min<DWORD>(timeout, static_cast<DWORD>(line_check_period.count()));
  }
  const DWORD woke = platform_wait_for_input(fds, count, timeout);
  if (watch_line && woke == WAIT_OBJECT_0 && serial_input_count(port_) == 0) line_hung_up_ = true;
  if (signal_pipe[0] >= 0 && woke == WAIT_OBJECT_0 + signal_index) take_close_signal();
}

#endif
