#include "window_service.h"

#include <mmsystem.h>

#include <algorithm>

#include "events.h"

// Windows 10 1803 and later; older SDK headers do not name it.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

// Windows: a port opened for plain blocking use, as the serial layer opens it,
// is no object to wait on (only overlapped I/O signals the arrival of a byte),
// so there the line is looked at every millisecond while a byte is awaited.
// Our Linux layer signals the port's handle while input waits.
#ifdef _WIN32
constexpr bool line_is_waitable = false;
constexpr auto line_check_period = std::chrono::milliseconds(1);
#else
constexpr bool line_is_waitable = true;
constexpr auto line_check_period = std::chrono::milliseconds(20);  // only once the line hung up
#endif

}  // namespace

// A high-resolution timer keeps the waits' deadlines to the millisecond
// without raising the system timer's period for every program; where it is
// refused (before Windows 10 1803) a plain timer and a raised period serve.
WindowService::WindowService(Line& line) : line_(line) {
  timer_ = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
  if (timer_ == nullptr) {
    timer_ = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    fine_period_ = timeBeginPeriod(1) == TIMERR_NOERROR;
  }
}

WindowService::~WindowService() {
  if (fine_period_) timeEndPeriod(1);
  if (timer_ != nullptr) CloseHandle(timer_);
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

void WindowService::serve_until(Clock::time_point deadline, Wake wake, OnClose on_close) {
  for (;;) {
    serve_ready_events();
    if (on_close == OnClose::Return && close_requested_) return;
    if (Clock::now() >= deadline) return;
    if (wake == Wake::OnInput && (line_.input_count() > 0 || line_.lost())) return;
    wait_once(deadline, wake == Wake::OnInput ? LineWatch::Watch : LineWatch::Ignore, QS_ALLINPUT);
  }
}

DWORD WindowService::wait_for_line(Clock::time_point deadline) {
  if (line_.lost()) return 0;
#ifdef _WIN32
  // The line does not signal: it is asked, and asked again whenever a wait
  // of line_check_period ends.
  for (;;) {
    if (const DWORD waiting = line_.input_count(); waiting > 0) return waiting;
    if (line_.lost() || Clock::now() >= deadline) return 0;
    wait_once(deadline, LineWatch::Watch, 0);
  }
#else
  // Ends on the first byte, at the deadline, or when the line hangs up.
  return wait_once(deadline, LineWatch::Watch, 0);
#endif
}

void WindowService::arm_timer(Clock::time_point deadline) {
  if (deadline == armed_for_) return;
  armed_for_ = deadline;
  // The timer counts in 100 ns units; a deadline that lies beyond any wait is not set.
  if (deadline == Clock::time_point::max()) {
    CancelWaitableTimer(timer_);
    return;
  }
  LARGE_INTEGER due;
  due.QuadPart = -std::max<LONGLONG>(
      1, std::chrono::ceil<std::chrono::duration<LONGLONG, std::ratio<1, 10000000>>>(deadline - Clock::now()).count());
  SetWaitableTimer(timer_, &due, 0, nullptr, nullptr, FALSE);
}

DWORD WindowService::wait_once(Clock::time_point deadline, LineWatch line_watch, DWORD wake_mask) {
  const bool watch_line = line_watch == LineWatch::Watch;
  HANDLE handles[] = {timer_, line_.port()};
  // A line that does not signal is looked at (by the caller, who asks for
  // its input count) whenever the timer ends a wait. A lost one would wake
  // every wait at once, so it is not watched at all.
  const bool line_signals = watch_line && line_is_waitable && !line_.lost();
  if (watch_line && !line_signals) deadline = std::min(deadline, Clock::now() + line_check_period);
  // Most waits of a reply end on its next byte long before their deadline,
  // and the next wait has the same one: the timer is then left as it is.
  arm_timer(deadline);
  const DWORD woke = MsgWaitForMultipleObjects(line_signals ? 2 : 1, handles, FALSE, INFINITE, wake_mask);
  if (woke == WAIT_OBJECT_0) armed_for_ = Clock::time_point::max();  // it signalled, and is set no more
  if (woke != WAIT_OBJECT_0 + 1 || !line_signals) return 0;
  // Signalled with nothing to read: the line hung up, and would wake every wait from now on.
  if (const DWORD waiting = line_.input_count(); waiting > 0) return waiting;
  line_.note_hang_up();
  return 0;
}
