// Keyboard focus and activation. Activating a top-level window tells the old
// active window (WM_NCACTIVATE, WM_ACTIVATE with WA_INACTIVE), then the new
// one (WM_NCACTIVATE, WM_ACTIVATE), and then gives the new window the focus
// unless the focus is already inside it. Moving the focus sends WM_KILLFOCUS
// to the old focus, then WM_SETFOCUS to the new one.
#include <windows.h>

#include "user/internal.h"

namespace user {
namespace {

HWND focus = nullptr;
HWND active = nullptr;

void set_focus_window(HWND window) {
  HWND previous = focus;
  if (previous == window) return;
  focus = window;
  if (previous != nullptr && IsWindow(previous))
    SendMessageA(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(window), 0);
  if (window != nullptr && focus == window && IsWindow(window)) {
    SendMessageA(window, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
  }
}

bool can_activate(HWND window) {
  Window* w = find(window);
  return w != nullptr && (w->style & WS_VISIBLE) && !(w->style & WS_DISABLED) && !w->destroying;
}

}  // namespace

void activate_window(HWND window, bool by_mouse) {
  HWND previous = active;
  if (previous == window) return;
  if (window != nullptr) raise_top_level(window);
  active = window;
  if (previous != nullptr && IsWindow(previous)) {
    SendMessageA(previous, WM_NCACTIVATE, FALSE, reinterpret_cast<LPARAM>(window));
    SendMessageA(previous, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, IsIconic(previous)), reinterpret_cast<LPARAM>(window));
  }
  if (active != window) return;  // a handler activated something else meanwhile
  if (window != nullptr && IsWindow(window)) {
    SendMessageA(window, WM_NCACTIVATE, TRUE, reinterpret_cast<LPARAM>(previous));
    SendMessageA(window, WM_ACTIVATE, MAKEWPARAM(by_mouse ? WA_CLICKACTIVE : WA_ACTIVE, IsIconic(window)),
                 reinterpret_cast<LPARAM>(previous));
  }
  if (active != window) return;
  if (window == nullptr) {
    set_focus_window(nullptr);
  } else if (focus == nullptr || top_level_of(focus) != window) {
    set_focus_window(window);
  }
}

// The window that takes over when the active one goes: its owner when it can
// be active, else the topmost other window that can.
void activate_other_than(HWND window) {
  Window* w = find(window);
  HWND next = nullptr;
  if (w != nullptr && can_activate(w->owner)) next = w->owner;
  const std::vector<HWND>& stack = top_levels();
  for (auto it = stack.rbegin(); next == nullptr && it != stack.rend(); ++it) {
    if (*it != window && can_activate(*it)) next = *it;
  }
  activate_window(next, false);
}

// The activation moves on first, and the window that takes it takes the
// focus straight from where it was, as on Win32; a focus left inside the
// window after that goes to its parent.
void window_going_away(HWND window) {
  if (active == window) activate_other_than(window);
  Window* w = find(window);
  if (w != nullptr && focus != nullptr && (focus == window || IsChild(window, focus))) {
    HWND parent = w->parent;
    set_focus_window(parent != nullptr && IsWindowVisible(parent) ? parent : nullptr);
  }
}

}  // namespace user

using namespace user;

HWND WINAPI GetFocus() { return focus; }

// SetFocus: activates the window's top-level window first; refuses a window
// inside a disabled or minimised one.
HWND WINAPI SetFocus(HWND window) {
  HWND previous = focus;
  if (window == nullptr) {
    set_focus_window(nullptr);
    return previous;
  }
  if (find_or_fail(window) == nullptr) return nullptr;
  for (Window* w = find(window); w != nullptr; w = w->parent ? find(w->parent) : nullptr) {
    if (w->style & (WS_MINIMIZE | WS_DISABLED)) return nullptr;
  }
  HWND top = top_level_of(window);
  if (top != active) {
    activate_window(top, false);
    if (active != top || !IsWindow(window)) return nullptr;
  }
  set_focus_window(window);
  return previous;
}

HWND WINAPI GetActiveWindow() { return active; }

HWND WINAPI SetActiveWindow(HWND window) {
  HWND previous = active;
  if (window != nullptr) {
    if (find_or_fail(window) == nullptr) return nullptr;
    window = top_level_of(window);
  }
  activate_window(window, false);
  return previous;
}

HWND WINAPI GetForegroundWindow() { return active; }

BOOL WINAPI SetForegroundWindow(HWND window) {
  if (find_or_fail(window) == nullptr) return FALSE;
  activate_window(top_level_of(window), false);
  return TRUE;
}
