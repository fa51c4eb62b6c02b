// DefWindowProcA: the default answer to every message a window procedure passes on.
#include <windows.h>

#include <cstring>

#include "user/internal.h"

using namespace user;

namespace {

LRESULT copy_text(const std::string& text, WPARAM size, LPARAM buffer) {
  if (size == 0 || buffer == 0) return 0;
  size_t length = std::min<size_t>(text.size(), size - 1);
  char* out = reinterpret_cast<char*>(buffer);
  std::memcpy(out, text.data(), length);
  out[length] = '\0';
  return static_cast<LRESULT>(length);
}

void clamp_to_track_size(HWND handle, WINDOWPOS* pos) {
  Window* window = find(handle);
  if ((pos->flags & SWP_NOSIZE) || (window->style & (WS_MINIMIZE | WS_MAXIMIZE))) return;
  if (!(window->style & WS_THICKFRAME) && (window->style & (WS_POPUP | WS_CHILD))) return;
  const SIZE size = within_track_size(handle, pos->cx, pos->cy);
  pos->cx = size.cx;
  pos->cy = size.cy;
}

}  // namespace

LRESULT WINAPI DefWindowProcA(HWND handle, UINT message, WPARAM wparam, LPARAM lparam) {
  Window* window = find(handle);
  if (window == nullptr) return 0;
  bool handled = false;
  LRESULT frame_answer = nonclient_message(handle, message, wparam, lparam, &handled);
  if (handled) return frame_answer;
  switch (message) {
    case WM_NCCREATE: {
      auto* create = reinterpret_cast<CREATESTRUCTA*>(lparam);
      if (create != nullptr && create->lpszName != nullptr && !IS_INTRESOURCE(create->lpszName))
        window->text = create->lpszName;
      return TRUE;
    }
    case WM_NCCALCSIZE: {
      // Both forms' first rectangle: the window's in, its client area's out.
      RECT* rect = wparam ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lparam)->rgrc[0] : reinterpret_cast<RECT*>(lparam);
      RECT client =
          client_area_for(window->style, window->ex_style, rect->right - rect->left, rect->bottom - rect->top);
      OffsetRect(&client, rect->left, rect->top);
      *rect = client;
      return 0;
    }
    case WM_CLOSE: DestroyWindow(handle); return 0;
    case WM_SETTEXT:
      window->text = lparam != 0 ? reinterpret_cast<const char*>(lparam) : "";
      if ((window->style & WS_CAPTION) == WS_CAPTION && (window->style & WS_VISIBLE)) invalidate_frame(handle);
      if (window->surface && (window->style & WS_VISIBLE)) describe_to_display(handle);
      return TRUE;
    case WM_GETTEXT: return copy_text(window->text, wparam, lparam);
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(window->text.size());
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(handle, &paint);
      EndPaint(handle, &paint);
      return 0;
    }
    case WM_ERASEBKGND: {
      HBRUSH brush = window->window_class->info.hbrBackground;
      if (brush == nullptr) return 0;
      RECT client;
      GetClientRect(handle, &client);
      FillRect(reinterpret_cast<HDC>(wparam), &client, brush);
      return 1;
    }
    case WM_SETCURSOR:
      // A child lets its parent choose first.
      if ((window->style & WS_CHILD) && window->parent != nullptr &&
          SendMessageA(window->parent, WM_SETCURSOR, wparam, lparam))
        return TRUE;
      update_cursor_shape(handle, static_cast<SHORT>(LOWORD(lparam)));
      return TRUE;
    case WM_MOUSEACTIVATE:
      if ((window->style & WS_CHILD) && window->parent != nullptr) {
        LRESULT answer = SendMessageA(window->parent, WM_MOUSEACTIVATE, wparam, lparam);
        if (answer != 0) return answer;
      }
      return MA_ACTIVATE;
    case WM_ACTIVATE:
      if (LOWORD(wparam) != WA_INACTIVE && !IsIconic(handle)) SetFocus(handle);
      return 0;
    case WM_CANCELMODE:
      if (GetCapture() == handle) ReleaseCapture();
      return 0;
    case WM_WINDOWPOSCHANGING: clamp_to_track_size(handle, reinterpret_cast<WINDOWPOS*>(lparam)); return 0;
    case WM_WINDOWPOSCHANGED: {
      auto* pos = reinterpret_cast<WINDOWPOS*>(lparam);
      RECT client = window->client;
      if (!(pos->flags & 0x1000)) {  // SWP_NOCLIENTMOVE
        SendMessageA(handle, WM_MOVE, 0, MAKELPARAM(window->rect.left + client.left, window->rect.top + client.top));
      }
      if (!(pos->flags & 0x0800) && IsWindow(handle)) {  // SWP_NOCLIENTSIZE
        WPARAM kind = IsZoomed(handle) ? SIZE_MAXIMIZED : SIZE_RESTORED;
        SendMessageA(handle, WM_SIZE, kind, MAKELPARAM(client.right - client.left, client.bottom - client.top));
      }
      return 0;
    }
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wparam);
      int background = message == WM_CTLCOLOREDIT || message == WM_CTLCOLORLISTBOX ? COLOR_WINDOW : COLOR_BTNFACE;
      SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
      SetBkColor(dc, GetSysColor(background));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(background));
    }
    default: return 0;
  }
}

// DefFrameProcA: the layer has no MDI clients, so a frame's default answer is
// the ordinary one.
LRESULT WINAPI DefFrameProcA(HWND handle, HWND /*mdi_client*/, UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcA(handle, message, wparam, lparam);
}
