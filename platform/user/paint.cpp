// Painting: update rectangles, WM_PAINT made up for windows that need it,
// BeginPaint with WM_NCPAINT and WM_ERASEBKGND, and the DCs of windows. A
// window keeps the bounding rectangle of what was invalidated. Invalidating
// a window also invalidates the children it covers, since a child's pixels
// live in the same top-level image and the parent paints under them.
#include <windows.h>

#include "gdi/dc.h"
#include "user/internal.h"

namespace user {
namespace {

RECT client_bounds(const Window& window) {
  return RECT{0, 0, window.client.right - window.client.left, window.client.bottom - window.client.top};
}

// Where the window's (0, 0) client or window point lies in its top-level image, and its visible part there.
void placement_in_image(const Window& window, bool whole_window, POINT* origin, RECT* clip) {
  Window* top = find(top_level_of(window.handle));
  RECT top_rect = top->rect;
  RECT own = screen_rect(window);
  POINT client = client_origin(window);
  *origin = whole_window ? POINT{own.left - top_rect.left, own.top - top_rect.top}
                         : POINT{client.x - top_rect.left, client.y - top_rect.top};
  *clip = whole_window ? own
                       : RECT{client.x, client.y, client.x + window.client.right - window.client.left,
                              client.y + window.client.bottom - window.client.top};
  for (Window* w = window.parent ? find(window.parent) : nullptr; w != nullptr;
       w = w->parent ? find(w->parent) : nullptr) {
    POINT o = client_origin(*w);
    RECT area{o.x, o.y, o.x + w->client.right - w->client.left, o.y + w->client.bottom - w->client.top};
    IntersectRect(clip, clip, &area);
  }
  OffsetRect(clip, -top_rect.left, -top_rect.top);
}

HDC open_window_dc(HWND handle, bool whole_window, const RECT* client_limit) {
  Window* window = find_or_fail(handle);
  if (window == nullptr) return nullptr;
  Window* top = find(top_level_of(handle));
  POINT origin;
  RECT clip;
  placement_in_image(*window, whole_window, &origin, &clip);
  if (client_limit != nullptr) {
    RECT limit = *client_limit;
    OffsetRect(&limit, origin.x, origin.y);
    IntersectRect(&clip, &clip, &limit);
  }
  return gdi::open_dc(handle, top->surface->image(), origin, clip);
}

bool needs_paint(const Window& window) { return window.needs_paint || window.needs_frame || window.internal_paint; }

HWND search_paint(HWND handle, HWND filter) {
  Window* window = find(handle);
  if (!(window->style & WS_VISIBLE) || (window->style & WS_MINIMIZE)) return nullptr;
  if (needs_paint(*window) && (filter == nullptr || handle == filter || IsChild(filter, handle))) return handle;
  for (HWND child : window->children) {
    HWND found = search_paint(child, filter);
    if (found != nullptr) return found;
  }
  return nullptr;
}

void update_now(HWND handle, bool children) {
  Window* window = find(handle);
  if (window == nullptr || !really_visible(*window)) return;
  if (needs_paint(*window)) SendMessageA(handle, WM_PAINT, 0, 0);
  window = find(handle);
  if (window == nullptr || !children) return;
  std::vector<HWND> list = window->children;
  for (HWND child : list) update_now(child, true);
}

}  // namespace

void invalidate_window(HWND handle, const RECT* client_rect, bool erase, bool children) {
  Window* window = find(handle);
  if (window == nullptr) return;
  RECT area = client_bounds(*window);
  if (client_rect != nullptr && !IntersectRect(&area, &area, client_rect)) return;
  UnionRect(&window->update, &window->update, &area);
  window->needs_paint = true;
  window->needs_erase = window->needs_erase || erase;
  note_paint_needed();
  if (!children) return;
  for (HWND child : window->children) {
    Window* c = find(child);
    RECT inside;
    if (!IntersectRect(&inside, &area, &c->rect)) continue;
    OffsetRect(&inside, -c->rect.left - c->client.left, -c->rect.top - c->client.top);
    if (c->client.left > 0 || c->client.top > 0) c->needs_frame = true;
    invalidate_window(child, &inside, erase, true);
  }
}

void invalidate_frame(HWND handle) {
  Window* window = find(handle);
  if (window == nullptr) return;
  window->needs_frame = true;
  note_paint_needed();
}

void invalidate_parent_area(HWND parent, const RECT& parent_client_rect) {
  invalidate_window(parent, &parent_client_rect, true, true);
}

HWND window_needing_paint(HWND filter) {
  const std::vector<HWND>& stack = top_levels();
  for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
    HWND found = search_paint(*it, filter);
    if (found != nullptr) return found;
  }
  return nullptr;
}

void present_window(HWND handle, const RECT& drawn_for, const RECT& changed) {
  Window* top = find(top_level_of(handle));
  if (top == nullptr || !top->surface) return;
  const RECT image{0, 0, top->rect.right - top->rect.left, top->rect.bottom - top->rect.top};
  RECT area, within;
  if (!IntersectRect(&area, &image, &drawn_for)) return;
  IntersectRect(&within, &area, &changed);
  display::current().present(*top->surface, area, within);
}

}  // namespace user

using namespace user;

BOOL WINAPI InvalidateRect(HWND handle, const RECT* rect, BOOL erase) {
  if (find_or_fail(handle) == nullptr) return FALSE;
  invalidate_window(handle, rect, erase, true);
  return TRUE;
}

BOOL WINAPI ValidateRect(HWND handle, const RECT* rect) {
  return RedrawWindow(handle, rect, nullptr, RDW_VALIDATE | RDW_NOCHILDREN);
}

BOOL WINAPI RedrawWindow(HWND handle, const RECT* rect, HRGN, UINT flags) {
  Window* window = find_or_fail(handle);
  if (window == nullptr) return FALSE;
  bool children = (flags & RDW_ALLCHILDREN) || !(flags & RDW_NOCHILDREN);
  if (flags & RDW_INVALIDATE) {
    invalidate_window(handle, rect, flags & RDW_ERASE, children);
    if (flags & RDW_FRAME) invalidate_frame(handle);
  }
  window = find(handle);
  if (flags & RDW_INTERNALPAINT) {
    window->internal_paint = true;
    note_paint_needed();
  }
  if (flags & RDW_VALIDATE) {
    RECT bounds = client_bounds(*window);
    RECT area = bounds;
    if (rect != nullptr) IntersectRect(&area, &bounds, rect);
    RECT remaining;
    // Only a validation that covers the whole update rectangle can clear it; a part leaves it as it is.
    if (rect == nullptr || (UnionRect(&remaining, &window->update, &area) && EqualRect(&remaining, &area))) {
      window->needs_paint = false;
      window->update = RECT{};
      window->needs_erase = false;
    }
    if (flags & RDW_NOFRAME) window->needs_frame = false;
  }
  if (flags & RDW_NOERASE) window->needs_erase = false;
  if (flags & RDW_NOINTERNALPAINT) window->internal_paint = false;
  if (flags & RDW_UPDATENOW) update_now(handle, children);
  return TRUE;
}

BOOL WINAPI UpdateWindow(HWND handle) {
  if (find_or_fail(handle) == nullptr) return FALSE;
  update_now(handle, true);
  return TRUE;
}

BOOL WINAPI GetUpdateRect(HWND handle, LPRECT rect, BOOL) {
  Window* window = find_or_fail(handle);
  if (window == nullptr) return FALSE;
  if (rect != nullptr) *rect = window->needs_paint ? window->update : RECT{};
  return window->needs_paint && !IsRectEmpty(&window->update);
}

// BeginPaint: draws the frame if it is due, erases through WM_ERASEBKGND if
// asked to, validates, and returns a DC clipped to what was invalid.
HDC WINAPI BeginPaint(HWND handle, LPPAINTSTRUCT paint) {
  Window* window = find_or_fail(handle);
  if (window == nullptr || paint == nullptr) return nullptr;
  if (window->needs_frame) {
    window->needs_frame = false;
    SendMessageA(handle, WM_NCPAINT, 1, 0);
    window = find(handle);
    if (window == nullptr) return nullptr;
  }
  *paint = PAINTSTRUCT{};
  paint->rcPaint = window->needs_paint ? window->update : RECT{};
  bool erase = window->needs_erase;
  window->needs_paint = false;
  window->needs_erase = false;
  window->internal_paint = false;
  window->update = RECT{};
  paint->hdc = open_window_dc(handle, false, &paint->rcPaint);
  if (erase && paint->hdc != nullptr)
    paint->fErase = SendMessageA(handle, WM_ERASEBKGND, reinterpret_cast<WPARAM>(paint->hdc), 0) == 0;
  return paint->hdc;
}

BOOL WINAPI EndPaint(HWND handle, const PAINTSTRUCT* paint) {
  if (paint == nullptr) return FALSE;
  RECT changed;
  RECT drawn_for = gdi::close_dc(paint->hdc, &changed);
  if (IsWindow(handle)) present_window(handle, drawn_for, changed);
  return TRUE;
}

HDC WINAPI GetDC(HWND handle) {
  if (handle == nullptr) return CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  return open_window_dc(handle, false, nullptr);
}

HDC WINAPI GetWindowDC(HWND handle) { return open_window_dc(handle, true, nullptr); }

int WINAPI ReleaseDC(HWND handle, HDC dc) {
  if (gdi::dc_from(dc) == nullptr) return 0;
  RECT changed;
  RECT drawn_for = gdi::close_dc(dc, &changed);
  if (handle != nullptr && IsWindow(handle)) present_window(handle, drawn_for, changed);
  return 1;
}
