// What the standard controls share: their registration, the state each
// window keeps in its extra bytes, and the conversations with the parent.
// Internal to the platform.
#pragma once

#include <windows.h>

#include <string>

namespace controls {

// Registers "Static", "Edit", "Button", "msctls_progress32" and the message
// box's class. The window system calls it once, before the first class lookup.
void register_system_classes();

WNDPROC static_procedure();
WNDPROC edit_procedure();
WNDPROC button_procedure();
WNDPROC progress_procedure();
WNDPROC message_box_procedure();

// Each control keeps a pointer to its state struct in its first extra bytes,
// as the system's controls do; it is made on WM_NCCREATE and freed on WM_NCDESTROY.
constexpr int state_bytes = sizeof(void*);

template <typename State>
State* state_of(HWND window) {
  return reinterpret_cast<State*>(GetWindowLongPtrA(window, 0));
}

template <typename State>
void attach_state(HWND window, State* state) {
  SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(state));
}

template <typename State>
void free_state(HWND window) {
  delete state_of<State>(window);
  SetWindowLongPtrA(window, 0, 0);
}

// WM_NCDESTROY: the default handling, then the control's state is freed.
template <typename State>
LRESULT destroy_with_state(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  LRESULT result = DefWindowProcA(window, message, wparam, lparam);
  free_state<State>(window);
  return result;
}

// WM_PAINT of a control that draws itself with `paint`: into the DC a caller
// passes in wparam, or else between BeginPaint and EndPaint.
LRESULT paint_message(HWND window, WPARAM wparam, void (*paint)(HWND, HDC));

// WM_COMMAND to the parent with the control's id and a notification code.
void notify_parent(HWND control, WORD code);

// Asks the parent for the colours and brush to paint with (WM_CTLCOLOR*),
// falling back to the default answer when the parent gives no brush.
HBRUSH parent_colours(HWND control, UINT message, HDC dc);

// The font a control draws with: its own, or the system's when it has none.
HFONT font_or_default(HFONT font);

}  // namespace controls
