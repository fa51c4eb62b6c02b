// The "Static" control: a text drawn from the window text, left, centred or
// right, wrapped at word boundaries over several lines. Before painting it
// asks its parent for colours with WM_CTLCOLORSTATIC and paints with the
// brush and colours that come back. Without SS_NOTIFY it is transparent to
// the mouse, so clicks reach the window beneath.
#include "controls/controls.h"

namespace controls {
namespace {

struct StaticState {
  HFONT font = nullptr;
};

// DrawText's format for each text style.
UINT text_format(DWORD style) {
  UINT format = 0;
  switch (style & SS_TYPEMASK) {
    case SS_CENTER: format = DT_CENTER | DT_EXPANDTABS | DT_WORDBREAK; break;
    case SS_RIGHT: format = DT_RIGHT | DT_EXPANDTABS | DT_WORDBREAK; break;
    case SS_SIMPLE: format = DT_LEFT | DT_SINGLELINE; break;
    case SS_LEFTNOWORDWRAP: format = DT_LEFT | DT_EXPANDTABS; break;
    default: format = DT_LEFT | DT_EXPANDTABS | DT_WORDBREAK; break;
  }
  if (style & SS_NOPREFIX) format |= DT_NOPREFIX;
  if (style & SS_CENTERIMAGE) format = (format & ~DT_WORDBREAK) | DT_SINGLELINE | DT_VCENTER;
  return format;
}

bool is_text_style(DWORD style) {
  DWORD type = style & SS_TYPEMASK;
  return type <= SS_RIGHT || type == SS_SIMPLE || type == SS_LEFTNOWORDWRAP;
}

void paint(HWND window, HDC dc) {
  StaticState* state = state_of<StaticState>(window);
  DWORD style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
  RECT client;
  GetClientRect(window, &client);
  HGDIOBJ old_font = SelectObject(dc, font_or_default(state->font));
  HBRUSH brush = parent_colours(window, WM_CTLCOLORSTATIC, dc);
  if (is_text_style(style)) {
    FillRect(dc, &client, brush);
    if (!IsWindowEnabled(window)) SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    int length = GetWindowTextLengthA(window);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    GetWindowTextA(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(length));
    DrawTextA(dc, text.c_str(), length, &client, text_format(style));
  }
  SelectObject(dc, old_font);
}

void redraw(HWND window) { InvalidateRect(window, nullptr, TRUE); }

LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_NCCREATE: attach_state(window, new StaticState); break;
    case WM_NCDESTROY: return destroy_with_state<StaticState>(window, message, wparam, lparam);
    case WM_NCHITTEST:
      if (!(GetWindowLongA(window, GWL_STYLE) & SS_NOTIFY)) return HTTRANSPARENT;
      break;
    case WM_LBUTTONDOWN:
    case WM_NCLBUTTONDOWN:
      if (GetWindowLongA(window, GWL_STYLE) & SS_NOTIFY) notify_parent(window, STN_CLICKED);
      return 0;
    case WM_LBUTTONDBLCLK:
    case WM_NCLBUTTONDBLCLK:
      if (GetWindowLongA(window, GWL_STYLE) & SS_NOTIFY) notify_parent(window, STN_DBLCLK);
      return 0;
    case WM_ERASEBKGND: return 1;  // painting fills the background itself
    case WM_PAINT: return paint_message(window, wparam, paint);
    case WM_SETTEXT: {
      LRESULT result = DefWindowProcA(window, message, wparam, lparam);
      redraw(window);
      return result;
    }
    case WM_ENABLE: redraw(window); return 0;
    case WM_SETFONT:
      state_of<StaticState>(window)->font = reinterpret_cast<HFONT>(wparam);
      if (LOWORD(lparam)) redraw(window);
      return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(state_of<StaticState>(window)->font);
    case WM_GETDLGCODE: return DLGC_STATIC;
    default: break;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

WNDPROC static_procedure() { return procedure; }

}  // namespace controls
