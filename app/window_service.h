// Keeps the window served while the connection sequence waits: every wait
// blocks on the serial line, the window's messages and a deadline together,
// dispatches window messages as they come and notes a close request.
#pragma once

#include <windows.h>

#include <chrono>

#include "line.h"

using Clock = std::chrono::steady_clock;

class WindowService {
 public:
  // The line may be closed and opened again while the service lasts.
  explicit WindowService(Line& line);
  ~WindowService();
  WindowService(const WindowService&) = delete;
  WindowService& operator=(const WindowService&) = delete;

  // Serves the window until the deadline has passed. With Wake::OnInput it
  // returns as soon as a byte waits on the line or the line is lost. With
  // OnClose::Return it returns early when a close has been requested.
  enum class Wake { AtDeadline, OnInput };
  enum class OnClose { KeepServing, Return };
  void serve_until(Clock::time_point deadline, Wake wake, OnClose on_close);

  // Retrieves every event that is ready without waiting and notes a close request.
  void serve_ready_events();

  // Waits, without serving the window, until a byte waits on the line, the
  // line is lost or the deadline has passed. Returns the bytes the wait saw
  // waiting (0 for none), so that the caller need not ask the line again.
  DWORD wait_for_line(Clock::time_point deadline);

  // Counts an event retrieved elsewhere, such as the polling cycle's own.
  void note_event(int event);

  bool close_requested() const { return close_requested_; }
  Clock::time_point close_requested_at() const { return close_requested_at_; }

 private:
  // One wait for the deadline and, with LineWatch::Watch, the line; with
  // messages when wake_mask asks for them. The bytes waiting when the line
  // woke it; a line that wakes it with none has hung up and is lost.
  enum class LineWatch { Ignore, Watch };
  DWORD wait_once(Clock::time_point deadline, LineWatch line_watch, DWORD wake_mask);
  // Sets the timer to the deadline, unless it is already set to it.
  void arm_timer(Clock::time_point deadline);

  Line& line_;
  HANDLE timer_ = nullptr;
  // The deadline the timer is set to and has not signalled yet; max when it is not set.
  Clock::time_point armed_for_ = Clock::time_point::max();
  bool fine_period_ = false;  // the system timer's period was raised instead
  bool close_requested_ = false;
  Clock::time_point close_requested_at_{};
};
