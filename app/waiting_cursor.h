// Shows that the program waits for the interface: once a request has gone
// unanswered for WAIT_SHOWN_AFTER_MS, the cursor over the window is the
// "working in the background" arrow (IDC_APPSTARTING), and the plain arrow
// again when an answer completes. Nothing else of the window changes.
#pragma once

#include <windows.h>

inline constexpr UINT WAIT_SHOWN_AFTER_MS = 500;

class WaitingCursor {
 public:
  explicit WaitingCursor(HWND window);
  ~WaitingCursor();
  WaitingCursor(const WaitingCursor&) = delete;
  WaitingCursor& operator=(const WaitingCursor&) = delete;

  // A request went out: the wait is counted from now, unless it already is.
  void awaited();
  // An answer completed: the wait is over.
  void answered();

 private:
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static void CALLBACK on_timer(HWND window, UINT message, UINT_PTR id, DWORD time);
  void show(bool waiting);

  HWND window_;
  bool counting_ = false;
  bool shown_ = false;
};
