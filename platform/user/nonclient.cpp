// The frame that DefWindowProcA draws and answers for: borders, the caption
// with its title and close box, hit testing, and the tracking of a press on
// the close box, a caption drag and a border drag. Tracking takes the mouse
// input from the queue while it lasts, as the modal loops of Windows do, but
// without a loop of its own: the program's message loop drives it.
#include <windows.h>

#include <cairo.h>

#include "gdi/dc.h"
#include "gdi/font.h"
#include "user/internal.h"

namespace user {
namespace {

constexpr int close_width = 16;
constexpr int close_height = 14;

int frame_width(DWORD style, DWORD ex_style) {
  if (style & WS_THICKFRAME) return GetSystemMetrics(SM_CXFRAME);
  if ((style & WS_DLGFRAME) || (ex_style & WS_EX_DLGMODALFRAME)) return GetSystemMetrics(SM_CXDLGFRAME);
  if (style & WS_BORDER) return GetSystemMetrics(SM_CXBORDER);
  return 0;
}

bool has_caption(DWORD style) { return (style & WS_CAPTION) == WS_CAPTION; }

// The caption bar and the close box in window coordinates.
RECT caption_rect(const Window& window) {
  int f = frame_width(window.style, window.ex_style);
  int width = window.rect.right - window.rect.left;
  return RECT{f, f, width - f, f + GetSystemMetrics(SM_CYCAPTION) - 1};
}

RECT close_box_rect(const Window& window) {
  RECT caption = caption_rect(window);
  int top = caption.top + (caption.bottom - caption.top - close_height) / 2;
  return RECT{caption.right - 2 - close_width, top, caption.right - 2, top + close_height};
}

enum class Tracking { none, close_box, move, size };

struct TrackState {
  Tracking mode = Tracking::none;
  HWND window = nullptr;
  bool pressed = false;  // close box: the cursor is over it
  POINT start{};
  RECT start_rect{};
  int edge = 0;  // WMSZ code of a border drag
};

TrackState track;

void draw_close_box(HDC dc, const RECT& box, bool pressed) {
  RECT r = box;
  FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
  DrawEdge(dc, &r, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
  // The classic cross: two strokes two pixels wide, 8 by 7 pixels.
  int x0 = box.left + (close_width - 8) / 2 + (pressed ? 1 : 0);
  int y0 = box.top + (close_height - 7) / 2 + (pressed ? 1 : 0);
  HBRUSH ink = GetSysColorBrush(COLOR_BTNTEXT);
  for (int i = 0; i < 7; ++i) {
    RECT a{x0 + i, y0 + i, x0 + i + 2, y0 + i + 1};
    RECT b{x0 + 6 - i, y0 + i, x0 + 8 - i, y0 + i + 1};
    FillRect(dc, &a, ink);
    FillRect(dc, &b, ink);
  }
}

void draw_caption(HDC handle, const Window& window) {
  RECT caption = caption_rect(window);
  gdi::DC* dc = gdi::dc_from(handle);
  bool active = window.active_frame;
  COLORREF from = GetSysColor(active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION);
  COLORREF to = GetSysColor(active ? COLOR_GRADIENTACTIVECAPTION : COLOR_GRADIENTINACTIVECAPTION);
  cairo_t* cr = gdi::begin_drawing(*dc);
  cairo_pattern_t* gradient = cairo_pattern_create_linear(caption.left, 0, caption.right, 0);
  cairo_pattern_add_color_stop_rgb(gradient, 0, GetRValue(from) / 255.0, GetGValue(from) / 255.0,
                                   GetBValue(from) / 255.0);
  cairo_pattern_add_color_stop_rgb(gradient, 1, GetRValue(to) / 255.0, GetGValue(to) / 255.0, GetBValue(to) / 255.0);
  cairo_set_source(cr, gradient);
  cairo_rectangle(cr, caption.left, caption.top, caption.right - caption.left, caption.bottom - caption.top);
  cairo_fill(cr);
  cairo_pattern_destroy(gradient);
  // The title in the bold face of the GUI font, cut off before the close box.
  gdi::FontSpec bold = gdi::font_from(gdi::default_gui_font())->spec;
  bold.weight = FW_BOLD;
  int text_right = (window.style & WS_SYSMENU) ? close_box_rect(window).left - 2 : caption.right - 2;
  cairo_rectangle(cr, caption.left, caption.top, text_right - caption.left, caption.bottom - caption.top);
  cairo_clip(cr);
  gdi::FontMetrics metrics = gdi::font_metrics(bold);
  double top = caption.top + (caption.bottom - caption.top - metrics.height) / 2;
  gdi::draw_text(cr, bold, caption.left + 3, top, window.text,
                 GetSysColor(active ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT));
  gdi::end_drawing(*dc);
  RECT line{caption.left, caption.bottom, caption.right, caption.bottom + 1};
  FillRect(handle, &line, GetSysColorBrush(COLOR_BTNFACE));
  if (window.style & WS_SYSMENU)
    draw_close_box(handle, close_box_rect(window),
                   track.mode == Tracking::close_box && track.window == window.handle && track.pressed);
}

int hit_test(const Window& window, POINT screen) {
  RECT outer = screen_rect(window);
  if (!PtInRect(&outer, screen)) return HTNOWHERE;
  POINT p{screen.x - outer.left, screen.y - outer.top};
  if (PtInRect(&window.client, p)) return HTCLIENT;
  int width = outer.right - outer.left;
  int height = outer.bottom - outer.top;
  int f = frame_width(window.style, window.ex_style);
  if ((window.style & WS_THICKFRAME) && !(window.style & WS_MAXIMIZE)) {
    int corner = GetSystemMetrics(SM_CYCAPTION) + f;
    bool left = p.x < f, right = p.x >= width - f, top = p.y < f, bottom = p.y >= height - f;
    if (left || right || top || bottom) {
      bool near_left = p.x < corner, near_right = p.x >= width - corner;
      bool near_top = p.y < corner, near_bottom = p.y >= height - corner;
      if ((top && near_left) || (left && near_top)) return HTTOPLEFT;
      if ((top && near_right) || (right && near_top)) return HTTOPRIGHT;
      if ((bottom && near_left) || (left && near_bottom)) return HTBOTTOMLEFT;
      if ((bottom && near_right) || (right && near_bottom)) return HTBOTTOMRIGHT;
      return left ? HTLEFT : right ? HTRIGHT : top ? HTTOP : HTBOTTOM;
    }
  }
  if (has_caption(window.style)) {
    RECT caption = caption_rect(window);
    if (PtInRect(&caption, p)) {
      RECT close = close_box_rect(window);
      if ((window.style & WS_SYSMENU) && PtInRect(&close, p)) return HTCLOSE;
      return HTCAPTION;
    }
  }
  return HTBORDER;
}

bool over_close_box(HWND handle, POINT screen) {
  Window* window = find(handle);
  return window != nullptr && hit_test(*window, screen) == HTCLOSE;
}

void end_tracking() {
  HWND window = track.window;
  Tracking mode = track.mode;
  track = TrackState{};
  if (mode == Tracking::close_box && IsWindow(window)) draw_frame(window);
  if ((mode == Tracking::move || mode == Tracking::size) && IsWindow(window))
    SendMessageA(window, WM_EXITSIZEMOVE, 0, 0);
}

void follow_mouse(POINT p) {
  Window* window = find(track.window);
  if (window == nullptr) return;
  int dx = p.x - track.start.x, dy = p.y - track.start.y;
  RECT r = track.start_rect;
  if (track.mode == Tracking::move) {
    OffsetRect(&r, dx, dy);
  } else {
    int e = track.edge;
    if (e == WMSZ_LEFT || e == WMSZ_TOPLEFT || e == WMSZ_BOTTOMLEFT) r.left += dx;
    if (e == WMSZ_RIGHT || e == WMSZ_TOPRIGHT || e == WMSZ_BOTTOMRIGHT) r.right += dx;
    if (e == WMSZ_TOP || e == WMSZ_TOPLEFT || e == WMSZ_TOPRIGHT) r.top += dy;
    if (e == WMSZ_BOTTOM || e == WMSZ_BOTTOMLEFT || e == WMSZ_BOTTOMRIGHT) r.bottom += dy;
    SendMessageA(track.window, WM_SIZING, static_cast<WPARAM>(e), reinterpret_cast<LPARAM>(&r));
  }
  if (window->parent != nullptr) MapWindowPoints(nullptr, window->parent, reinterpret_cast<POINT*>(&r), 2);
  MoveWindow(track.window, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
}

void start_tracking(HWND handle, Tracking mode, POINT screen, int edge) {
  track = TrackState{mode, handle, true, screen, {}, edge};
  GetWindowRect(handle, &track.start_rect);
  if (mode == Tracking::close_box)
    draw_frame(handle);
  else
    SendMessageA(handle, WM_ENTERSIZEMOVE, 0, 0);
}

// A press on the close box is followed in a loop of its own until the button
// is released, as Windows does: by the time the press has been dispatched,
// the close request of a release over the box has been sent as well.
void track_close_box(HWND handle, POINT screen) {
  start_tracking(handle, Tracking::close_box, screen, 0);
  while (track.mode == Tracking::close_box && IsWindow(handle)) {
    MSG msg;
    // Peeking runs the tracking of the mouse messages it meets.
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        break;
      }
      // A close request for the window (from another thread, such as a
      // console control handler) ends the tracking, and is left for the loop
      // that the press came from, as is a cancel of the mode.
      if (msg.hwnd == handle && (msg.message == WM_CLOSE || msg.message == WM_CANCELMODE)) {
        end_tracking();
        if (msg.message == WM_CLOSE) {
          PostMessageA(handle, WM_CLOSE, msg.wParam, msg.lParam);
        } else {
          DispatchMessageA(&msg);
        }
        break;
      }
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
      continue;
    }
    if (track.mode != Tracking::close_box) break;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT);
  }
}

}  // namespace

void frame_thickness(DWORD style, DWORD ex_style, RECT* insets) {
  int f = frame_width(style, ex_style);
  *insets = RECT{f, f, f, f};
  if (has_caption(style)) insets->top += GetSystemMetrics(SM_CYCAPTION);
  int edge =
      ((ex_style & WS_EX_CLIENTEDGE) ? GetSystemMetrics(SM_CXEDGE) : 0) + ((ex_style & WS_EX_STATICEDGE) ? 1 : 0);
  insets->left += edge;
  insets->top += edge;
  insets->right += edge;
  insets->bottom += edge;
}

RECT client_area_for(DWORD style, DWORD ex_style, int width, int height) {
  RECT insets;
  frame_thickness(style, ex_style, &insets);
  RECT client{insets.left, insets.top, width - insets.right, height - insets.bottom};
  if (client.right < client.left) client.right = client.left;
  if (client.bottom < client.top) client.bottom = client.top;
  return client;
}

void draw_frame(HWND handle) {
  Window* window = find(handle);
  if (window == nullptr) return;
  bool frameless = window->client.left == 0 && window->client.top == 0 &&
                   window->client.right == window->rect.right - window->rect.left &&
                   window->client.bottom == window->rect.bottom - window->rect.top;
  if (frameless) return;
  HDC dc = GetWindowDC(handle);
  RECT r{0, 0, window->rect.right - window->rect.left, window->rect.bottom - window->rect.top};
  int f = frame_width(window->style, window->ex_style);
  if (f == 1) {
    FrameRect(dc, &r, GetSysColorBrush(COLOR_WINDOWFRAME));
    InflateRect(&r, -1, -1);
  } else if (f > 1) {
    DrawEdge(dc, &r, EDGE_RAISED, BF_RECT | BF_ADJUST);
    for (int i = 2; i < f; ++i) {
      FrameRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
      InflateRect(&r, -1, -1);
    }
  }
  if (has_caption(window->style)) draw_caption(dc, *window);
  if (window->ex_style & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE)) {
    RECT edge = window->client;
    if (window->ex_style & WS_EX_CLIENTEDGE) {
      InflateRect(&edge, 2, 2);
      DrawEdge(dc, &edge, EDGE_SUNKEN, BF_RECT);
    } else {
      InflateRect(&edge, 1, 1);
      DrawEdge(dc, &edge, BDR_SUNKENOUTER, BF_RECT);
    }
  }
  ReleaseDC(handle, dc);
}

LRESULT nonclient_message(HWND handle, UINT message, WPARAM wparam, LPARAM lparam, bool* handled) {
  *handled = true;
  Window* window = find(handle);
  POINT point{static_cast<SHORT>(LOWORD(lparam)), static_cast<SHORT>(HIWORD(lparam))};
  switch (message) {
    case WM_NCHITTEST: return hit_test(*window, point);
    case WM_NCPAINT: draw_frame(handle); return 0;
    case WM_NCACTIVATE:
      window->active_frame = wparam != 0;
      if (window->style & WS_VISIBLE) draw_frame(handle);
      return TRUE;
    case WM_NCLBUTTONDOWN: {
      int hit = static_cast<int>(wparam);
      if (hit == HTCLOSE)
        track_close_box(handle, point);
      else if (hit == HTCAPTION)
        SendMessageA(handle, WM_SYSCOMMAND, SC_MOVE + HTCAPTION, lparam);
      else if (hit >= HTLEFT && hit <= HTBOTTOMRIGHT)
        SendMessageA(handle, WM_SYSCOMMAND, SC_SIZE + (hit - (HTLEFT - WMSZ_LEFT)), lparam);
      return 0;
    }
    case WM_SYSCOMMAND:
      switch (wparam & 0xFFF0) {
        case SC_CLOSE: SendMessageA(handle, WM_CLOSE, 0, 0); return 0;
        case SC_MOVE:
          if (GetKeyState(VK_LBUTTON) < 0) start_tracking(handle, Tracking::move, point, 0);
          return 0;
        case SC_SIZE:
          if ((wparam & 0xF) != 0 && GetKeyState(VK_LBUTTON) < 0)
            start_tracking(handle, Tracking::size, point, static_cast<int>(wparam & 0xF));
          return 0;
        case SC_MINIMIZE: ShowWindow(handle, SW_MINIMIZE); return 0;
        case SC_MAXIMIZE: ShowWindow(handle, SW_MAXIMIZE); return 0;
        case SC_RESTORE: ShowWindow(handle, SW_RESTORE); return 0;
        default: return 0;
      }
    case WM_SYSKEYDOWN:
      // Alt+F4 closes and Alt+F8 sizes the top-level window, through its system commands.
      if (HIWORD(lparam) & KF_ALTDOWN) {
        HWND top = top_level_of(handle);
        if (wparam == VK_F4 && !(find(top)->window_class->info.style & CS_NOCLOSE))
          PostMessageA(top, WM_SYSCOMMAND, SC_CLOSE, 0);
        if (wparam == VK_F8 && (find(top)->style & WS_THICKFRAME)) PostMessageA(top, WM_SYSCOMMAND, SC_SIZE, 0);
      }
      return 0;
    default: *handled = false; return 0;
  }
}

bool nonclient_tracking(const MSG& msg) {
  if (track.mode == Tracking::none) return false;
  if (!IsWindow(track.window)) {
    track = TrackState{};
    return false;
  }
  bool move = msg.message == WM_MOUSEMOVE || msg.message == WM_NCMOUSEMOVE;
  bool release = msg.message == WM_LBUTTONUP || msg.message == WM_NCLBUTTONUP;
  if (track.mode == Tracking::close_box) {
    bool over = over_close_box(track.window, msg.pt);
    if (over != track.pressed) {
      track.pressed = over;
      draw_frame(track.window);
    }
    if (release) {
      HWND window = track.window;
      end_tracking();
      if (over) SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, MAKELPARAM(msg.pt.x, msg.pt.y));
    }
    return true;
  }
  if (move) follow_mouse(msg.pt);
  if (release) end_tracking();
  return true;
}

}  // namespace user
