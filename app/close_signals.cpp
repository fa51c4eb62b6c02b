#include "close_signals.h"

#include <mutex>
#include <utility>

namespace {

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
