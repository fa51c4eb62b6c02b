// The window system's records: classes and windows, and the lookups that
// every unit of user32 shares. Internal to the platform.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "display/display.h"

namespace user {

struct WindowClass {
  std::string name;  // as registered; looked up without regard to case
  WNDCLASSA info{};
  int windows = 0;  // live windows of the class
};

struct Window {
  HWND handle = nullptr;
  WindowClass* window_class = nullptr;
  DWORD style = 0;
  DWORD ex_style = 0;
  HWND parent = nullptr;       // null for a top-level window
  HWND owner = nullptr;        // top-level windows only
  std::vector<HWND> children;  // creation order
  LONG_PTR id = 0;             // GWLP_ID; a top-level window's menu
  LONG_PTR user_data = 0;
  HINSTANCE instance = nullptr;
  WNDPROC procedure = nullptr;
  std::string text;
  std::map<std::string, HANDLE> properties;  // names compared without case, stored upper-cased
  std::vector<unsigned char> extra;          // cbWndExtra bytes

  RECT rect{};    // parent client coordinates (screen for a top-level window)
  RECT client{};  // window coordinates: where the client area lies in rect

  // Painting state, in client coordinates.
  RECT update{};
  bool needs_paint = false;
  bool needs_erase = false;
  bool needs_frame = false;
  bool internal_paint = false;
  bool active_frame = false;  // the caption is drawn active

  HFONT font = nullptr;    // WM_SETFONT of windows that keep no font of their own
  bool needs_size = true;  // WM_SIZE and WM_MOVE are still due: the first showing sends them
  bool destroying = false;
  bool sent_destroy = false;
  std::unique_ptr<display::Surface> surface;  // top-level windows
};

Window* find(HWND handle);
Window* find_or_fail(HWND handle);  // sets ERROR_INVALID_WINDOW_HANDLE when absent
HWND top_level_of(HWND handle);     // the window itself for a top-level one
// Every top-level window, bottom of the stack first.
const std::vector<HWND>& top_levels();
void raise_top_level(HWND handle);

// The window's rectangle in screen coordinates, and the screen origin of its client area.
RECT screen_rect(const Window& window);
POINT client_origin(const Window& window);

WindowClass* find_class(const char* name);
void release_class(WindowClass* window_class);

// True when the window and all its ancestors are visible.
bool really_visible(const Window& window);

std::string property_key(const char* name);

}  // namespace user
