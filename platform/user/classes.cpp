// Window classes: RegisterClassA and its companions. Classes are looked up by
// name without regard to case, or by the atom RegisterClassA returned.
#include <windows.h>

#include <strings.h>

#include <list>

#include "controls/controls.h"
#include "user/window.h"

namespace user {
namespace {

struct Registered {
  WindowClass window_class;
  ATOM atom;
};

std::list<Registered>& classes() {
  static std::list<Registered> all;
  return all;
}

ATOM next_atom = 0xC000;

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
  for (Registered& entry : classes()) {
    if (IS_INTRESOURCE(name) ? entry.atom == static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name))
                             : strcasecmp(entry.window_class.name.c_str(), name) == 0) {
      return &entry.window_class;
    }
  }
  return nullptr;
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
  Registered entry;
  entry.window_class.name = wc->lpszClassName;
  entry.window_class.info = *wc;
  entry.window_class.info.lpszClassName = nullptr;  // the caller's string need not outlive the call
  entry.window_class.info.lpszMenuName = nullptr;
  entry.atom = next_atom++;
  classes().push_back(entry);
  return entry.atom;
}

BOOL WINAPI UnregisterClassA(LPCSTR class_name, HINSTANCE) {
  for (auto it = classes().begin(); it != classes().end(); ++it) {
    if (&it->window_class != find_class(class_name)) continue;
    if (it->window_class.windows > 0) {
      SetLastError(ERROR_CLASS_HAS_WINDOWS);
      return FALSE;
    }
    classes().erase(it);
    return TRUE;
  }
  SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
  return FALSE;
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
