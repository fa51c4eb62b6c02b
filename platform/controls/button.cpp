// The "Button" control as a push button: raised when up, sunken while the
// mouse or the space bar holds it down, a dotted focus rectangle while it has
// the focus, and BN_CLICKED to the parent when it is released over itself.
#include "controls/controls.h"

namespace controls {
namespace {

struct ButtonState {
  HFONT font = nullptr;
  UINT state = 0;        // BST_CHECKED, BST_PUSHED and BST_FOCUS bits
  bool pressing = false;  // a press by mouse or space bar is under way
};

bool is_default(HWND window) { return (GetWindowLongA(window, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON; }

void paint(HWND window, HDC dc) {
  ButtonState* state = state_of<ButtonState>(window);
  RECT r;
  GetClientRect(window, &r);
  HGDIOBJ old_font = SelectObject(dc, font_or_default(state->font));
  parent_colours(window, WM_CTLCOLORBTN, dc);  // asked, as Windows does; a push button keeps its face colour
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

void set_pushed(HWND window, bool pushed) {
  ButtonState* state = state_of<ButtonState>(window);
  UINT updated = pushed ? (state->state | BST_PUSHED) : (state->state & ~BST_PUSHED);
  if (updated == state->state) return;
  state->state = updated;
  redraw(window);
}

// The end of a press: a click when it ends over the button (or by the space bar).
void release(HWND window, bool clicked) {
  ButtonState* state = state_of<ButtonState>(window);
  if (!state->pressing) return;
  state->pressing = false;
  bool was_pushed = state->state & BST_PUSHED;
  set_pushed(window, false);
  ReleaseCapture();
  if (clicked && was_pushed) notify_parent(window, BN_CLICKED);
}

LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_NCCREATE: attach_state(window, new ButtonState); break;
    case WM_NCDESTROY: return destroy_with_state<ButtonState>(window, message, wparam, lparam);
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: return paint_message(window, wparam, paint);
    case WM_LBUTTONDOWN: case WM_LBUTTONDBLCLK:
      SetCapture(window);
      SetFocus(window);
      state_of<ButtonState>(window)->pressing = true;
      set_pushed(window, true);
      return 0;
    case WM_MOUSEMOVE:
      if (GetCapture() == window && state_of<ButtonState>(window)->pressing) {
        RECT client;
        GetClientRect(window, &client);
        POINT p{static_cast<SHORT>(LOWORD(lparam)), static_cast<SHORT>(HIWORD(lparam))};
        set_pushed(window, PtInRect(&client, p));
      }
      return 0;
    case WM_LBUTTONUP: {
      RECT client;
      GetClientRect(window, &client);
      POINT p{static_cast<SHORT>(LOWORD(lparam)), static_cast<SHORT>(HIWORD(lparam))};
      release(window, PtInRect(&client, p));
      return 0;
    }
    case WM_KEYDOWN:
      if (wparam == VK_SPACE && !(HIWORD(lparam) & KF_REPEAT)) {
        state_of<ButtonState>(window)->pressing = true;
        set_pushed(window, true);
        SetCapture(window);
      }
      return 0;
    case WM_KEYUP:
      if (wparam == VK_SPACE) release(window, true);
      return 0;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lparam) != window && state_of<ButtonState>(window)->pressing) {
        state_of<ButtonState>(window)->pressing = false;
        set_pushed(window, false);
      }
      return 0;
    case WM_SETFOCUS:
      state_of<ButtonState>(window)->state |= BST_FOCUS;
      redraw(window);
      if (GetWindowLongA(window, GWL_STYLE) & BS_NOTIFY) notify_parent(window, BN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS: {
      ButtonState* state = state_of<ButtonState>(window);
      state->state &= ~BST_FOCUS;
      if (state->pressing && GetCapture() == window) release(window, false);
      redraw(window);
      if (GetWindowLongA(window, GWL_STYLE) & BS_NOTIFY) notify_parent(window, BN_KILLFOCUS);
      return 0;
    }
    case WM_ENABLE: redraw(window); return 0;
    case WM_SETTEXT: {
      LRESULT result = DefWindowProcA(window, message, wparam, lparam);
      redraw(window);
      return result;
    }
    case WM_SETFONT:
      state_of<ButtonState>(window)->font = reinterpret_cast<HFONT>(wparam);
      if (LOWORD(lparam)) redraw(window);
      return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(state_of<ButtonState>(window)->font);
    case WM_GETDLGCODE: return DLGC_BUTTON | (is_default(window) ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    case BM_GETCHECK: return state_of<ButtonState>(window)->state & (BST_CHECKED | BST_INDETERMINATE);
    case BM_SETCHECK: {
      // Push buttons have no check mark and stay unchecked; the check box and
      // radio styles keep what they are told (a third state only with 3STATE).
      const LONG type = GetWindowLongA(window, GWL_STYLE) & BS_TYPEMASK;
      if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) return 0;
      UINT check = static_cast<UINT>(wparam) & (BST_CHECKED | BST_INDETERMINATE);
      if (check == BST_INDETERMINATE && type != BS_3STATE && type != BS_AUTO3STATE) check = BST_CHECKED;
      if (static_cast<UINT>(wparam) > BST_INDETERMINATE) check = BST_CHECKED;
      auto* state = state_of<ButtonState>(window);
      state->state = (state->state & ~(BST_CHECKED | BST_INDETERMINATE)) | check;
      redraw(window);
      return 0;
    }
    case BM_GETSTATE: return state_of<ButtonState>(window)->state;
    case BM_SETSTATE: set_pushed(window, wparam != 0); return 0;
    case BM_SETSTYLE: {
      LONG style = GetWindowLongA(window, GWL_STYLE);
      SetWindowLongA(window, GWL_STYLE, (style & ~BS_TYPEMASK) | (static_cast<LONG>(wparam) & BS_TYPEMASK));
      if (LOWORD(lparam)) redraw(window);
      return 0;
    }
    case BM_CLICK:
      if (IsWindowEnabled(window)) {
        SendMessageA(window, WM_LBUTTONDOWN, 0, 0);
        SendMessageA(window, WM_LBUTTONUP, 0, 0);
      }
      return 0;
    default: break;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

WNDPROC button_procedure() { return procedure; }

}  // namespace controls
