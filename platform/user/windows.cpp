// Windows and their tree: CreateWindowExA, DestroyWindow, the parent, owner
// and child relations and their enumeration.
#include <windows.h>

#include <strings.h>

#include <algorithm>
#include <unordered_map>

#include "user/internal.h"

namespace user {
namespace {

std::unordered_map<HWND, std::unique_ptr<Window>>& windows() {
  static std::unordered_map<HWND, std::unique_ptr<Window>> all;
  return all;
}

std::vector<HWND> top_level_stack;  // bottom first

ULONG_PTR next_handle = 0x10020;

// Handles are never reused, so a stale handle is always recognised as one.
HWND new_handle() {
  next_handle += 4;
  return reinterpret_cast<HWND>(next_handle);
}

void unlink(Window& window) {
  std::vector<HWND>& list = window.parent != nullptr ? find(window.parent)->children : top_level_stack;
  list.erase(std::remove(list.begin(), list.end(), window.handle), list.end());
}

// WM_DESTROY goes to the window first, then to its children.
void send_destroy(HWND handle) {
  Window* window = find(handle);
  if (window == nullptr || window->sent_destroy) return;
  window->sent_destroy = true;
  SendMessageA(handle, WM_DESTROY, 0, 0);
  window = find(handle);
  if (window == nullptr) return;
  std::vector<HWND> children = window->children;
  for (HWND child : children) send_destroy(child);
}

// WM_NCDESTROY goes to the children first, then to the window, which is then freed.
void free_window(HWND handle) {
  Window* window = find(handle);
  if (window == nullptr) return;
  std::vector<HWND> children = window->children;
  for (HWND child : children) free_window(child);
  SendMessageA(handle, WM_NCDESTROY, 0, 0);
  window = find(handle);
  if (window == nullptr) return;
  unlink(*window);
  release_class(window->window_class);
  purge_messages(handle);
  kill_timers_of(handle);
  forget_capture_of(handle);
  windows().erase(handle);
}

// WM_PARENTNOTIFY: a child tells its parent of its creation and destruction,
// unless it was made with WS_EX_NOPARENTNOTIFY.
void notify_parent(HWND handle, UINT event) {
  Window* window = find(handle);
  if (window == nullptr || window->parent == nullptr || (window->ex_style & WS_EX_NOPARENTNOTIFY)) return;
  SendMessageA(window->parent, WM_PARENTNOTIFY, MAKEWPARAM(event, static_cast<WORD>(window->id)),
               reinterpret_cast<LPARAM>(handle));
}

}  // namespace

Window* find(HWND handle) {
  auto it = windows().find(handle);
  return it == windows().end() ? nullptr : it->second.get();
}

Window* find_or_fail(HWND handle) {
  Window* window = find(handle);
  if (window == nullptr) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return window;
}

HWND top_level_of(HWND handle) {
  Window* window = find(handle);
  while (window != nullptr && window->parent != nullptr) window = find(window->parent);
  return window == nullptr ? nullptr : window->handle;
}

const std::vector<HWND>& top_levels() { return top_level_stack; }

void raise_top_level(HWND handle) {
  auto it = std::find(top_level_stack.begin(), top_level_stack.end(), handle);
  if (it == top_level_stack.end()) return;
  top_level_stack.erase(it);
  top_level_stack.push_back(handle);
  Window* window = find(handle);
  if (window->surface) display::current().raise_surface(*window->surface);
}

RECT screen_rect(const Window& window) {
  RECT rect = window.rect;
  if (window.parent != nullptr) {
    POINT origin = client_origin(*find(window.parent));
    OffsetRect(&rect, origin.x, origin.y);
  }
  return rect;
}

POINT client_origin(const Window& window) {
  RECT rect = screen_rect(window);
  return POINT{rect.left + window.client.left, rect.top + window.client.top};
}

bool really_visible(const Window& window) {
  for (const Window* w = &window; w != nullptr; w = w->parent ? find(w->parent) : nullptr) {
    if (!(w->style & WS_VISIBLE)) return false;
  }
  return true;
}

namespace {

// The window's place in the tree. A child window needs its parent; any other
// window given a "parent" is owned by that window's top-level window and has
// no parent. False, with the last error set, for a parent that is no window.
bool find_parent_and_owner(DWORD style, HWND& parent, HWND& owner) {
  owner = nullptr;
  if (style & WS_CHILD) {
    if (find(parent) == nullptr) {
      SetLastError(parent == nullptr ? 1406 : ERROR_INVALID_WINDOW_HANDLE);  // ERROR_TLW_WITH_WSCHILD
      return false;
    }
  } else if (parent != nullptr) {
    owner = top_level_of(parent);
    if (owner == nullptr) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return false;
    }
    parent = nullptr;
  }
  return true;
}

// The styles that Windows adds: overlapped windows always have a caption, as
// on Windows, and a framed top-level window a raised edge.
void add_implied_styles(DWORD& style, DWORD& ex_style) {
  if (!(style & (WS_CHILD | WS_POPUP))) style |= WS_CLIPSIBLINGS | WS_CAPTION;
  if (!(style & WS_CHILD) && ((style & (WS_DLGFRAME | WS_THICKFRAME)) || (ex_style & WS_EX_DLGMODALFRAME))) {
    ex_style |= WS_EX_WINDOWEDGE;
  }
}

// CW_USEDEFAULT for the place and the size.
void place_by_default(bool overlapped, int& x, int& y, int& width, int& height) {
  if (x == CW_USEDEFAULT) {
    // Top-level windows cascade from the screen's top-left corner; y is ignored.
    static int cascade = 0;
    x = y = overlapped ? 32 + 24 * (cascade++ % 8) : 0;
  }
  if (width == CW_USEDEFAULT) {
    SIZE screen = display::current().screen_size();
    width = overlapped ? screen.cx * 3 / 4 : 0;
    height = overlapped ? screen.cy * 3 / 4 : 0;
  }
}

// The window's record, hidden for now, linked into the tree: at the end of
// its parent's children, or on top of the top-level windows with a surface
// of its own.
HWND add_window(WindowClass* window_class, const CREATESTRUCTA& create, HWND parent, HWND owner) {
  auto owned = std::make_unique<Window>();
  Window& window = *owned;
  window.handle = new_handle();
  window.window_class = window_class;
  window.style = static_cast<DWORD>(create.style) & ~WS_VISIBLE;
  window.ex_style = create.dwExStyle;
  window.parent = parent;
  window.owner = owner;
  window.id = reinterpret_cast<LONG_PTR>(create.hMenu);
  window.instance = create.hInstance;
  window.procedure = window_class->info.lpfnWndProc;
  window.extra.assign(static_cast<size_t>(window_class->info.cbWndExtra), 0);
  window.rect = RECT{create.x, create.y, create.x + std::max(create.cx, 0), create.y + std::max(create.cy, 0)};
  window.client = client_area_for(window.style, window.ex_style, create.cx, create.cy);
  HWND handle = window.handle;
  ++window_class->windows;
  windows().emplace(handle, std::move(owned));
  if (parent != nullptr) {
    find(parent)->children.push_back(handle);
  } else {
    top_level_stack.push_back(handle);
    window.surface = display::current().create_surface(handle, window.rect);
  }
  return handle;
}

// A window that can be sized, and every overlapped one, starts within its
// tracking size (WM_GETMINMAXINFO), and WM_NCCREATE and WM_CREATE are told
// that size.
void fit_to_track_size(HWND handle, CREATESTRUCTA& create) {
  const SIZE size = within_track_size(handle, create.cx, create.cy);
  create.cx = size.cx;
  create.cy = size.cy;
  Window* w = find(handle);
  w->rect.right = w->rect.left + create.cx;
  w->rect.bottom = w->rect.top + create.cy;
  w->client = client_area_for(w->style, w->ex_style, create.cx, create.cy);
  if (w->surface) display::current().move_surface(*w->surface, w->rect);
}

// WM_NCCREATE, then WM_NCCALCSIZE for the client area. False when the
// window is gone: refused (it then gets only WM_NCDESTROY, and the error is
// ERROR_INVALID_PARAMETER) or destroyed by its procedure.
bool send_nccreate(HWND handle, CREATESTRUCTA& create) {
  if (!SendMessageA(handle, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create))) {
    free_window(handle);
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (find(handle) == nullptr) return false;
  RECT client = ask_client_area(handle, find(handle)->rect, nullptr);
  if (find(handle) == nullptr) return false;
  find(handle)->client = client;
  return true;
}

// WM_CREATE. A window refused by it gets only WM_NCDESTROY, as on Windows.
bool send_create(HWND handle, CREATESTRUCTA& create) {
  if (SendMessageA(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
    free_window(handle);
    return false;
  }
  return true;
}

// WM_SIZE and WM_MOVE: a child or pop-up window is told its size and place at
// once; an overlapped one, or one made minimised or maximised, when first
// shown.
void send_first_size(HWND handle, DWORD style, bool overlapped) {
  if (overlapped || (style & (WS_MINIMIZE | WS_MAXIMIZE)) || !IsWindow(handle)) return;
  Window* w = find(handle);
  w->needs_size = false;
  SendMessageA(handle, WM_SIZE, SIZE_RESTORED,
               MAKELPARAM(w->client.right - w->client.left, w->client.bottom - w->client.top));
  w = find(handle);
  if (w != nullptr)
    SendMessageA(handle, WM_MOVE, 0, MAKELPARAM(w->rect.left + w->client.left, w->rect.top + w->client.top));
}

}  // namespace
}  // namespace user

using namespace user;

// The stages as on Windows: the window's record, its size within its
// tracking size, WM_NCCREATE, WM_CREATE, the first size messages,
// WM_PARENTNOTIFY, and ShowWindow for WS_VISIBLE. The window's procedure
// may destroy it at any of them; then nothing is returned.
HWND WINAPI CreateWindowExA(DWORD ex_style, LPCSTR class_name, LPCSTR title, DWORD style, int x, int y, int width,
                            int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  WindowClass* window_class = find_class(class_name);
  if (window_class == nullptr) {
    SetLastError(1407);  // ERROR_CANNOT_FIND_WND_CLASS
    return nullptr;
  }
  HWND owner = nullptr;
  if (!find_parent_and_owner(style, parent, owner)) return nullptr;
  add_implied_styles(style, ex_style);
  const bool overlapped = !(style & (WS_CHILD | WS_POPUP));
  place_by_default(overlapped, x, y, width, height);

  CREATESTRUCTA create{param,      instance, menu, parent != nullptr ? parent : owner, height,
                       width,      y,        x,    static_cast<LONG>(style),           title,
                       class_name, ex_style};
  HWND handle = add_window(window_class, create, parent, owner);
  if ((style & WS_THICKFRAME) || overlapped) fit_to_track_size(handle, create);

  if (!send_nccreate(handle, create)) return nullptr;
  if (!send_create(handle, create)) return nullptr;
  send_first_size(handle, style, overlapped);
  notify_parent(handle, WM_CREATE);
  if (!IsWindow(handle)) return nullptr;
  if (style & WS_VISIBLE)
    ShowWindow(handle, (style & WS_MINIMIZE) ? SW_SHOWMINIMIZED : (style & WS_MAXIMIZE) ? SW_SHOWMAXIMIZED : SW_SHOW);
  return IsWindow(handle) ? handle : nullptr;
}

BOOL WINAPI DestroyWindow(HWND handle) {
  Window* window = find_or_fail(handle);
  if (window == nullptr) return FALSE;
  if (window->destroying) return TRUE;
  window->destroying = true;
  notify_parent(handle, WM_DESTROY);
  window = find(handle);
  if (window == nullptr) return TRUE;
  if (window->style & WS_VISIBLE) {
    if (window->parent != nullptr) {
      ShowWindow(handle, SW_HIDE);
    } else {
      set_window_position(handle, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
    }
  }
  if (!IsWindow(handle)) return TRUE;
  // Owned windows go first.
  std::vector<HWND> owned;
  for (HWND top : top_level_stack) {
    if (find(top)->owner == handle) owned.push_back(top);
  }
  for (HWND top : owned) DestroyWindow(top);
  window_going_away(handle);
  send_destroy(handle);
  free_window(handle);
  return TRUE;
}

BOOL WINAPI IsWindow(HWND handle) { return find(handle) != nullptr; }

BOOL WINAPI IsWindowVisible(HWND handle) {
  Window* window = find(handle);
  return window != nullptr && really_visible(*window);
}

BOOL WINAPI IsWindowEnabled(HWND handle) {
  Window* window = find(handle);
  return window != nullptr && !(window->style & WS_DISABLED);
}

BOOL WINAPI IsIconic(HWND handle) {
  Window* window = find(handle);
  return window != nullptr && (window->style & WS_MINIMIZE);
}

BOOL WINAPI IsZoomed(HWND handle) {
  Window* window = find(handle);
  return window != nullptr && (window->style & WS_MAXIMIZE);
}

BOOL WINAPI IsChild(HWND parent, HWND handle) {
  Window* window = find(handle);
  while (window != nullptr && window->parent != nullptr) {
    if (window->parent == parent) return TRUE;
    window = find(window->parent);
  }
  return FALSE;
}

// GetParent: the parent of a child window, the owner of a pop-up, else none.
HWND WINAPI GetParent(HWND handle) {
  Window* window = find_or_fail(handle);
  if (window == nullptr) return nullptr;
  if (window->style & WS_CHILD) return window->parent;
  if (window->style & WS_POPUP) return window->owner;
  return nullptr;
}

HWND WINAPI GetAncestor(HWND handle, UINT flags) {
  Window* window = find_or_fail(handle);
  if (window == nullptr) return nullptr;
  switch (flags) {
    case GA_PARENT: return window->parent != nullptr ? window->parent : GetDesktopWindow();
    case GA_ROOT: return top_level_of(handle);
    case GA_ROOTOWNER: {
      HWND root = top_level_of(handle);
      while (find(root)->owner != nullptr) root = find(root)->owner;
      return root;
    }
    default: return nullptr;
  }
}

HWND WINAPI GetDesktopWindow() { return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x10010)); }

HWND WINAPI SetParent(HWND handle, HWND parent) {
  Window* window = find_or_fail(handle);
  Window* new_parent = find(parent);
  if (window == nullptr || new_parent == nullptr || window->parent == nullptr) return nullptr;
  HWND previous = window->parent;
  unlink(*window);
  window->parent = parent;
  new_parent->children.push_back(handle);
  invalidate_window(handle, nullptr, true, true);
  return previous;
}

HWND WINAPI GetWindow(HWND handle, UINT relation) {
  Window* window = find_or_fail(handle);
  if (window == nullptr) return nullptr;
  if (relation == GW_OWNER) return window->owner;
  if (relation == GW_CHILD) return window->children.empty() ? nullptr : window->children.front();
  // Siblings in z-order, top first: children in creation order, top-level windows top of the stack first.
  std::vector<HWND> siblings = window->parent != nullptr ? find(window->parent)->children : top_level_stack;
  if (window->parent == nullptr) std::reverse(siblings.begin(), siblings.end());
  auto it = std::find(siblings.begin(), siblings.end(), handle);
  switch (relation) {
    case GW_HWNDFIRST: return siblings.front();
    case GW_HWNDLAST: return siblings.back();
    case GW_HWNDNEXT: return it + 1 == siblings.end() ? nullptr : *(it + 1);
    case GW_HWNDPREV: return it == siblings.begin() ? nullptr : *(it - 1);
    default: SetLastError(ERROR_INVALID_PARAMETER); return nullptr;
  }
}

// EnumWindows: top-level windows from the top of the stack down.
BOOL WINAPI EnumWindows(WNDENUMPROC callback, LPARAM param) {
  std::vector<HWND> list(top_level_stack.rbegin(), top_level_stack.rend());
  for (HWND handle : list) {
    if (IsWindow(handle) && !callback(handle, param)) return FALSE;
  }
  return TRUE;
}

namespace {

void collect_descendants(HWND parent, std::vector<HWND>& out) {
  for (HWND child : find(parent)->children) {
    out.push_back(child);
    collect_descendants(child, out);
  }
}

}  // namespace

// EnumChildWindows: every descendant, each child followed by its own descendants.
// The list is taken first, so windows may be destroyed during the enumeration.
BOOL WINAPI EnumChildWindows(HWND parent, WNDENUMPROC callback, LPARAM param) {
  if (find(parent) == nullptr) return FALSE;
  std::vector<HWND> list;
  collect_descendants(parent, list);
  for (HWND handle : list) {
    if (IsWindow(handle) && !callback(handle, param)) break;
  }
  return TRUE;
}

HWND WINAPI GetDlgItem(HWND parent, int id) {
  Window* window = find_or_fail(parent);
  if (window == nullptr) return nullptr;
  for (HWND child : window->children) {
    if (static_cast<int>(find(child)->id) == id) return child;
  }
  SetLastError(1421);  // ERROR_CONTROL_ID_NOT_FOUND
  return nullptr;
}

int WINAPI GetDlgCtrlID(HWND handle) {
  Window* window = find_or_fail(handle);
  return window == nullptr ? 0 : static_cast<int>(window->id);
}

DWORD WINAPI GetWindowThreadProcessId(HWND handle, LPDWORD process_id) {
  if (find_or_fail(handle) == nullptr) return 0;
  if (process_id != nullptr) *process_id = GetCurrentProcessId();
  return GetCurrentThreadId();
}

namespace {

bool same_without_case(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

}  // namespace

// FindWindowExA: the first child of parent after child_after (the desktop's
// top-level windows when parent is none) whose class and text match; a null
// class or text matches every window.
HWND WINAPI FindWindowExA(HWND parent, HWND child_after, LPCSTR class_name, LPCSTR window_name) {
  std::vector<HWND> candidates;
  if (parent == nullptr) {
    candidates.assign(top_level_stack.rbegin(), top_level_stack.rend());
  } else {
    Window* window = find_or_fail(parent);
    if (window == nullptr) return nullptr;
    candidates = window->children;
  }
  auto it = candidates.begin();
  if (child_after != nullptr) {
    it = std::find(candidates.begin(), candidates.end(), child_after);
    if (it == candidates.end()) return nullptr;
    ++it;
  }
  for (; it != candidates.end(); ++it) {
    Window* window = find(*it);
    if (window == nullptr) continue;
    if (class_name != nullptr && !IS_INTRESOURCE(class_name) &&
        !same_without_case(window->window_class->name, class_name)) {
      continue;
    }
    if (window_name != nullptr && window->text != window_name) continue;
    return *it;
  }
  return nullptr;
}

// EnumThreadWindows: every top-level window; all of them belong to the one GUI thread.
BOOL WINAPI EnumThreadWindows(DWORD thread_id, WNDENUMPROC callback, LPARAM param) {
  if (thread_id != GetCurrentThreadId()) return FALSE;
  return EnumWindows(callback, param);
}
