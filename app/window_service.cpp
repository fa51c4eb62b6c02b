#include "window_service.h"

#include <mmsystem.h>

#include <algorithm>
#include <mutex>
#include <utility>

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

// Set by the program's thread, read by the thread a console control event
// runs on. An event that comes while there is no window (before the first is
// made) is kept and asks the next window to close.
std::mutex close_lock;
HWND close_target = nullptr;
bool close_pending = false;

// Asks the window to close, as its close box does.
void ask_to_close(HWND window) { PostMessageA(window, WM_CLOSE, 0, 0); }

BOOL WINAPI on_console_control(DWORD event) {
  {
    std::lock_guard held(close_lock);
    if (close_target != nullptr) {
      ask_to_close(close_target);
    } else {
      close_pending = true;
    }
  }
  // The process ends as soon as this returns from a close, logoff or
  // shutdown event, and a few seconds after it at the latest. Held here, the
  // thread lets the program end by itself, with the port closed and exit
  // code 0, when its window's thread is free to.
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) Sleep(INFINITE);
  return TRUE;
}

// The program's only other windows are message boxes. One shown while
// another program had the focus (the terminal where Ctrl+C was typed) has no
// owner, so each is found as a window of this thread.
BOOL CALLBACK close_other_window(HWND window, LPARAM main_window) {
  if (window != reinterpret_cast<HWND>(main_window) && IsWindowVisible(window)) ask_to_close(window);
  return TRUE;
}

// The window's procedure beneath, which the close handling below passes every message on to.
WNDPROC window_procedure_beneath = nullptr;

// A close request while a message box of the window shows closes the box
// first, so that its loop returns and the program sees the close.
LRESULT CALLBACK close_boxes_first(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_CLOSE)
    EnumThreadWindows(GetCurrentThreadId(), close_other_window, reinterpret_cast<LPARAM>(window));
  return CallWindowProcA(window_procedure_beneath, window, message, wparam, lparam);
}

}  // namespace

void install_close_signals() {
  [[maybe_unused]] static const BOOL installed = SetConsoleCtrlHandler(on_console_control, TRUE);
}

void close_signals_reach(HWND window) {
  install_close_signals();
  window_procedure_beneath =
      reinterpret_cast<WNDPROC>(SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(close_boxes_first)));
  std::lock_guard held(close_lock);
  close_target = window;
  if (std::exchange(close_pending, false)) ask_to_close(window);
}

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

void WindowService::serve_until(Clock::time_point deadline, Wake wake, bool stop_on_close) {
  for (;;) {
    serve_ready_events();
    if (stop_on_close && close_requested_) return;
    if (Clock::now() >= deadline) return;
    if (wake == Wake::OnInput && (line_.input_count() > 0 || line_.lost())) return;
    wait_once(deadline, wake == Wake::OnInput, QS_ALLINPUT);
  }
}

bool WindowService::wait_for_line(Clock::time_point deadline) {
  if (line_.lost()) return false;
#ifdef _WIN32
  // The line does not signal: it is asked, and asked again whenever a wait
  // of line_check_period ends.
  for (;;) {
    if (line_.input_count() > 0) return true;
    if (line_.lost() || Clock::now() >= deadline) return false;
    wait_once(deadline, true, 0);
  }
#else
  // Ends on the first byte, at the deadline, or when the line hangs up.
  return wait_once(deadline, true, 0);
#endif
}

bool WindowService::wait_once(Clock::time_point deadline, bool watch_line, DWORD wake_mask) {
  HANDLE handles[] = {timer_, line_.port()};
  // A line that does not signal is looked at (by the caller, who asks for
  // its input count) whenever the timer ends a wait. A lost one would wake
  // every wait at once, so it is not watched at all.
  const bool line_signals = watch_line && line_is_waitable && !line_.lost();
  if (watch_line && !line_signals) deadline = std::min(deadline, Clock::now() + line_check_period);
  // The timer counts in 100 ns units; a deadline that lies beyond any wait is not set.
  if (deadline != Clock::time_point::max()) {
    LARGE_INTEGER due;
    due.QuadPart = -std::max<LONGLONG>(
        1,
        std::chrono::ceil<std::chrono::duration<LONGLONG, std::ratio<1, 10000000>>>(deadline - Clock::now()).count());
    SetWaitableTimer(timer_, &due, 0, nullptr, nullptr, FALSE);
  } else {
    CancelWaitableTimer(timer_);
  }
  const DWORD woke = MsgWaitForMultipleObjects(line_signals ? 2 : 1, handles, FALSE, INFINITE, wake_mask);
  if (woke != WAIT_OBJECT_0 + 1 || !line_signals) return false;
  // Signalled with nothing to read: the line hung up, and would wake every wait from now on.
  if (line_.input_count() > 0) return true;
  line_.note_hang_up();
  return false;
}
