// What a window holds for its owner: the GetWindowLong values, the extra
// bytes, properties and the window text.
#include <windows.h>

#include <cctype>
#include <cstring>

#include "user/internal.h"

namespace user {

// Property names are atoms on Windows, so they compare without case; an
// integer atom (MAKEINTATOM) gets a name of its own that no string can have.
std::string property_key(const char* name) {
  if (IS_INTRESOURCE(name)) return "#atom" + std::to_string(reinterpret_cast<ULONG_PTR>(name));
  std::string key(name);
  for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return key;
}

}  // namespace user

using namespace user;

namespace {

constexpr DWORD error_invalid_index = 1413;

bool is_pointer_index(int index) {
  return index == GWLP_WNDPROC || index == GWLP_HINSTANCE || index == GWLP_HWNDPARENT;
}

bool extra_range(const Window& window, int index, size_t size) {
  return index >= 0 && static_cast<size_t>(index) + size <= window.extra.size();
}

LONG_PTR get_long(HWND handle, int index, size_t size) {
  Window* window = find_or_fail(handle);
  if (window == nullptr) return 0;
  if (index >= 0) {
    if (!extra_range(*window, index, size)) {
      SetLastError(error_invalid_index);
      return 0;
    }
    if (size == sizeof(LONG)) {
      LONG value;
      std::memcpy(&value, window->extra.data() + index, size);
      return value;
    }
    LONG_PTR value;
    std::memcpy(&value, window->extra.data() + index, size);
    return value;
  }
  switch (index) {
    case GWL_STYLE: return static_cast<LONG>(window->style);
    case GWL_EXSTYLE: return static_cast<LONG>(window->ex_style);
    case GWLP_ID: return window->id;
    case GWLP_USERDATA: return window->user_data;
    case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(window->procedure);
    case GWLP_HINSTANCE: return reinterpret_cast<LONG_PTR>(window->instance);
    case GWLP_HWNDPARENT: return reinterpret_cast<LONG_PTR>(window->parent != nullptr ? window->parent : window->owner);
    default: SetLastError(error_invalid_index); return 0;
  }
}

LONG_PTR set_long(HWND handle, int index, LONG_PTR value, size_t size) {
  Window* window = find_or_fail(handle);
  if (window == nullptr) return 0;
  LONG_PTR previous = get_long(handle, index, size);
  if (index >= 0) {
    if (!extra_range(*window, index, size)) return 0;
    if (size == sizeof(LONG)) {
      LONG narrow = static_cast<LONG>(value);
      std::memcpy(window->extra.data() + index, &narrow, size);
    } else {
      std::memcpy(window->extra.data() + index, &value, size);
    }
    return previous;
  }
  switch (index) {
    case GWL_STYLE: window->style = static_cast<DWORD>(value); break;
    case GWL_EXSTYLE: window->ex_style = static_cast<DWORD>(value); break;
    case GWLP_ID: window->id = value; break;
    case GWLP_USERDATA: window->user_data = value; break;
    case GWLP_WNDPROC: window->procedure = reinterpret_cast<WNDPROC>(value); break;
    case GWLP_HINSTANCE: window->instance = reinterpret_cast<HINSTANCE>(value); break;
    case GWLP_HWNDPARENT:
      if (window->parent == nullptr) window->owner = top_level_of(reinterpret_cast<HWND>(value));
      break;
    default: return 0;
  }
  SetLastError(ERROR_SUCCESS);  // a previous value of 0 is then told apart from a failure
  return previous;
}

}  // namespace

// The 32-bit forms refuse the indices of pointer-sized values, as on 64-bit Windows.
LONG WINAPI GetWindowLongA(HWND handle, int index) {
  if (is_pointer_index(index)) {
    SetLastError(error_invalid_index);
    return 0;
  }
  return static_cast<LONG>(get_long(handle, index, sizeof(LONG)));
}

LONG WINAPI SetWindowLongA(HWND handle, int index, LONG value) {
  if (is_pointer_index(index)) {
    SetLastError(error_invalid_index);
    return 0;
  }
  return static_cast<LONG>(set_long(handle, index, value, sizeof(LONG)));
}

LONG_PTR WINAPI GetWindowLongPtrA(HWND handle, int index) { return get_long(handle, index, sizeof(LONG_PTR)); }

LONG_PTR WINAPI SetWindowLongPtrA(HWND handle, int index, LONG_PTR value) {
  return set_long(handle, index, value, sizeof(LONG_PTR));
}

BOOL WINAPI SetPropA(HWND handle, LPCSTR name, HANDLE data) {
  Window* window = find_or_fail(handle);
  if (window == nullptr || name == nullptr) return FALSE;
  window->properties[property_key(name)] = data;
  return TRUE;
}

HANDLE WINAPI GetPropA(HWND handle, LPCSTR name) {
  Window* window = find(handle);
  if (window == nullptr || name == nullptr) return nullptr;
  auto it = window->properties.find(property_key(name));
  return it == window->properties.end() ? nullptr : it->second;
}

HANDLE WINAPI RemovePropA(HWND handle, LPCSTR name) {
  Window* window = find(handle);
  if (window == nullptr || name == nullptr) return nullptr;
  auto it = window->properties.find(property_key(name));
  if (it == window->properties.end()) return nullptr;
  HANDLE data = it->second;
  window->properties.erase(it);
  return data;
}

// The text calls go through the window's procedure, so a control can keep its text its own way.
BOOL WINAPI SetWindowTextA(HWND handle, LPCSTR text) {
  if (find_or_fail(handle) == nullptr) return FALSE;
  return SendMessageA(handle, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != 0;
}

int WINAPI GetWindowTextA(HWND handle, LPSTR text, int size) {
  if (text != nullptr && size > 0) text[0] = '\0';
  if (find_or_fail(handle) == nullptr || text == nullptr || size <= 0) return 0;
  return static_cast<int>(SendMessageA(handle, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(text)));
}

int WINAPI GetWindowTextLengthA(HWND handle) {
  if (find_or_fail(handle) == nullptr) return 0;
  return static_cast<int>(SendMessageA(handle, WM_GETTEXTLENGTH, 0, 0));
}
