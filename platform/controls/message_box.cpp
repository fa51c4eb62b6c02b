// MessageBoxA: a modal top-level window of the dialog class "#32770" with
// the caption, the text and a row of buttons. It disables its owner while it
// shows and runs a message loop of its own, in which every other window goes
// on painting and working; Enter presses the focused (or default) button,
// Escape and the close box cancel, Tab moves between the buttons, Ctrl+C
// copies the box.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "controls/controls.h"

namespace controls {
namespace {

struct ButtonSpec {
  int id;
  const char* label;
};

struct MessageBoxState {
  std::vector<ButtonSpec> buttons;
  std::vector<HWND> button_windows;
  int default_id = IDOK;
  int cancel_id = 0;  // the answer of Escape and the close box; 0 when they do nothing
  int result = 0;
  bool done = false;
};

constexpr int margin = 12;
constexpr int button_width = 75;
constexpr int button_height = 23;
constexpr int button_gap = 6;
constexpr int text_id = 0xFFFF;

bool button_set(UINT type, std::vector<ButtonSpec>* buttons, int* cancel_id) {
  switch (type & MB_TYPEMASK) {
    // Escape and the close box answer IDCANCEL even where there is no Cancel button to press, as in Wine.
    case MB_OK:
      *buttons = {{IDOK, "OK"}};
      *cancel_id = IDCANCEL;
      return true;
    case MB_OKCANCEL:
      *buttons = {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
      *cancel_id = IDCANCEL;
      return true;
    case MB_ABORTRETRYIGNORE:
      *buttons = {{IDABORT, "&Abort"}, {IDRETRY, "&Retry"}, {IDIGNORE, "&Ignore"}};
      *cancel_id = 0;
      return true;
    case MB_YESNOCANCEL:
      *buttons = {{IDYES, "&Yes"}, {IDNO, "&No"}, {IDCANCEL, "Cancel"}};
      *cancel_id = IDCANCEL;
      return true;
    case MB_YESNO:
      *buttons = {{IDYES, "&Yes"}, {IDNO, "&No"}};
      *cancel_id = 0;
      return true;
    case MB_RETRYCANCEL:
      *buttons = {{IDRETRY, "&Retry"}, {IDCANCEL, "Cancel"}};
      *cancel_id = IDCANCEL;
      return true;
    default: return false;
  }
}

void finish(MessageBoxState& state, int id) {
  if (state.done) return;
  state.result = id;
  state.done = true;
}

LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* state = state_of<MessageBoxState>(window);
  switch (message) {
    case WM_NCCREATE:
      attach_state(window, static_cast<MessageBoxState*>(reinterpret_cast<CREATESTRUCTA*>(lparam)->lpCreateParams));
      break;
    case WM_NCDESTROY: SetWindowLongPtrA(window, 0, 0); break;  // the state belongs to MessageBoxA
    case WM_COMMAND:
      if (state != nullptr && HIWORD(wparam) == BN_CLICKED && LOWORD(wparam) != text_id) finish(*state, LOWORD(wparam));
      return 0;
    case WM_CLOSE:
      if (state != nullptr && state->cancel_id != 0) finish(*state, state->cancel_id);
      return 0;
    default: break;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

std::string window_text(HWND window) {
  std::string text(static_cast<size_t>(GetWindowTextLengthA(window)) + 1, '\0');
  text.resize(static_cast<size_t>(GetWindowTextA(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

// Ctrl+C (and Ctrl+Insert) put the whole box on the clipboard as Windows lays
// it out: caption, text and the buttons' labels (without their '&'), each
// part between rules of 27 dashes, every line ending in CR LF and every label
// followed by three spaces.
void copy_box(HWND box, const MessageBoxState& state) {
  const std::string rule = "---------------------------\r\n";
  std::string labels;
  for (const ButtonSpec& spec : state.buttons) {
    for (const char* c = spec.label; *c != '\0'; ++c) {
      if (*c != '&') labels += *c;
    }
    labels += "   ";
  }
  const std::string copied = rule + window_text(box) + "\r\n" + rule + window_text(GetDlgItem(box, text_id)) + "\r\n" +
                             rule + labels + "\r\n" + rule;
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, copied.size() + 1);
  if (memory == nullptr) return;
  std::memcpy(GlobalLock(memory), copied.c_str(), copied.size() + 1);
  GlobalUnlock(memory);
  if (!OpenClipboard(box)) {
    GlobalFree(memory);
    return;
  }
  EmptyClipboard();
  if (SetClipboardData(CF_TEXT, memory) == nullptr) GlobalFree(memory);
  CloseClipboard();
}

// The keys a dialog answers itself. True when the message was used up.
bool dialog_key(HWND box, MessageBoxState& state, const MSG& msg) {
  if (msg.message != WM_KEYDOWN || (msg.hwnd != box && !IsChild(box, msg.hwnd))) return false;
  auto& windows = state.button_windows;
  auto focused = std::find(windows.begin(), windows.end(), GetFocus());
  switch (msg.wParam) {
    case VK_RETURN: {
      HWND button = focused != windows.end() ? *focused : GetDlgItem(box, state.default_id);
      SendMessageA(box, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED), reinterpret_cast<LPARAM>(button));
      return true;
    }
    case VK_ESCAPE:
      if (state.cancel_id != 0) SendMessageA(box, WM_COMMAND, MAKEWPARAM(state.cancel_id, BN_CLICKED), 0);
      return true;
    case VK_TAB:
    case VK_LEFT:
    case VK_RIGHT: {
      if (windows.empty()) return true;
      bool back = msg.wParam == VK_LEFT || (msg.wParam == VK_TAB && GetKeyState(VK_SHIFT) < 0);
      size_t index = focused == windows.end() ? 0 : static_cast<size_t>(focused - windows.begin());
      index = back ? (index + windows.size() - 1) % windows.size() : (index + 1) % windows.size();
      SetFocus(windows[index]);
      return true;
    }
    case 'C':
    case VK_INSERT:
      if (GetKeyState(VK_CONTROL) >= 0) return false;
      copy_box(box, state);
      return true;
    default: return false;
  }
}

// The box's window rectangle: the text's size and the buttons' row, centred on the owner or the screen.
RECT box_rect(HWND owner, const char* text, size_t button_count, DWORD style, DWORD ex_style, SIZE* text_size) {
  HDC dc = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  RECT measured{0, 0, GetSystemMetrics(SM_CXSCREEN) * 3 / 5, 0};
  DrawTextA(dc, text, -1, &measured, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
  DeleteDC(dc);
  *text_size = SIZE{measured.right, measured.bottom};
  int buttons_width = static_cast<int>(button_count) * button_width + static_cast<int>(button_count - 1) * button_gap;
  int width = std::max<int>({text_size->cx, buttons_width, 160}) + 2 * margin;
  int height = margin + text_size->cy + margin + button_height + margin;
  RECT outer{0, 0, width, height};
  AdjustWindowRectEx(&outer, style, FALSE, ex_style);
  RECT around{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (owner != nullptr) GetWindowRect(owner, &around);
  int w = outer.right - outer.left, h = outer.bottom - outer.top;
  int x = std::clamp<int>(around.left + (around.right - around.left - w) / 2, 0,
                          std::max(0, GetSystemMetrics(SM_CXSCREEN) - w));
  int y = std::clamp<int>(around.top + (around.bottom - around.top - h) / 2, 0,
                          std::max(0, GetSystemMetrics(SM_CYSCREEN) - h));
  return RECT{x, y, x + w, y + h};
}

}  // namespace

WNDPROC message_box_procedure() { return procedure; }

}  // namespace controls

using namespace controls;

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  MessageBoxState state;
  if (!button_set(type, &state.buttons, &state.cancel_id)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (owner != nullptr && !IsWindow(owner)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (owner != nullptr) owner = GetAncestor(owner, GA_ROOT);
  if (text == nullptr) text = "";
  if (caption == nullptr) caption = "Error";
  size_t default_index = std::min<size_t>((type & MB_DEFMASK) >> 8, state.buttons.size() - 1);
  state.default_id = state.buttons[default_index].id;

  DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS;
  DWORD ex_style = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CONTROLPARENT;
  SIZE text_size;
  RECT place = box_rect(owner, text, state.buttons.size(), style, ex_style, &text_size);
  HINSTANCE instance = GetModuleHandleA(nullptr);
  HWND box = CreateWindowExA(ex_style, "#32770", caption, style, place.left, place.top, place.right - place.left,
                             place.bottom - place.top, owner, nullptr, instance, &state);
  if (box == nullptr) return 0;
  HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  RECT client;
  GetClientRect(box, &client);
  HWND label =
      CreateWindowExA(0, "Static", text, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, margin, margin, text_size.cx,
                      text_size.cy, box, reinterpret_cast<HMENU>(static_cast<INT_PTR>(text_id)), instance, nullptr);
  SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  int count = static_cast<int>(state.buttons.size());
  int x = (client.right - (count * button_width + (count - 1) * button_gap)) / 2;
  int y = client.bottom - margin - button_height;
  for (const ButtonSpec& spec : state.buttons) {
    DWORD button_style =
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | (spec.id == state.default_id ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
    HWND button = CreateWindowExA(0, "Button", spec.label, button_style, x, y, button_width, button_height, box,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(spec.id)), instance, nullptr);
    SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    state.button_windows.push_back(button);
    x += button_width + button_gap;
  }

  bool owner_was_enabled = owner != nullptr && IsWindowEnabled(owner);
  if (owner_was_enabled) EnableWindow(owner, FALSE);
  // A mode such as a drag that holds the mouse ends before the box shows, as on Win32.
  if (GetCapture() != nullptr) SendMessageA(GetCapture(), WM_CANCELMODE, 0, 0);
  ShowWindow(box, SW_SHOW);
  SetFocus(GetDlgItem(box, state.default_id));

  // The box's own loop. A WM_QUIT ends it and is posted again for the program's loop.
  bool quit = false;
  WPARAM quit_code = 0;
  MSG msg;
  while (!state.done && IsWindow(box)) {
    BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got <= 0) {
      quit = got == 0;
      quit_code = msg.wParam;
      break;
    }
    if (dialog_key(box, state, msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  // The owner is enabled before the box goes, so that it becomes the active window again.
  if (owner_was_enabled && IsWindow(owner)) EnableWindow(owner, TRUE);
  if (IsWindow(box)) DestroyWindow(box);
  if (quit) PostQuitMessage(static_cast<int>(quit_code));
  return state.result;
}

// EndDialog: ends a message box's modal loop with the given result, as a
// click of a button with that id would.
BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
  auto* state = IsWindow(dialog) ? state_of<MessageBoxState>(dialog) : nullptr;
  if (state == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  finish(*state, static_cast<int>(result));
  return TRUE;
}
