// The window sizing loop: started by a size command, driven by mouse moves and
// arrow keys, ended by whatever takes the mouse capture away.

#include "events.h"
#include "toolkit_internal.h"

SizingLoopState* sizing_state = nullptr;

namespace {

// The system's shared cursors, by resource id.
constexpr WORD cursor_size_nwse = 32642;  // IDC_SIZENWSE
constexpr WORD cursor_size_nesw = 32643;  // IDC_SIZENESW
constexpr WORD cursor_size_we = 32644;    // IDC_SIZEWE
constexpr WORD cursor_size_ns = 32645;    // IDC_SIZENS
constexpr WORD cursor_size_all = 32646;   // IDC_SIZEALL

// Cursor points of a chosen edge lie this far inside the right and bottom
// edges (and the top-left corner), where apply_sizing_point maps them back.
constexpr int inset = 2;
// How far one arrow key moves the cursor once an edge is chosen.
constexpr int key_step = 10;

void set_sizing_cursor(WORD cursor_id) {
  HANDLE cursor = LoadImageA(nullptr, MAKEINTRESOURCEA(cursor_id), IMAGE_CURSOR, 0, 0, LR_SHARED | LR_DEFAULTSIZE);
  SetCursor(static_cast<HCURSOR>(cursor));
}

bool moves_left(LONG edge) { return edge == WMSZ_LEFT || edge == WMSZ_TOPLEFT || edge == WMSZ_BOTTOMLEFT; }
bool moves_right(LONG edge) { return edge == WMSZ_RIGHT || edge == WMSZ_TOPRIGHT || edge == WMSZ_BOTTOMRIGHT; }
bool moves_top(LONG edge) { return edge == WMSZ_TOP || edge == WMSZ_TOPLEFT || edge == WMSZ_TOPRIGHT; }
bool moves_bottom(LONG edge) { return edge == WMSZ_BOTTOM || edge == WMSZ_BOTTOMLEFT || edge == WMSZ_BOTTOMRIGHT; }

// A size kept within the track limits; the minimum wins over a smaller maximum.
LONG within_limits(LONG size, LONG min, LONG max) { return size < min ? min : size > max ? max : size; }

// The defaults of the track limits, before the window has its say.
void default_limits(HWND window, MINMAXINFO& limits) {
  limits.ptReserved = POINT{0, 0};
  limits.ptMaxSize = POINT{GetSystemMetrics(SM_CXMAXIMIZED), GetSystemMetrics(SM_CYMAXIMIZED)};
  if (GetWindowLongA(window, GWL_STYLE) & WS_BORDER) {
    limits.ptMaxPosition = POINT{GetSystemMetrics(SM_CXBORDER), GetSystemMetrics(SM_CYBORDER)};
  } else if (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_WINDOWEDGE) {
    limits.ptMaxPosition = POINT{GetSystemMetrics(SM_CXEDGE), GetSystemMetrics(SM_CYEDGE)};
  } else {
    limits.ptMaxPosition = POINT{0, 0};
  }
  limits.ptMinTrackSize = POINT{GetSystemMetrics(SM_CXMINTRACK), GetSystemMetrics(SM_CYMINTRACK)};
  limits.ptMaxTrackSize = POINT{GetSystemMetrics(SM_CXMAXTRACK), GetSystemMetrics(SM_CYMAXTRACK)};
}

LRESULT start_loop(SizingLoopState* state, HWND window, WPARAM command) {
  BOOL full_window_dragging = FALSE;
  SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &full_window_dragging, 0);
  if (!full_window_dragging) return RESULT_DEFAULT;  // the platform's own loop sizes the window

  state->edge = static_cast<LONG>(command & 0xF);
  state->active = 1;
  state->window = window;
  GetWindowRect(window, &state->rect);
  default_limits(window, state->limits);
  SendMessageA(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&state->limits));
  // A keyboard Size command comes without a pressed button; the window is
  // told of one, as it would be for a drag.
  if (GetKeyState(VK_LBUTTON) == 0) SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, 0);
  // Both ran the window's code, which may have ended this loop, started one
  // for another window, or hidden, disabled or destroyed the window.
  if (state->active == 0 || state->window != window) return 0;
  if (!IsWindowVisible(window) || !IsWindowEnabled(window)) {
    state->active = 0;
    state->window = nullptr;
    return 0;
  }
  SetCapture(window);
  PostMessageA(window, WM_ENTERSIZEMOVE, 0, 0);
  if (state->edge == 0) {
    state->restore_cursor = 1;
    GetCursorPos(&state->saved_cursor);
    set_sizing_cursor(cursor_size_all);
  } else {
    state->restore_cursor = 0;
  }
  return 0;  // the platform's default handling of the command must not run
}

void follow_point(SizingLoopState* state, HWND window, int x, int y) {
  apply_sizing_point(state, x, y);
  SendMessageA(window, WM_SIZING, static_cast<WPARAM>(state->edge), reinterpret_cast<LPARAM>(&state->rect));
  const RECT& rect = state->rect;
  move_window_to_rect(window, rect.left, rect.top, rect.right, rect.bottom);
}

void choose_edge(SizingLoopState* state, LONG edge, WORD cursor_id, int x, int y) {
  state->edge = edge;
  place_sizing_cursor(cursor_id, x, y);
}

// An arrow key first chooses a side, a second one at right angles turns it
// into a corner; any other arrow key moves the cursor one step and sizes.
void arrow_key(SizingLoopState* state, HWND window, WPARAM key) {
  POINT cursor;
  GetCursorPos(&cursor);
  const RECT rect = state->rect;
  const LONG edge = state->edge;
  switch (key) {
    case VK_LEFT:
      if (edge == 0) return choose_edge(state, WMSZ_LEFT, cursor_size_we, rect.left, cursor.y);
      if (edge == WMSZ_TOP)
        return choose_edge(state, WMSZ_TOPLEFT, cursor_size_nwse, rect.left + inset, rect.top + inset);
      if (edge == WMSZ_BOTTOM)
        return choose_edge(state, WMSZ_BOTTOMLEFT, cursor_size_nesw, rect.left, rect.bottom - inset);
      return sizing_key_step(state, window, cursor.x - key_step, cursor.y);
    case VK_UP:
      if (edge == 0) return choose_edge(state, WMSZ_TOP, cursor_size_ns, cursor.x, rect.top);
      if (edge == WMSZ_LEFT)
        return choose_edge(state, WMSZ_TOPLEFT, cursor_size_nwse, rect.left + inset, rect.top + inset);
      if (edge == WMSZ_RIGHT) return choose_edge(state, WMSZ_TOPRIGHT, cursor_size_nesw, rect.right - inset, rect.top);
      return sizing_key_step(state, window, cursor.x, cursor.y - key_step);
    case VK_RIGHT:
      if (edge == 0) return choose_edge(state, WMSZ_RIGHT, cursor_size_we, rect.right - inset, cursor.y);
      if (edge == WMSZ_TOP) return choose_edge(state, WMSZ_TOPRIGHT, cursor_size_nesw, rect.right - inset, rect.top);
      if (edge == WMSZ_BOTTOM)
        return choose_edge(state, WMSZ_BOTTOMRIGHT, cursor_size_nwse, rect.right - inset, rect.bottom - inset);
      return sizing_key_step(state, window, cursor.x + key_step, cursor.y);
    case VK_DOWN:
      if (edge == 0) return choose_edge(state, WMSZ_BOTTOM, cursor_size_ns, cursor.x, rect.bottom - inset);
      if (edge == WMSZ_LEFT)
        return choose_edge(state, WMSZ_BOTTOMLEFT, cursor_size_nesw, rect.left, rect.bottom - inset);
      if (edge == WMSZ_RIGHT)
        return choose_edge(state, WMSZ_BOTTOMRIGHT, cursor_size_nwse, rect.right - inset, rect.bottom - inset);
      return sizing_key_step(state, window, cursor.x, cursor.y + key_step);
    default: return;
  }
}

void end_loop(SizingLoopState* state, HWND window) {
  PostMessageA(window, WM_EXITSIZEMOVE, 0, 0);
  state->active = 0;
  state->window = nullptr;
  if (state->restore_cursor == 1) SetCursorPos(state->saved_cursor.x, state->saved_cursor.y);
  state->restore_cursor = 0;  // once, and not for a later loop that ends before it begins
}

// Ends the loop of the window by giving up the capture: WM_CAPTURECHANGED
// ends it. A loop that has not taken the capture yet never began and says
// nothing of an end; start_loop looks at the window again before it takes it.
void stop_loop(HWND window) {
  if (GetCapture() == window) ReleaseCapture();
}

LRESULT while_sizing(SizingLoopState* state, HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_MOUSEMOVE: {
      state->restore_cursor = 0;
      // Client coordinates of the capturing window, each a signed 16-bit value.
      POINT point{static_cast<SHORT>(LOWORD(lparam)), static_cast<SHORT>(HIWORD(lparam))};
      MapWindowPoints(window, nullptr, &point, 1);
      follow_point(state, window, point.x, point.y);
      return 0;
    }
    case WM_KEYDOWN:
      if (wparam == VK_RETURN || wparam == VK_ESCAPE) {
        // Both keep the size the window has now.
        ReleaseCapture();
        return 0;
      }
      // An arrow key also goes on to the translation and default processing.
      if (wparam == VK_LEFT || wparam == VK_UP || wparam == VK_RIGHT || wparam == VK_DOWN)
        arrow_key(state, window, wparam);
      return RESULT_DEFAULT;
    case WM_LBUTTONUP: ReleaseCapture(); return 0;
    case WM_CAPTURECHANGED:
      // Whoever took the capture away, the loop ends here.
      end_loop(state, window);
      return 0;
    case WM_SHOWWINDOW:
    case WM_ENABLE:
      // A hidden or disabled window can no longer be sized.
      if (wparam == FALSE) stop_loop(window);
      return RESULT_DEFAULT;
    case WM_WINDOWPOSCHANGED:
      if (reinterpret_cast<const WINDOWPOS*>(lparam)->flags & SWP_HIDEWINDOW) stop_loop(window);
      return RESULT_DEFAULT;
    case WM_DESTROY:
      // Not every system tells a destroyed window that it lost the capture.
      end_loop(state, window);
      if (GetCapture() == window) ReleaseCapture();
      return RESULT_DEFAULT;
    default: return RESULT_DEFAULT;
  }
}

}  // namespace

LRESULT sizing_loop_filter(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  SizingLoopState* state = sizing_state;
  if (state->active == 0) {
    if (message != WM_SYSCOMMAND || (wparam & 0xFFF0) != SC_SIZE) return RESULT_DEFAULT;
    return start_loop(state, window, wparam);
  }
  if (window != state->window && message == WM_SYSCOMMAND && (wparam & 0xFFF0) == SC_SIZE) {
    // Another window asks to be sized: this loop ends and the new one starts.
    stop_loop(state->window);
    return start_loop(state, window, wparam);
  }
  // Messages of other windows are theirs, the capture changes that the loop's
  // own SetCapture causes included.
  if (window != state->window) return RESULT_DEFAULT;
  return while_sizing(state, window, message, wparam, lparam);
}

void sizing_loop_route(MSG& message) {
  if (sizing_state->active == 0) return;
  if (message.message >= WM_KEYFIRST && message.message <= WM_KEYLAST) message.hwnd = sizing_state->window;
}

void place_sizing_cursor(WORD cursor_id, int x, int y) {
  SetCursorPos(x, y);
  set_sizing_cursor(cursor_id);
}

void apply_sizing_point(SizingLoopState* state, int x, int y) {
  RECT& rect = state->rect;
  const POINT min = state->limits.ptMinTrackSize;
  const POINT max = state->limits.ptMaxTrackSize;
  const LONG edge = state->edge;
  // The moving side follows the point; the opposite side stays where it is.
  if (moves_left(edge)) {
    const LONG left = edge == WMSZ_TOPLEFT ? x - inset : x;
    rect.left = rect.right - within_limits(rect.right - left, min.x, max.x);
  }
  if (moves_right(edge)) rect.right = rect.left + within_limits(x + inset - rect.left, min.x, max.x);
  if (moves_top(edge)) {
    const LONG top = edge == WMSZ_TOPLEFT ? y - inset : y;
    rect.top = rect.bottom - within_limits(rect.bottom - top, min.y, max.y);
  }
  if (moves_bottom(edge)) rect.bottom = rect.top + within_limits(y + inset - rect.top, min.y, max.y);
}

void move_window_to_rect(HWND window, int left, int top, int right, int bottom) {
  POINT corners[2] = {{left, top}, {right, bottom}};
  if (GetWindowLongA(window, GWL_STYLE) & WS_CHILD) MapWindowPoints(nullptr, GetParent(window), corners, 2);
  MoveWindow(window, corners[0].x, corners[0].y, corners[1].x - corners[0].x, corners[1].y - corners[0].y, TRUE);
}

void sizing_key_step(SizingLoopState* state, HWND window, int x, int y) {
  // Placing the cursor also brings the capturing window a mouse move, which
  // applies the same point once more.
  SetCursorPos(x, y);
  follow_point(state, window, x, y);
}
