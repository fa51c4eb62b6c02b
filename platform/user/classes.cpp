// Window classes: RegisterClassA and its companions. Classes are looked up by
// name without regard to case, or by the atom RegisterClassA returned.
#include <windows.h>

#include <cctype>
#include <map>
#include <string>
#include <vector>

#include "controls/controls.h"
#include "user/window.h"

namespace user {
namespace {

struct Registered {
  WindowClass window_class;
  ATOM atom;
};

// Classes by upper-cased name; a node's place never changes, so windows keep pointers to their class.
std::map<std::string, Registered>& classes() {
  static std::map<std::string, Registered> all;
  return all;
}

// Class atoms are 0xC000 to 0xFFFF, as Win32's string atoms are: a freed atom
// serves again, and only a full table refuses a class.
constexpr ATOM first_atom = 0xC000;
constexpr size_t atom_count = 0x4000;

std::vector<Registered*>& atoms() {
  static std::vector<Registered*> table(atom_count, nullptr);
  return table;
}

size_t next_atom = 0;  // where the search for a free atom starts

std::string key_of(const char* name) {
  std::string key = name;
  for (char& c : key) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return key;
}

// The system's classes exist before the program's first look at any class,
// as they do on Windows: a plain program gets them without asking.
void ensure_system_classes() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  controls::register_system_classes();
}

}  // namespace

WindowClass* find_class(const char* name) {
  ensure_system_classes();
  if (name == nullptr) return nullptr;
  if (IS_INTRESOURCE(name)) {
    size_t index = static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name)) - size_t{first_atom};
    Registered* entry = index < atom_count ? atoms()[index] : nullptr;
    return entry == nullptr ? nullptr : &entry->window_class;
  }
  auto it = classes().find(key_of(name));
  return it == classes().end() ? nullptr : &it->second.window_class;
}

void release_class(WindowClass* window_class) {
  if (window_class != nullptr) --window_class->windows;
}

}  // namespace user

using namespace user;

ATOM WINAPI RegisterClassA(const WNDCLASSA* wc) {
  ensure_system_classes();
  if (wc == nullptr || wc->lpszClassName == nullptr || IS_INTRESOURCE(wc->lpszClassName) ||
      wc->lpfnWndProc == nullptr || wc->cbClsExtra < 0 || wc->cbWndExtra < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (find_class(wc->lpszClassName) != nullptr) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  std::vector<Registered*>& table = atoms();
  size_t free = 0;
  while (free < atom_count && table[(next_atom + free) % atom_count] != nullptr) ++free;
  if (free == atom_count) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  size_t index = (next_atom + free) % atom_count;
  next_atom = index + 1;
  Registered& entry = classes()[key_of(wc->lpszClassName)];
  entry.window_class.name = wc->lpszClassName;
  entry.window_class.info = *wc;
  entry.window_class.info.lpszClassName = nullptr;  // the caller's string need not outlive the call
  entry.window_class.info.lpszMenuName = nullptr;
  entry.atom = static_cast<ATOM>(first_atom + index);
  table[index] = &entry;
  return entry.atom;
}

BOOL WINAPI UnregisterClassA(LPCSTR class_name, HINSTANCE) {
  WindowClass* window_class = find_class(class_name);
  if (window_class == nullptr) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  if (window_class->windows > 0) {
    SetLastError(ERROR_CLASS_HAS_WINDOWS);
    return FALSE;
  }
  auto it = classes().find(key_of(window_class->name.c_str()));
  atoms()[it->second.atom - first_atom] = nullptr;
  classes().erase(it);
  return TRUE;
}

BOOL WINAPI GetClassInfoA(HINSTANCE, LPCSTR class_name, LPWNDCLASSA wc) {
  WindowClass* window_class = find_class(class_name);
  if (window_class == nullptr || wc == nullptr) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  *wc = window_class->info;
  wc->lpszClassName = window_class->name.c_str();
  return TRUE;
}

// GetClassNameA: the name as registered, cut to fit, always terminated.
int WINAPI GetClassNameA(HWND handle, LPSTR name, int size) {
  Window* window = find_or_fail(handle);
  if (window == nullptr || name == nullptr || size <= 0) return 0;
  const std::string& full = window->window_class->name;
  int length = static_cast<int>(std::min<size_t>(full.size(), static_cast<size_t>(size - 1)));
  full.copy(name, static_cast<size_t>(length));
  name[length] = '\0';
  return length;
}

ULONG_PTR WINAPI GetClassLongPtrA(HWND handle, int index) {
  Window* window = find_or_fail(handle);
  if (window == nullptr) return 0;
  const WNDCLASSA& info = window->window_class->info;
  switch (index) {
    case GCLP_HCURSOR: return reinterpret_cast<ULONG_PTR>(info.hCursor);
    case GCLP_HICON: return reinterpret_cast<ULONG_PTR>(info.hIcon);
    case GCLP_HBRBACKGROUND: return reinterpret_cast<ULONG_PTR>(info.hbrBackground);
    case GCL_STYLE: return info.style;
    default: SetLastError(ERROR_INVALID_PARAMETER); return 0;
  }
}

ULONG_PTR WINAPI SetClassLongPtrA(HWND handle, int index, LONG_PTR value) {
  Window* window = find_or_fail(handle);
  if (window == nullptr) return 0;
  WNDCLASSA& info = window->window_class->info;
  ULONG_PTR previous = GetClassLongPtrA(handle, index);
  switch (index) {
    case GCLP_HCURSOR: info.hCursor = reinterpret_cast<HCURSOR>(value); break;
    case GCLP_HICON: info.hIcon = reinterpret_cast<HICON>(value); break;
    case GCLP_HBRBACKGROUND: info.hbrBackground = reinterpret_cast<HBRUSH>(value); break;
    case GCL_STYLE: info.style = static_cast<UINT>(value); break;
    default: return 0;
  }
  return previous;
}
