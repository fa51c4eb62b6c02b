// The clipboard. Its text lives with the display (display.h): the X11 display
// shares it with the desktop's other programs through the CLIPBOARD selection,
// the headless one keeps it in the process. The other formats a program sets
// stay in the process. Whatever is set becomes the system's: it is freed when
// the clipboard is emptied.
#include <windows.h>

#include <cstring>
#include <map>
#include <string>

#include "display/display.h"

namespace {

struct Clipboard {
  bool open = false;
  HWND opened_by = nullptr;
  // What this program set since it last emptied the clipboard, by format.
  std::map<UINT, HANDLE> own;
  // The last text read from another program, valid until the next read or empty.
  HANDLE fetched = nullptr;
};

Clipboard clipboard;

bool refuse_unless_open() {
  if (clipboard.open) return false;
  SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
  return true;
}

void free_all() {
  for (auto& [format, memory] : clipboard.own) GlobalFree(memory);
  clipboard.own.clear();
  if (clipboard.fetched != nullptr) GlobalFree(clipboard.fetched);
  clipboard.fetched = nullptr;
}

// The text of a CF_TEXT block: up to its zero byte, within its size.
std::string text_of(HANDLE memory) {
  const SIZE_T size = GlobalSize(memory);
  const auto* bytes = static_cast<const char*>(GlobalLock(memory));
  if (bytes == nullptr) return {};
  std::string text(bytes, strnlen(bytes, size));
  GlobalUnlock(memory);
  return text;
}

// Whether the text set here is still the clipboard's (another program may
// have taken the clipboard since), given the clipboard's text.
bool own_text_holds(const std::optional<std::string>& shared) {
  auto found = clipboard.own.find(CF_TEXT);
  return found != clipboard.own.end() && shared && *shared == text_of(found->second);
}

}  // namespace

// OpenClipboard: the process has one thread, which may open it again (as
// Windows lets the thread that holds it); the window is the one EmptyClipboard
// makes the owner.
BOOL WINAPI OpenClipboard(HWND new_owner) {
  if (new_owner != nullptr && !IsWindow(new_owner)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  clipboard.open = true;
  clipboard.opened_by = new_owner;
  return TRUE;
}

BOOL WINAPI CloseClipboard() {
  if (refuse_unless_open()) return FALSE;
  clipboard.open = false;
  clipboard.opened_by = nullptr;
  return TRUE;
}

// EmptyClipboard: frees what was set and takes the clipboard from whoever held
// it, on X11 by owning the CLIPBOARD selection with no text to give.
BOOL WINAPI EmptyClipboard() {
  if (refuse_unless_open()) return FALSE;
  free_all();
  display::current().offer_clipboard(std::nullopt);
  return TRUE;
}

// SetClipboardData: the block becomes the clipboard's; CF_TEXT is offered to
// the display's programs at once. Rendering on request (a null block) is not
// offered by this layer.
HANDLE WINAPI SetClipboardData(UINT format, HANDLE memory) {
  if (refuse_unless_open()) return nullptr;
  if (memory == nullptr || GlobalSize(memory) == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HANDLE& slot = clipboard.own[format];
  if (slot != nullptr && slot != memory) GlobalFree(slot);
  slot = memory;
  if (format == CF_TEXT) display::current().offer_clipboard(text_of(memory));
  return memory;
}

// GetClipboardData: the program's own block while it holds the clipboard; a
// text another program holds is read from the display into a block of the
// clipboard's (on X11 a conversion of the CLIPBOARD selection to UTF8_STRING).
HANDLE WINAPI GetClipboardData(UINT format) {
  if (refuse_unless_open()) return nullptr;
  const std::optional<std::string> text = display::current().clipboard_text();
  if (format != CF_TEXT) {
    auto found = clipboard.own.find(format);
    return found != clipboard.own.end() && own_text_holds(text) ? found->second : nullptr;
  }
  if (own_text_holds(text)) return clipboard.own[CF_TEXT];
  if (!text) return nullptr;
  if (clipboard.fetched != nullptr) GlobalFree(clipboard.fetched);
  clipboard.fetched = GlobalAlloc(GMEM_MOVEABLE, text->size() + 1);
  if (clipboard.fetched == nullptr) return nullptr;
  std::memcpy(GlobalLock(clipboard.fetched), text->c_str(), text->size() + 1);
  GlobalUnlock(clipboard.fetched);
  return clipboard.fetched;
}

// IsClipboardFormatAvailable: needs no open clipboard. Text is there when the
// display has some; other formats only while this program's text holds.
BOOL WINAPI IsClipboardFormatAvailable(UINT format) {
  if (format == CF_TEXT) return display::current().clipboard_has_text();
  return clipboard.own.count(format) != 0 && own_text_holds(display::current().clipboard_text());
}
