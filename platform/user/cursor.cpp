// Cursors and icons: the system's shared ones, known by resource id, and the
// program's own icons from the table its build links in.
#include <windows.h>

#include <map>

#include "platform_driver.h"
#include "platform_resources.h"
#include "user/internal.h"

namespace user {
namespace {

struct SharedImage {
  int id;
  UINT type;
};

HANDLE shared(UINT type, LPCSTR name) {
  static std::map<std::pair<UINT, int>, SharedImage> images;
  if (!IS_INTRESOURCE(name)) return nullptr;
  int id = static_cast<int>(reinterpret_cast<ULONG_PTR>(name));
  bool known =
      type == IMAGE_CURSOR ? (id >= 32512 && id <= 32516) || (id >= 32640 && id <= 32651) : id >= 32512 && id <= 32518;
  if (!known) return nullptr;
  auto it = images.try_emplace({type, id}, SharedImage{id, type}).first;
  return &it->second;
}

HCURSOR current_cursor = nullptr;

// The handle of a program icon is its entry in the table.
HICON program_icon(HINSTANCE instance, LPCSTR name) {
  if (instance != GetModuleHandleA(nullptr) || !IS_INTRESOURCE(name) || platform_program_icons == nullptr)
    return nullptr;
  const int id = static_cast<int>(reinterpret_cast<ULONG_PTR>(name));
  for (const PlatformIconResource* icon = platform_program_icons; icon->id != 0; ++icon) {
    if (icon->id == id) return reinterpret_cast<HICON>(const_cast<PlatformIconResource*>(icon));
  }
  return nullptr;
}

}  // namespace

std::vector<std::span<const unsigned char>> icon_images(HICON icon) {
  std::vector<std::span<const unsigned char>> images;
  if (platform_program_icons == nullptr) return images;
  for (const PlatformIconResource* entry = platform_program_icons; entry->id != 0; ++entry) {
    if (reinterpret_cast<HICON>(const_cast<PlatformIconResource*>(entry)) != icon) continue;
    for (std::size_t i = 0; i < entry->count; ++i) images.emplace_back(entry->images[i].png, entry->images[i].size);
  }
  return images;
}

void update_cursor_shape(HWND window, int hit) {
  static const struct {
    int hit;
    int cursor;
  } sizing[] = {{HTLEFT, 32644},    {HTRIGHT, 32644},       {HTTOP, 32645},      {HTBOTTOM, 32645},
                {HTTOPLEFT, 32642}, {HTBOTTOMRIGHT, 32642}, {HTTOPRIGHT, 32643}, {HTBOTTOMLEFT, 32643}};
  for (const auto& s : sizing) {
    if (s.hit == hit) {
      SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(s.cursor)));
      return;
    }
  }
  Window* w = find(window);
  HCURSOR cursor = hit == HTCLIENT && w != nullptr ? w->window_class->info.hCursor : LoadCursorA(nullptr, IDC_ARROW);
  if (cursor != nullptr) SetCursor(cursor);
}

}  // namespace user

using namespace user;

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
  HANDLE image = instance == nullptr ? shared(IMAGE_CURSOR, name) : nullptr;
  if (image == nullptr) SetLastError(1814);  // ERROR_RESOURCE_NAME_NOT_FOUND
  return static_cast<HCURSOR>(image);
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
  HANDLE image = instance == nullptr ? shared(IMAGE_ICON, name) : program_icon(instance, name);
  if (image == nullptr) SetLastError(1814);
  return static_cast<HICON>(image);
}

HANDLE WINAPI LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int, int, UINT load) {
  if (instance != nullptr || !(load & LR_SHARED) || (type != IMAGE_CURSOR && type != IMAGE_ICON)) {
    SetLastError(1814);
    return nullptr;
  }
  HANDLE image = shared(type, name);
  if (image == nullptr) SetLastError(1814);
  return image;
}

HCURSOR WINAPI SetCursor(HCURSOR cursor) {
  HCURSOR previous = current_cursor;
  current_cursor = cursor;
  if (cursor != previous)
    display::current().set_cursor(cursor == nullptr ? 0 : reinterpret_cast<SharedImage*>(cursor)->id);
  return previous;
}

HCURSOR WINAPI GetCursor() { return current_cursor; }

int platform_driver_cursor_shape() {
  return current_cursor == nullptr ? 0 : reinterpret_cast<SharedImage*>(current_cursor)->id;
}
