// Keys become characters (TranslateMessage) and commands (accelerator tables).
#include <windows.h>

#include <cctype>
#include <cstring>
#include <vector>

#include "user/internal.h"
#include "user/keyboard_layout.h"

namespace user {
namespace {

struct Punctuation {
  int virtual_key;
  char plain;
  char shifted;
};

constexpr Punctuation punctuation[] = {
    {VK_SPACE, ' ', ' '},     {VK_OEM_1, ';', ':'},      {VK_OEM_PLUS, '=', '+'}, {VK_OEM_COMMA, ',', '<'},
    {VK_OEM_MINUS, '-', '_'}, {VK_OEM_PERIOD, '.', '>'}, {VK_OEM_2, '/', '?'},    {VK_OEM_3, '`', '~'},
    {VK_OEM_4, '[', '{'},     {VK_OEM_5, '\\', '|'},     {VK_OEM_6, ']', '}'},    {VK_OEM_7, '\'', '"'},
    {VK_RETURN, '\r', '\r'},  {VK_TAB, '\t', '\t'},      {VK_BACK, '\b', '\b'},   {VK_ESCAPE, 0x1b, 0x1b},
    {VK_MULTIPLY, '*', '*'},  {VK_ADD, '+', '+'},        {VK_SUBTRACT, '-', '-'}, {VK_DIVIDE, '/', '/'},
};

constexpr char shifted_digits[] = ")!@#$%^&*(";

struct AcceleratorTable {
  std::vector<ACCEL> entries;
};

}  // namespace

char character_of_key(int virtual_key, bool shift) {
  if (virtual_key >= 'A' && virtual_key <= 'Z')
    return static_cast<char>(shift ? virtual_key : virtual_key + ('a' - 'A'));
  if (virtual_key >= '0' && virtual_key <= '9')
    return shift ? shifted_digits[virtual_key - '0'] : static_cast<char>(virtual_key);
  if (virtual_key >= VK_NUMPAD0 && virtual_key <= VK_NUMPAD0 + 9)
    return static_cast<char>('0' + virtual_key - VK_NUMPAD0);
  for (const Punctuation& p : punctuation) {
    if (p.virtual_key == virtual_key) return shift ? p.shifted : p.plain;
  }
  return 0;
}

bool key_for_character(char c, int* virtual_key, bool* shift) {
  for (int key = 0; key < 256; ++key) {
    if (key >= VK_NUMPAD0 && key <= VK_DIVIDE) continue;  // the main keyboard's keys are preferred
    for (bool with_shift : {false, true}) {
      if (character_of_key(key, with_shift) == c && c != 0) {
        *virtual_key = key;
        *shift = with_shift;
        return true;
      }
    }
  }
  return false;
}

}  // namespace user

using namespace user;

// TranslateMessage: a key press that gives a character posts WM_CHAR (or
// WM_SYSCHAR with Alt), which is retrieved before the next input. Ctrl with a
// letter gives the control character.
BOOL WINAPI TranslateMessage(const MSG* msg) {
  if (msg == nullptr) return FALSE;
  UINT m = msg->message;
  if (m != WM_KEYDOWN && m != WM_SYSKEYDOWN && m != WM_KEYUP && m != WM_SYSKEYUP) return FALSE;
  if (m == WM_KEYUP || m == WM_SYSKEYUP) return TRUE;
  int key = static_cast<int>(msg->wParam);
  bool shift = GetKeyState(VK_SHIFT) < 0;
  bool control = GetKeyState(VK_CONTROL) < 0;
  if (GetKeyState(VK_CAPITAL) & 1) {
    if (key >= 'A' && key <= 'Z') shift = !shift;
  }
  char c = 0;
  if (control && key >= 'A' && key <= 'Z') {
    c = static_cast<char>(key - 'A' + 1);
  } else if (!control) {
    c = character_of_key(key, shift);
  }
  if (c != 0)
    post_message(msg->hwnd, m == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR, static_cast<unsigned char>(c), msg->lParam);
  return TRUE;
}

HACCEL WINAPI CreateAcceleratorTableA(LPACCEL entries, int count) {
  if (entries == nullptr || count <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto* table = new AcceleratorTable{std::vector<ACCEL>(entries, entries + count)};
  return reinterpret_cast<HACCEL>(table);
}

BOOL WINAPI DestroyAcceleratorTable(HACCEL handle) {
  delete reinterpret_cast<AcceleratorTable*>(handle);
  return handle != nullptr;
}

// TranslateAcceleratorA: a key message that matches an entry (the key, and
// exactly the Shift, Ctrl and Alt that the entry names) sends WM_COMMAND with
// high word 1 and the entry's command; the message is then consumed.
int WINAPI TranslateAcceleratorA(HWND window, HACCEL handle, LPMSG msg) {
  if (window == nullptr || handle == nullptr || msg == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  UINT m = msg->message;
  bool key_down = m == WM_KEYDOWN || m == WM_SYSKEYDOWN;
  bool character = m == WM_CHAR || m == WM_SYSCHAR;
  if (!key_down && !character) return 0;
  BYTE modifiers = 0;
  if (GetKeyState(VK_SHIFT) < 0) modifiers |= FSHIFT;
  if (GetKeyState(VK_CONTROL) < 0) modifiers |= FCONTROL;
  if (GetKeyState(VK_MENU) < 0) modifiers |= FALT;
  for (const ACCEL& entry : reinterpret_cast<AcceleratorTable*>(handle)->entries) {
    bool matched;
    if (entry.fVirt & FVIRTKEY) {
      matched = key_down && msg->wParam == entry.key && (entry.fVirt & (FSHIFT | FCONTROL | FALT)) == modifiers;
    } else {
      // Character entries match WM_CHAR; Alt must agree.
      matched = character && msg->wParam == entry.key && ((entry.fVirt & FALT) != 0) == ((modifiers & FALT) != 0);
    }
    if (!matched) continue;
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(entry.cmd, 1), 0);
    return 1;
  }
  return 0;
}

// CopyAcceleratorTableA: the number of entries when entries is null, else
// copies up to count of them and returns how many it copied.
int WINAPI CopyAcceleratorTableA(HACCEL handle, LPACCEL entries, int count) {
  auto* table = reinterpret_cast<AcceleratorTable*>(handle);
  if (table == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  const int size = static_cast<int>(table->entries.size());
  if (entries == nullptr) return size;
  const int copied = std::min(size, count);
  for (int i = 0; i < copied; ++i) entries[i] = table->entries[static_cast<std::size_t>(i)];
  return copied;
}
