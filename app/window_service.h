// Keeps the window served while the connection sequence waits: every wait
// blocks on the serial line, the window's messages and a deadline together,
// dispatches window messages as they come and notes a close request.
#pragma once

#include <windows.h>

#include <chrono>

#include "serial_port.h"

using Clock = std::chrono::steady_clock;

// Makes the console control events (Ctrl+C, Ctrl+Break, closing the console;
// on Linux SIGINT, SIGTERM and SIGHUP) ask the window to close, as its close
// box does, whatever the program is doing: a message box that is open is
// closed first.
void install_close_signals(HWND window);

class WindowService {
 public:
  explicit WindowService(SerialPort port);
  ~WindowService();
  WindowService(const WindowService&) = delete;
  WindowService& operator=(const WindowService&) = delete;

  // Serves the window until the deadline has passed. With Wake::OnInput it
  // returns as soon as a byte waits on the line. It returns early when a close
  // has been requested and stop_on_close is set.
  enum class Wake { AtDeadline, OnInput };
  void serve_until(Clock::time_point deadline, Wake wake, bool stop_on_close);

  // Retrieves every event that is ready without waiting and notes a close request.
  void serve_ready_events();

  // Waits, without serving the window, until a byte waits on the line or the
  // deadline has passed. True when the wait saw a byte waiting, so that the
  // caller need not ask the line again.
  bool wait_for_line(Clock::time_point deadline);

  // Counts an event retrieved elsewhere, such as the polling cycle's own.
  void note_event(int event);

  bool close_requested() const { return close_requested_; }
  Clock::time_point close_requested_at() const { return close_requested_at_; }

 private:
  // One wait for the deadline and, when watched, the line; with messages
  // when wake_mask asks for them. True when the line woke it with a byte waiting.
  bool wait_once(Clock::time_point deadline, bool watch_line, DWORD wake_mask);

  SerialPort port_;
  HANDLE timer_ = nullptr;
  bool fine_period_ = false;  // the system timer's period was raised instead
  // A line that reports readiness without bytes (a hang-up) cannot wake us
  // any more; it is then looked at on a slow timer instead of spinning.
  bool line_hung_up_ = false;
  bool close_requested_ = false;
  Clock::time_point close_requested_at_{};
};
