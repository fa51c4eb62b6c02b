// The system classes' registration, what the controls share, and the
// start-up calls of the common controls and of COM.
#include "controls/controls.h"

#include <commctrl.h>
#include <ole2.h>

namespace controls {

void register_system_classes() {
  struct Entry {
    const char* name;
    WNDPROC procedure;
    UINT style;
    LPCSTR cursor;
    HBRUSH background;
  };
  const Entry entries[] = {
      {"Static", static_procedure(), CS_DBLCLKS | CS_PARENTDC, IDC_ARROW, nullptr},
      {"Edit", edit_procedure(), CS_DBLCLKS | CS_PARENTDC, IDC_IBEAM, nullptr},
      {"Button", button_procedure(), CS_DBLCLKS | CS_VREDRAW | CS_HREDRAW | CS_PARENTDC, IDC_ARROW, nullptr},
      {"msctls_progress32", progress_procedure(), CS_VREDRAW | CS_HREDRAW, IDC_ARROW, nullptr},
      {"#32770", message_box_procedure(), CS_SAVEBITS | CS_DBLCLKS, IDC_ARROW,
       reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1)},
  };
  for (const Entry& entry : entries) {
    WNDCLASSA wc{};
    wc.style = entry.style | CS_GLOBALCLASS;
    wc.lpfnWndProc = entry.procedure;
    wc.cbWndExtra = state_bytes;
    wc.hCursor = LoadCursorA(nullptr, entry.cursor);
    wc.hbrBackground = entry.background;
    wc.lpszClassName = entry.name;
    RegisterClassA(&wc);
  }
}

void notify_parent(HWND control, WORD code) {
  HWND parent = GetParent(control);
  if (parent == nullptr) return;
  SendMessageA(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code), reinterpret_cast<LPARAM>(control));
}

HBRUSH parent_colours(HWND control, UINT message, HDC dc) {
  HWND parent = GetParent(control);
  if (parent == nullptr) parent = control;
  auto brush = reinterpret_cast<HBRUSH>(
      SendMessageA(parent, message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control)));
  if (brush == nullptr) {
    brush = reinterpret_cast<HBRUSH>(
        DefWindowProcA(parent, message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control)));
  }
  return brush;
}

LRESULT paint_message(HWND window, WPARAM wparam, void (*paint)(HWND, HDC)) {
  if (wparam != 0) {
    paint(window, reinterpret_cast<HDC>(wparam));
    return 0;
  }
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  paint(window, dc);
  EndPaint(window, &ps);
  return 0;
}

HFONT font_or_default(HFONT font) { return font != nullptr ? font : static_cast<HFONT>(GetStockObject(SYSTEM_FONT)); }

}  // namespace controls

// The controls are registered when the program starts, so there is nothing
// left to do here; like Windows, it succeeds for any class set.
void WINAPI InitCommonControls() {}

BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* init) {
  if (init == nullptr || init->dwSize != sizeof(INITCOMMONCONTROLSEX)) return FALSE;
  return TRUE;
}

// CoInitialize: the first call of the thread starts COM (S_OK); later calls
// only count (S_FALSE), and each is matched by a CoUninitialize.
namespace {
int com_users = 0;
}

HRESULT WINAPI CoInitialize(LPVOID) { return com_users++ == 0 ? S_OK : S_FALSE; }

void WINAPI CoUninitialize() {
  if (com_users > 0) --com_users;
}

// RevokeDragDrop: nothing here registers drop targets, so a window is never
// registered; a handle that names no window is refused first.
HRESULT WINAPI RevokeDragDrop(HWND window) {
  if (!IsWindow(window)) return DRAGDROP_E_INVALIDHWND;
  return DRAGDROP_E_NOTREGISTERED;
}
