// The "Button" control as a push button: raised when up, sunken while the
// mouse or the space bar holds it down, a dotted focus rectangle while it has
// the focus, and BN_CLICKED to the parent when it is released over itself.
#include "controls/controls.h"

namespace controls {
namespace {

struct ButtonState {
  HFONT font = nullptr;
  UINT state = 0;         // BST_CHECKED, BST_PUSHED and BST_FOCUS bits
  bool pressing = false;  // a press by mouse or space bar is under way
};

LONG type_of(HWND window) { return GetWindowLongA(window, GWL_STYLE) & BS_TYPEMASK; }

bool is_default(HWND window) { return type_of(window) == BS_DEFPUSHBUTTON; }

void paint(HWND window, HDC dc) {
  ButtonState* state = state_of<ButtonState>(window);
  RECT r;
  GetClientRect(window, &r);
  HGDIOBJ old_font = SelectObject(dc, font_or_default(state->font));
  parent_colours(window, WM_CTLCOLORBTN, dc);  // asked, as Windows does; a push button keeps its face colour
  // The parent's answer ran its code, which may have destroyed the button.
  state = state_of<ButtonState>(window);
  if (state == nullptr) {
    SelectObject(dc, old_font);
    return;
  }
  bool pushed = state->state & BST_PUSHED;
  if (is_default(window) || (state->state & BST_FOCUS)) {
    FrameRect(dc, &r, GetSysColorBrush(COLOR_WINDOWFRAME));
    InflateRect(&r, -1, -1);
  }
  FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
  if (pushed) {
    FrameRect(dc, &r, GetSysColorBrush(COLOR_BTNSHADOW));
  } else {
    RECT edge = r;
    DrawEdge(dc, &edge, EDGE_RAISED, BF_RECT);
  }
  int length = GetWindowTextLengthA(window);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  GetWindowTextA(window, text.data(), length + 1);
  RECT label = r;
  InflateRect(&label, -2, -2);
  if (pushed) OffsetRect(&label, 1, 1);
  SetBkMode(dc, TRANSPARENT);
  UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
  if (IsWindowEnabled(window)) {
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    DrawTextA(dc, text.c_str(), length, &label, format);
  } else {
    // The classic embossed look: a highlight under a grey text.
    RECT under = label;
    OffsetRect(&under, 1, 1);
    SetTextColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
    DrawTextA(dc, text.c_str(), length, &under, format);
    SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    DrawTextA(dc, text.c_str(), length, &label, format);
  }
  if (state->state & BST_FOCUS) {
    RECT focus = r;
    InflateRect(&focus, -3, -3);
    DrawFocusRect(dc, &focus);
  }
  SelectObject(dc, old_font);
}

void redraw(HWND window) { InvalidateRect(window, nullptr, TRUE); }

void set_pushed(HWND window, ButtonState& s, bool pushed) {
  UINT updated = pushed ? (s.state | BST_PUSHED) : (s.state & ~BST_PUSHED);
  if (updated == s.state) return;
  s.state = updated;
  redraw(window);
}

bool over_button(HWND window, LPARAM lparam) {
  RECT client;
  GetClientRect(window, &client);
  POINT p{static_cast<SHORT>(LOWORD(lparam)), static_cast<SHORT>(HIWORD(lparam))};
  return PtInRect(&client, p);
}

// The button presses and releases itself with BM_SETSTATE, as the system's
// does, so that a subclass sees it.
void send_pushed(HWND window, bool pushed) { SendMessageA(window, BM_SETSTATE, pushed, 0); }

LRESULT start_press(HWND window, ButtonState& s) {
  s.pressing = true;
  send_pushed(window, true);
  SetCapture(window);
  return 0;
}

// A clicked automatic radio button takes the check from the other automatic
// radio buttons of its group: the siblings from the last one with WS_GROUP up
// to the next one. As the system walks the group, it passes over hidden and
// disabled ones. A sibling's code may destroy windows: the walk ends then.
void uncheck_rest_of_group(HWND window) {
  const auto starts_group = [](HWND sibling) { return (GetWindowLongA(sibling, GWL_STYLE) & WS_GROUP) != 0; };
  HWND first = window;
  while (!starts_group(first)) {
    HWND before = GetWindow(first, GW_HWNDPREV);
    if (before == nullptr) break;
    first = before;
  }
  for (HWND sibling = first; sibling != nullptr; sibling = GetWindow(sibling, GW_HWNDNEXT)) {
    if (sibling != first && starts_group(sibling)) break;
    if (sibling != window && type_of(sibling) == BS_AUTORADIOBUTTON && IsWindowVisible(sibling) &&
        IsWindowEnabled(sibling))
      SendMessageA(sibling, BM_SETCHECK, BST_UNCHECKED, 0);
  }
}

// A click moves the check of the automatic styles on: a box toggles, a
// three-state box goes checked, indeterminate, unchecked, a radio button checks.
void check_on_click(HWND window, UINT check) {
  switch (type_of(window)) {
    case BS_AUTOCHECKBOX:
      SendMessageA(window, BM_SETCHECK, check & BST_CHECKED ? BST_UNCHECKED : BST_CHECKED, 0);
      break;
    case BS_AUTO3STATE:
      SendMessageA(window, BM_SETCHECK, check & BST_INDETERMINATE ? BST_UNCHECKED : check + 1, 0);
      break;
    case BS_AUTORADIOBUTTON:
      SendMessageA(window, BM_SETCHECK, BST_CHECKED, 0);
      if (IsWindow(window)) uncheck_rest_of_group(window);
      break;
    default: break;
  }
}

// How a press ends: a click when it ends over the button (or by the space bar).
enum class PressEnd { Click, Cancel };

// The parent is told last: it may destroy the button. A subclass may too, when
// the button sends itself messages, so the state is looked up after each.
LRESULT release(HWND window, ButtonState& s, PressEnd end) {
  if (!s.pressing) return 0;
  s.pressing = false;
  bool was_pushed = s.state & BST_PUSHED;
  if (was_pushed) send_pushed(window, false);
  if (end == PressEnd::Click && was_pushed) {
    if (const ButtonState* after = state_of<ButtonState>(window))
      check_on_click(window, after->state & (BST_CHECKED | BST_INDETERMINATE));
  }
  ReleaseCapture();
  if (end == PressEnd::Click && was_pushed && IsWindow(window)) notify_parent(window, BN_CLICKED);
  return 0;
}

// The focus moves to the button first; that runs the parent's code, so the
// state is looked up again after it.
LRESULT press_with_mouse(HWND window) {
  SetCapture(window);
  SetFocus(window);
  if (ButtonState* s = state_of<ButtonState>(window)) {
    s->pressing = true;
    send_pushed(window, true);
  }
  return 0;
}

// A double click is told to the parent, not taken as a second press, by the
// styles that always tell it (radio buttons, user and owner-drawn buttons)
// and by any button with BS_NOTIFY.
LRESULT double_click(HWND window) {
  const LONG type = type_of(window);
  if ((GetWindowLongA(window, GWL_STYLE) & BS_NOTIFY) || type == BS_RADIOBUTTON || type == BS_USERBUTTON ||
      type == BS_OWNERDRAW) {
    notify_parent(window, BN_DOUBLECLICKED);
    return 0;
  }
  return press_with_mouse(window);
}

LRESULT track_mouse(HWND window, const ButtonState& s, LPARAM lparam) {
  if (GetCapture() == window && s.pressing) send_pushed(window, over_button(window, lparam));
  return 0;
}

LRESULT key_down(HWND window, ButtonState& s, WPARAM key, LPARAM flags) {
  if (key == VK_SPACE && !(HIWORD(flags) & KF_REPEAT)) start_press(window, s);
  return 0;
}

LRESULT capture_changed(HWND window, ButtonState& s, HWND new_capture) {
  if (new_capture != window && s.pressing) {
    s.pressing = false;
    send_pushed(window, false);
  }
  return 0;
}

void notify_focus(HWND window, WORD code) {
  if (GetWindowLongA(window, GWL_STYLE) & BS_NOTIFY) notify_parent(window, code);
}

LRESULT gain_focus(HWND window, ButtonState& s) {
  s.state |= BST_FOCUS;
  redraw(window);
  notify_focus(window, BN_SETFOCUS);
  return 0;
}

LRESULT lose_focus(HWND window, ButtonState& s) {
  s.state &= ~BST_FOCUS;
  if (s.pressing && GetCapture() == window) release(window, s, PressEnd::Cancel);
  redraw(window);
  notify_focus(window, BN_KILLFOCUS);
  return 0;
}

LRESULT set_text(HWND window, WPARAM wparam, LPARAM lparam) {
  LRESULT result = DefWindowProcA(window, WM_SETTEXT, wparam, lparam);
  redraw(window);
  return result;
}

LRESULT set_font(HWND window, ButtonState& s, HFONT font, bool redraw_now) {
  s.font = font;
  if (redraw_now) redraw(window);
  return 0;
}

// Push buttons have no check mark and stay unchecked; the check box and radio
// styles keep what they are told (a third state only with 3STATE).
LRESULT set_check(HWND window, ButtonState& s, WPARAM wanted) {
  const LONG type = type_of(window);
  if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) return 0;
  UINT check = static_cast<UINT>(wanted) & (BST_CHECKED | BST_INDETERMINATE);
  if (check == BST_INDETERMINATE && type != BS_3STATE && type != BS_AUTO3STATE) check = BST_CHECKED;
  if (static_cast<UINT>(wanted) > BST_INDETERMINATE) check = BST_CHECKED;
  s.state = (s.state & ~(BST_CHECKED | BST_INDETERMINATE)) | check;
  redraw(window);
  return 0;
}

LRESULT set_style(HWND window, WPARAM style, bool redraw_now) {
  LONG old_style = GetWindowLongA(window, GWL_STYLE);
  SetWindowLongA(window, GWL_STYLE, (old_style & ~BS_TYPEMASK) | (static_cast<LONG>(style) & BS_TYPEMASK));
  if (redraw_now) redraw(window);
  return 0;
}

// What the button is to a dialog's keyboard handling.
LRESULT dialog_code(HWND window) {
  switch (type_of(window)) {
    case BS_PUSHBUTTON: return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
    case BS_DEFPUSHBUTTON: return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON: return DLGC_BUTTON | DLGC_RADIOBUTTON;
    case BS_GROUPBOX: return DLGC_STATIC;
    default: return DLGC_BUTTON;
  }
}

LRESULT click(HWND window) {
  if (IsWindowEnabled(window)) {
    SendMessageA(window, WM_LBUTTONDOWN, 0, 0);
    SendMessageA(window, WM_LBUTTONUP, 0, 0);
  }
  return 0;
}

LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) attach_state(window, new ButtonState);
  ButtonState* state = state_of<ButtonState>(window);
  if (state == nullptr) return DefWindowProcA(window, message, wparam, lparam);
  ButtonState& s = *state;
  switch (message) {
    case WM_NCDESTROY: return destroy_with_state<ButtonState>(window, message, wparam, lparam);
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: return paint_message(window, wparam, paint);
    case WM_LBUTTONDOWN: return press_with_mouse(window);
    case WM_LBUTTONDBLCLK: return double_click(window);
    case WM_MOUSEMOVE: return track_mouse(window, s, lparam);
    case WM_LBUTTONUP: return release(window, s, over_button(window, lparam) ? PressEnd::Click : PressEnd::Cancel);
    case WM_KEYDOWN: return key_down(window, s, wparam, lparam);
    case WM_KEYUP: return wparam == VK_SPACE ? release(window, s, PressEnd::Click) : 0;
    case WM_CAPTURECHANGED: return capture_changed(window, s, reinterpret_cast<HWND>(lparam));
    case WM_SETFOCUS: return gain_focus(window, s);
    case WM_KILLFOCUS: return lose_focus(window, s);
    case WM_ENABLE: redraw(window); return 0;
    case WM_SETTEXT: return set_text(window, wparam, lparam);
    case WM_SETFONT: return set_font(window, s, reinterpret_cast<HFONT>(wparam), LOWORD(lparam) != 0);
    case WM_GETFONT: return reinterpret_cast<LRESULT>(s.font);
    case WM_GETDLGCODE: return dialog_code(window);
    case BM_GETCHECK: return s.state & (BST_CHECKED | BST_INDETERMINATE);
    case BM_SETCHECK: return set_check(window, s, wparam);
    case BM_GETSTATE: return s.state;
    case BM_SETSTATE: set_pushed(window, s, wparam != 0); return 0;
    case BM_SETSTYLE: return set_style(window, wparam, LOWORD(lparam) != 0);
    case BM_CLICK: return click(window);
    default: break;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

WNDPROC button_procedure() { return procedure; }

}  // namespace controls
