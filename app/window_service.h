// Keeps the window served while the connection sequence waits: every wait
// blocks on the serial line, the window's messages and a deadline together,
// dispatches window messages as they come and notes a close request.
#pragma once

#include <windows.h>

#include <chrono>

#include "serial_port.h"

using Clock = std::chrono::steady_clock;

// Makes SIGINT and SIGTERM (on Windows: a console's Ctrl+C and close) ask the
// window to close, as its close box does.
void install_close_signals(HWND window);

// Whole milliseconds from now until the deadline, rounded up; 0 once it has passed.
DWORD milliseconds_until(Clock::time_point deadline, Clock::time_point now = Clock::now());

// The event loop's wait for the next event; a close signal arrives as a close
// request of the window.
int next_event();

class WindowService {
 public:
  explicit WindowService(SerialPort port);
  ~WindowService();
  WindowService(const WindowService&) = delete;
  WindowService& operator=(const WindowService&) = delete;

  // Serves the window until the deadline has passed. With wake_on_input it
  // returns as soon as a byte waits on the line. It returns early when a close
  // has been requested and stop_on_close is set.
  enum class Wake { AtDeadline, OnInput };
  void serve_until(Clock::time_point deadline, Wake wake, bool stop_on_close);

  // Retrieves every event that is ready without waiting and notes a close request.
  void serve_ready_events();

  // Waits, without serving the window, until a byte waits on the line or
  // timeout milliseconds have passed. True when the wait saw a byte waiting,
  // so that the caller need not ask the line again.
  bool wait_for_line(DWORD timeout);

  // Counts an event retrieved elsewhere, such as the polling cycle's own.
  void note_event(int event);

  bool close_requested() const { return close_requested_; }
  Clock::time_point close_requested_at() const { return close_requested_at_; }

 private:
  void wait_once(Clock::time_point deadline, Wake wake);

  SerialPort port_;
  int line_fd_ = -1;
  // A line that reports readiness without bytes (a hang-up) cannot wake us
  // any more; it is then looked at on a slow timer instead of spinning.
  bool line_hung_up_ = false;
  [[maybe_unused]] bool fine_timer_ = false;  // Windows: millisecond timer periods asked for
  bool close_requested_ = false;
  Clock::time_point close_requested_at_{};
};
