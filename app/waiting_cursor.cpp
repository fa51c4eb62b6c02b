#include "waiting_cursor.h"

namespace {

constexpr UINT_PTR WAIT_TIMER = 0x5754;

// One main window and one conversation at a time: the procedure finds its
// cursor here. The procedure beneath stays known after the cursor is gone,
// for a subclass that could not be taken off (another was put on above it).
WaitingCursor* active = nullptr;
WNDPROC beneath = nullptr;

// Whether the mouse is over the window: the cursor is its to set only then.
bool mouse_over(HWND window) {
  POINT at;
  if (!GetCursorPos(&at)) return false;
  HWND under = WindowFromPoint(at);
  return under != nullptr && GetAncestor(under, GA_ROOT) == window;
}

// Where the window's class or its frame would set the arrow (the client area,
// the caption, the close box), the waiting arrow is set while the wait shows.
bool shows_the_arrow(WORD hit) { return hit == HTCLIENT || hit == HTCAPTION || hit == HTSYSMENU || hit == HTCLOSE; }

}  // namespace

WaitingCursor::WaitingCursor(HWND window) : window_(window) {
  active = this;
  beneath = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WaitingCursor::procedure)));
}

WaitingCursor::~WaitingCursor() {
  answered();
  active = nullptr;
  if (IsWindow(window_) &&
      GetWindowLongPtrA(window_, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&WaitingCursor::procedure))
    SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(beneath));
}

void WaitingCursor::awaited() {
  // Without a window there is no cursor over it to change.
  if (window_ == nullptr || counting_ || shown_) return;
  counting_ = SetTimer(window_, WAIT_TIMER, WAIT_SHOWN_AFTER_MS, &WaitingCursor::on_timer) != 0;
}

void WaitingCursor::answered() {
  if (counting_) KillTimer(window_, WAIT_TIMER);
  counting_ = false;
  if (shown_) show(false);
}

void WaitingCursor::show(bool waiting) {
  shown_ = waiting;
  if (mouse_over(window_)) SetCursor(LoadCursorA(nullptr, waiting ? IDC_APPSTARTING : IDC_ARROW));
}

void CALLBACK WaitingCursor::on_timer(HWND window, UINT, UINT_PTR id, DWORD) {
  KillTimer(window, id);
  if (active == nullptr || !active->counting_) return;
  active->counting_ = false;
  active->show(true);
}

LRESULT CALLBACK WaitingCursor::procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_SETCURSOR && active != nullptr && active->shown_ && shows_the_arrow(LOWORD(lparam))) {
    SetCursor(LoadCursorA(nullptr, IDC_APPSTARTING));
    return TRUE;
  }
  return CallWindowProcA(beneath, window, message, wparam, lparam);
}
