// Tab focus navigation: the choice of the accelerator table for each
// retrieved message, and the search for the next or previous tab stop. A
// control reached by Tab gets its whole text selected when it says it takes a
// selection (DLGC_HASSETSEL), as Win32's dialog manager does for edit fields.

#include <cstring>

#include "toolkit_windows.h"
#include "toolkit_internal.h"

namespace {

constexpr const char* mdi_child_class = "MDI_ChildClass";

// Rich-edit controls answer EM_GETOPTIONS (WM_USER + 78) with their ECO_ flags.
constexpr UINT rich_edit_get_options = 0x44E;
constexpr LRESULT rich_edit_read_only = 0x800;

bool key_is_down(int virtual_key) { return GetKeyState(virtual_key) < 0; }

// Only the first four characters are read: enough to tell "Rich" from the rest.
bool is_editable_rich_edit(HWND window) {
  if (window == nullptr) return false;
  char prefix[5] = {};
  GetClassNameA(window, prefix, sizeof prefix);
  if (std::strncmp(prefix, "Rich", 4) != 0) return false;
  return (SendMessageA(window, rich_edit_get_options, 0, 0) & rich_edit_read_only) == 0;
}

bool is_mdi_child(HWND window) {
  char name[50] = {};
  GetClassNameA(window, name, sizeof name);
  return std::strcmp(name, mdi_child_class) == 0;
}

// The tests are made in this order, at the moment of the search.
bool is_eligible(HWND window) {
  return IsWindowEnabled(window) && IsWindowVisible(window) && (GetWindowLongA(window, GWL_STYLE) & WS_TABSTOP) != 0;
}

}  // namespace

void focus_control(HWND control) {
  SetFocus(control);
  // The focus change ran the control's and its parent's code: ask the window again.
  if (GetFocus() == control && (SendMessageA(control, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL))
    SendMessageA(control, EM_SETSEL, 0, -1);
}

namespace {

struct TabSearch {
  HWND current;    // the focused control, or null when the focus is outside the scope
  HWND previous;   // backward: the last eligible control seen so far
  bool take_next;  // forward: the next eligible control gets the focus
  bool done;       // backward: the focus has been moved
};

BOOL CALLBACK step_forward(HWND control, LPARAM data) {
  auto* search = reinterpret_cast<TabSearch*>(data);
  if (!is_eligible(control)) return TRUE;
  if (search->take_next) {
    focus_control(control);
    search->take_next = false;
    return FALSE;
  }
  if (search->current == nullptr) {
    focus_control(control);
    return FALSE;
  }
  if (control == search->current) search->take_next = true;
  return TRUE;
}

BOOL CALLBACK step_backward(HWND control, LPARAM data) {
  auto* search = reinterpret_cast<TabSearch*>(data);
  if (!is_eligible(control)) return TRUE;
  if (control == search->current && search->previous != nullptr) {
    focus_control(search->previous);
    search->done = true;
    return FALSE;
  }
  search->previous = control;
  return TRUE;
}

}  // namespace

HACCEL window_accelerator_table(HWND active_window) {
  bool plain_tab = key_is_down(VK_TAB) && !key_is_down(VK_CONTROL) && !key_is_down(VK_SHIFT) && !key_is_down(VK_MENU);
  if (plain_tab && is_editable_rich_edit(GetFocus())) return nullptr;

  if (active_window == nullptr) return nullptr;
  auto property = reinterpret_cast<ObjectNumber>(GetPropA(active_window, WINDOW_ID_PROPERTY));
  if (property == 0) return nullptr;  // not a toolkit window
  WindowRecord* record = window_record(property - 1);
  return record != nullptr ? record->accel_table : nullptr;
}

void focus_tab_stop(int direction) {
  HWND scope = GetActiveWindow();
  // Without an active window there is nothing to search (and enumerating the
  // children of no window would walk every top-level window instead).
  if (scope == nullptr) return;
  HWND focused = GetFocus();
  TabSearch search{};

  if (focused != nullptr && IsChild(scope, focused)) {
    search.current = focused;
    // The outermost MDI child on the way up becomes the scope.
    for (HWND window = focused; window != nullptr; window = GetParent(window)) {
      if (!is_mdi_child(window)) continue;
      scope = window;
      if (window == focused) search.current = nullptr;
    }
  }

  auto data = reinterpret_cast<LPARAM>(&search);
  if (direction != 0) {
    EnumChildWindows(scope, step_backward, data);
    // The first control was current, or current was none or no tab stop:
    // the last eligible control is the one before it.
    if (!search.done && search.previous != nullptr) focus_control(search.previous);
  } else {
    EnumChildWindows(scope, step_forward, data);
    // The current control was the last one: wrap around to the first.
    if (search.take_next) EnumChildWindows(scope, step_forward, data);
  }
}
