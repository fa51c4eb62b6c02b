// Showing, moving and sizing windows, and the geometry calls. Every change of
// place, size or visibility goes through set_window_position, which sends
// WM_WINDOWPOSCHANGING before and WM_WINDOWPOSCHANGED after, as Win32 does;
// DefWindowProcA turns the latter into WM_MOVE and WM_SIZE.
#include <windows.h>

#include <algorithm>

#include "user/internal.h"

namespace user {
namespace {

// Internal flags of WINDOWPOS, as Windows uses them: the client area did not move or change size.
constexpr UINT swp_noclientsize = 0x0800;
constexpr UINT swp_noclientmove = 0x1000;

void show_state_changed(HWND handle, bool visible) {
  Window* window = find(handle);
  if (visible)
    window->style |= WS_VISIBLE;
  else
    window->style &= ~WS_VISIBLE;
  if (window->surface) {
    if (visible) describe_to_display(handle);
    display::current().show_surface(*window->surface, visible);
  }
  if (visible) {
    invalidate_frame(handle);
    invalidate_window(handle, nullptr, true, true);
  } else if (window->parent != nullptr) {
    invalidate_parent_area(window->parent, window->rect);
  }
}

}  // namespace

// WM_NCCALCSIZE: without a WINDOWPOS, the form CreateWindowExA sends, whose
// rectangle is in screen coordinates; with one, the form of a change of
// size, in parent client coordinates.
RECT ask_client_area(HWND handle, const RECT& window_rect, WINDOWPOS* pos) {
  Window* window = find(handle);
  POINT origin{0, 0};
  if (window->parent != nullptr) origin = client_origin(*find(window->parent));
  RECT answer = window_rect;
  if (pos == nullptr) {
    OffsetRect(&answer, origin.x, origin.y);
    SendMessageA(handle, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&answer));
    OffsetRect(&answer, -origin.x, -origin.y);
  } else {
    NCCALCSIZE_PARAMS params{{window_rect, window->rect, window->client}, pos};
    OffsetRect(&params.rgrc[2], window->rect.left, window->rect.top);
    SendMessageA(handle, WM_NCCALCSIZE, TRUE, reinterpret_cast<LPARAM>(&params));
    answer = params.rgrc[0];
  }
  OffsetRect(&answer, -window_rect.left, -window_rect.top);
  answer.right = std::max(answer.right, answer.left);
  answer.bottom = std::max(answer.bottom, answer.top);
  return answer;
}

void describe_to_display(HWND handle) {
  Window* window = find(handle);
  if (window == nullptr || !window->surface) return;
  display::SurfaceLook look;
  look.title = window->text;
  look.resizable = window->style & WS_THICKFRAME;
  look.icon = icon_images(window->window_class->info.hIcon);
  Window* owner = find(window->owner);
  if (owner != nullptr && owner->surface) look.owner = owner->surface.get();
  display::current().set_look(*window->surface, look);
}

void fill_min_max_info(HWND handle, MINMAXINFO* info) {
  Window* window = find(handle);
  *info = MINMAXINFO{};
  int frame = (window->style & WS_THICKFRAME) ? GetSystemMetrics(SM_CXFRAME) : GetSystemMetrics(SM_CXDLGFRAME);
  info->ptMaxSize = POINT{GetSystemMetrics(SM_CXMAXIMIZED), GetSystemMetrics(SM_CYMAXIMIZED)};
  info->ptMaxPosition = POINT{-frame, -frame};
  info->ptMinTrackSize = POINT{GetSystemMetrics(SM_CXMINTRACK), GetSystemMetrics(SM_CYMINTRACK)};
  info->ptMaxTrackSize = POINT{GetSystemMetrics(SM_CXMAXTRACK), GetSystemMetrics(SM_CYMAXTRACK)};
  SendMessageA(handle, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(info));
}

SIZE within_track_size(HWND handle, int width, int height) {
  MINMAXINFO limits;
  fill_min_max_info(handle, &limits);
  return SIZE{
      std::clamp<int>(width, limits.ptMinTrackSize.x, std::max(limits.ptMinTrackSize.x, limits.ptMaxTrackSize.x)),
      std::clamp<int>(height, limits.ptMinTrackSize.y, std::max(limits.ptMinTrackSize.y, limits.ptMaxTrackSize.y))};
}

bool set_window_position(HWND handle, int x, int y, int width, int height, UINT flags) {
  Window* window = find_or_fail(handle);
  if (window == nullptr) return false;
  RECT old_rect = window->rect;
  RECT old_client = window->client;
  WINDOWPOS pos{handle, nullptr, x, y, width, height, flags};
  if (flags & SWP_NOMOVE) {
    pos.x = old_rect.left;
    pos.y = old_rect.top;
  }
  if (flags & SWP_NOSIZE) {
    pos.cx = old_rect.right - old_rect.left;
    pos.cy = old_rect.bottom - old_rect.top;
  }
  SendMessageA(handle, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
  window = find(handle);
  if (window == nullptr) return false;
  pos.cx = std::max(pos.cx, 0);
  pos.cy = std::max(pos.cy, 0);
  const RECT new_rect{pos.x, pos.y, pos.x + pos.cx, pos.y + pos.cy};
  bool moved = old_rect.left != pos.x || old_rect.top != pos.y;
  bool resized = old_rect.right - old_rect.left != pos.cx || old_rect.bottom - old_rect.top != pos.cy;
  // A window that only moves keeps its client area where it is in it.
  if (resized || (flags & SWP_FRAMECHANGED)) {
    RECT client = ask_client_area(handle, new_rect, &pos);
    window = find(handle);
    if (window == nullptr) return false;
    window->client = client;
  }
  window->rect = new_rect;
  if (window->surface && (moved || resized)) display::current().move_surface(*window->surface, window->rect);
  if (resized || (moved && window->parent != nullptr)) {
    if (!(flags & SWP_NOREDRAW)) {
      invalidate_frame(handle);
      invalidate_window(handle, nullptr, true, true);
      if (window->parent != nullptr) invalidate_parent_area(window->parent, old_rect);
    }
  }
  if (flags & SWP_SHOWWINDOW) show_state_changed(handle, true);
  if (flags & SWP_HIDEWINDOW) {
    window_going_away(handle);
    if (IsWindow(handle)) show_state_changed(handle, false);
  }
  if (!IsWindow(handle)) return false;
  window = find(handle);
  if (!(flags & SWP_NOZORDER) && window->parent == nullptr) raise_top_level(handle);
  RECT new_client = window->client;
  bool client_moved = moved || old_client.left != new_client.left || old_client.top != new_client.top;
  bool client_sized = old_client.right - old_client.left != new_client.right - new_client.left ||
                      old_client.bottom - old_client.top != new_client.bottom - new_client.top;
  if (!client_moved) pos.flags |= swp_noclientmove;
  if (!client_sized) pos.flags |= swp_noclientsize;
  if (!moved) pos.flags |= SWP_NOMOVE;
  if (!resized) pos.flags |= SWP_NOSIZE;
  if (!(pos.flags & swp_noclientmove) || !(pos.flags & swp_noclientsize)) window->needs_size = false;
  SendMessageA(handle, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
  if ((flags & SWP_SHOWWINDOW) && !(flags & SWP_NOACTIVATE) && IsWindow(handle) && find(handle)->parent == nullptr) {
    activate_window(handle, false);
  }
  return true;
}

}  // namespace user

using namespace user;

// ShowWindow: WM_SHOWWINDOW, then the change itself; a shown top-level window
// is activated unless the command says otherwise. Returns the earlier visibility.
BOOL WINAPI ShowWindow(HWND handle, int command) {
  Window* window = find_or_fail(handle);
  if (window == nullptr) return FALSE;
  bool was_visible = window->style & WS_VISIBLE;
  bool show = command != SW_HIDE;
  UINT flags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER;
  bool activate =
      command != SW_SHOWNA && command != SW_SHOWNOACTIVATE && command != SW_SHOWMINNOACTIVE && command != SW_MINIMIZE;
  if (!activate || window->parent != nullptr)
    flags |= SWP_NOACTIVATE;
  else
    flags &= ~SWP_NOZORDER;
  RECT target = window->rect;
  DWORD new_state = window->style & ~(WS_MINIMIZE | WS_MAXIMIZE);
  if (command == SW_SHOWMAXIMIZED) {
    MINMAXINFO limits;
    fill_min_max_info(handle, &limits);
    target = RECT{limits.ptMaxPosition.x, limits.ptMaxPosition.y, limits.ptMaxPosition.x + limits.ptMaxSize.x,
                  limits.ptMaxPosition.y + limits.ptMaxSize.y};
    new_state |= WS_MAXIMIZE;
    flags &= ~(SWP_NOMOVE | SWP_NOSIZE);
  } else if (command == SW_SHOWMINIMIZED || command == SW_MINIMIZE || command == SW_SHOWMINNOACTIVE) {
    new_state |= WS_MINIMIZE;
  }
  if (show == was_visible &&
      (find(handle)->style & (WS_MINIMIZE | WS_MAXIMIZE)) == (new_state & (WS_MINIMIZE | WS_MAXIMIZE))) {
    if (show && activate && window->parent == nullptr) activate_window(handle, false);
    return was_visible;
  }
  const bool state_changed = (window->style & (WS_MINIMIZE | WS_MAXIMIZE)) != (new_state & (WS_MINIMIZE | WS_MAXIMIZE));
  SendMessageA(handle, WM_SHOWWINDOW, show, 0);
  window = find(handle);
  if (window == nullptr) return was_visible;
  // A child of a hidden window only changes its style, as on Win32: nothing
  // of it is on the screen before or after.
  if (window->parent != nullptr && !state_changed && !IsWindowVisible(window->parent)) {
    if (show) {
      window->style |= WS_VISIBLE;
    } else {
      window->style &= ~WS_VISIBLE;
      window_going_away(handle);
    }
    return was_visible;
  }
  bool minimise = new_state & WS_MINIMIZE;
  window->style = new_state | (window->style & WS_VISIBLE);
  flags |= show && !minimise ? SWP_SHOWWINDOW : SWP_HIDEWINDOW;
  if (show && !minimise && was_visible) flags &= ~SWP_SHOWWINDOW;
  if (!show && !was_visible) flags &= ~SWP_HIDEWINDOW;
  set_window_position(handle, target.left, target.top, target.right - target.left, target.bottom - target.top, flags);
  // A window is told its size and place first when it is first shown, as on Windows.
  window = find(handle);
  if (window != nullptr && window->needs_size && show && !minimise) {
    window->needs_size = false;
    RECT client = window->client;
    SendMessageA(handle, WM_SIZE, (window->style & WS_MAXIMIZE) ? SIZE_MAXIMIZED : SIZE_RESTORED,
                 MAKELPARAM(client.right - client.left, client.bottom - client.top));
    if (IsWindow(handle))
      SendMessageA(handle, WM_MOVE, 0, MAKELPARAM(window->rect.left + client.left, window->rect.top + client.top));
  } else if (window != nullptr && state_changed && show && !minimise && (flags & SWP_NOSIZE)) {
    // Restoring a minimised window keeps its rectangle, yet Windows still tells it its size.
    RECT client = window->client;
    SendMessageA(handle, WM_SIZE, (window->style & WS_MAXIMIZE) ? SIZE_MAXIMIZED : SIZE_RESTORED,
                 MAKELPARAM(client.right - client.left, client.bottom - client.top));
  }
  if (minimise && IsWindow(handle)) {
    find(handle)->style |= WS_VISIBLE;  // a minimised window counts as visible, it only has no picture here
    SendMessageA(handle, WM_SIZE, SIZE_MINIMIZED, 0);
  }
  return was_visible;
}

BOOL WINAPI MoveWindow(HWND handle, int x, int y, int width, int height, BOOL repaint) {
  return set_window_position(handle, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL WINAPI SetWindowPos(HWND handle, HWND, int x, int y, int cx, int cy, UINT flags) {
  Window* window = find_or_fail(handle);
  if (window == nullptr) return FALSE;
  if ((flags & SWP_SHOWWINDOW) && (window->style & WS_VISIBLE)) flags &= ~SWP_SHOWWINDOW;
  if ((flags & SWP_HIDEWINDOW) && !(window->style & WS_VISIBLE)) flags &= ~SWP_HIDEWINDOW;
  return set_window_position(handle, x, y, cx, cy, flags);
}

BOOL WINAPI BringWindowToTop(HWND handle) {
  if (find_or_fail(handle) == nullptr) return FALSE;
  raise_top_level(top_level_of(handle));
  return TRUE;
}

// EnableWindow: a disabled window loses the focus, though a child of it
// keeps it, as on Win32. Returns whether it was disabled before.
BOOL WINAPI EnableWindow(HWND handle, BOOL enable) {
  Window* window = find_or_fail(handle);
  if (window == nullptr) return FALSE;
  bool was_disabled = window->style & WS_DISABLED;
  if (enable && was_disabled) {
    window->style &= ~WS_DISABLED;
    SendMessageA(handle, WM_ENABLE, TRUE, 0);
  } else if (!enable && !was_disabled) {
    SendMessageA(handle, WM_CANCELMODE, 0, 0);  // ends a capture the window may hold
    window = find(handle);
    if (window == nullptr) return FALSE;
    window->style |= WS_DISABLED;
    if (GetFocus() == handle) SetFocus(nullptr);
    if (!IsWindow(handle)) return FALSE;
    SendMessageA(handle, WM_ENABLE, FALSE, 0);
  }
  return was_disabled;
}

BOOL WINAPI GetWindowRect(HWND handle, LPRECT rect) {
  Window* window = find_or_fail(handle);
  if (window == nullptr || rect == nullptr) return FALSE;
  *rect = screen_rect(*window);
  return TRUE;
}

BOOL WINAPI GetClientRect(HWND handle, LPRECT rect) {
  Window* window = find_or_fail(handle);
  if (window == nullptr || rect == nullptr) return FALSE;
  *rect = RECT{0, 0, window->client.right - window->client.left, window->client.bottom - window->client.top};
  return TRUE;
}

// MapWindowPoints: from one window's client coordinates to another's (none
// is the screen). Returns the offset, x in the low word and y in the high.
int WINAPI MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count) {
  POINT offset{0, 0};
  if (from != nullptr) {
    Window* window = find_or_fail(from);
    if (window == nullptr) return 0;
    POINT origin = client_origin(*window);
    offset.x += origin.x;
    offset.y += origin.y;
  }
  if (to != nullptr) {
    Window* window = find_or_fail(to);
    if (window == nullptr) return 0;
    POINT origin = client_origin(*window);
    offset.x -= origin.x;
    offset.y -= origin.y;
  }
  for (UINT i = 0; i < count; ++i) {
    points[i].x += offset.x;
    points[i].y += offset.y;
  }
  SetLastError(ERROR_SUCCESS);
  return MAKELONG(static_cast<WORD>(offset.x), static_cast<WORD>(offset.y));
}

BOOL WINAPI ClientToScreen(HWND handle, LPPOINT point) {
  if (find_or_fail(handle) == nullptr || point == nullptr) return FALSE;
  MapWindowPoints(handle, nullptr, point, 1);
  return TRUE;
}

BOOL WINAPI ScreenToClient(HWND handle, LPPOINT point) {
  if (find_or_fail(handle) == nullptr || point == nullptr) return FALSE;
  MapWindowPoints(nullptr, handle, point, 1);
  return TRUE;
}

BOOL WINAPI AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL menu, DWORD ex_style) {
  if (rect == nullptr) return FALSE;
  RECT insets;
  frame_thickness(style, ex_style, &insets);
  rect->left -= insets.left;
  rect->top -= insets.top;
  rect->right += insets.right;
  rect->bottom += insets.bottom;
  if (menu) rect->top -= GetSystemMetrics(SM_CYMENU) + 1;
  return TRUE;
}

BOOL WINAPI AdjustWindowRect(LPRECT rect, DWORD style, BOOL menu) { return AdjustWindowRectEx(rect, style, menu, 0); }
