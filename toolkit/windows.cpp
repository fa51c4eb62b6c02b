// Numbered top-level windows: each with a class of its own, the property that
// leads back to its record, and the two Tab accelerator entries.
#include <algorithm>
#include <charconv>

#include "toolkit_windows.h"
#include "toolkit_internal.h"

ObjectRegistry* window_registry = nullptr;

namespace {

constexpr DWORD centring_flags = WINDOW_SCREEN_CENTERED | WINDOW_PARENT_CENTERED;

HICON class_icon = nullptr;
HCURSOR class_cursor = nullptr;

// "WindowClass_%d" with the number in signed decimal.
struct ClassName {
  char text[40];
  explicit ClassName(ObjectNumber number) {
    constexpr char prefix[] = "WindowClass_";
    char* end = std::copy(prefix, prefix + sizeof prefix - 1, text);
    end = std::to_chars(end, text + sizeof text - 1, number).ptr;
    *end = '\0';
  }
};

HINSTANCE program_instance() { return GetModuleHandleA(nullptr); }

// Numbers (or identifiers) of windows that the system destroyed with their
// owner or parent: their classes are still in use while the destruction runs,
// and are unregistered once it has returned. Newest first.
ListNode* classes_to_unregister = nullptr;

void unregister_class_later(ObjectNumber number) {
  auto* entry = static_cast<ObjectNumber*>(list_push(&classes_to_unregister, sizeof(ListNode) + sizeof number));
  if (entry != nullptr) *entry = number;
}

// Unregisters the classes of destroyed windows. A class that a window still
// uses (one whose destruction has not returned yet) stays listed for a later
// call; a number opened again keeps its class, which its own close unregisters.
void unregister_left_classes() {
  ListNode* node = classes_to_unregister;
  while (node != nullptr) {
    ListNode* next = node->next;
    auto* number = reinterpret_cast<ObjectNumber*>(node + 1);
    bool in_use = false;
    if (window_record(*number) == nullptr && !UnregisterClassA(ClassName(*number).text, program_instance()))
      in_use = GetLastError() == ERROR_CLASS_HAS_WINDOWS;
    if (!in_use) list_unlink(&classes_to_unregister, number);
    node = next;
  }
}

// Where the outer window goes, by the placement flags.
void place_window(DWORD flags, HWND parent, int& outer_width, int& outer_height, int& x, int& y) {
  if ((x == WINDOW_POS_DEFAULT || y == WINDOW_POS_DEFAULT) && (flags & centring_flags) == 0) {
    x = CW_USEDEFAULT;
    y = CW_USEDEFAULT;
  }
  if (flags & WINDOW_SCREEN_CENTERED) {
    int screen_width = GetSystemMetrics(SM_CXSCREEN);
    if (outer_width > screen_width) outer_width = screen_width;
    x = (screen_width - outer_width) / 2;
    int screen_height = GetSystemMetrics(SM_CYSCREEN);
    if (outer_height > screen_height) outer_height = screen_height;
    y = (screen_height - outer_height) / 2;
  } else if (flags & WINDOW_PARENT_CENTERED) {
    HWND reference = parent != nullptr ? parent : GetActiveWindow();
    RECT area;
    if (reference != nullptr && GetWindowRect(reference, &area)) {
      x = area.left + ((area.right - area.left) - outer_width) / 2;
      y = area.top + ((area.bottom - area.top) - outer_height) / 2;
      if (x < 0) x = 0;
      if (y < 0) y = 0;
    }
  }
}

// Frees what a closed window's record owned.
void release_owned(const WindowRecord& record) {
  if (record.accel_entries != nullptr) {
    free_block(record.accel_entries);
    DestroyAcceleratorTable(record.accel_table);
  }
  if (record.background_brush != nullptr) DeleteObject(record.background_brush);
}

}  // namespace

void windows_init() {
  window_registry = registry_create(sizeof(WindowRecord), 16, window_close);
  event_state = static_cast<EventState*>(alloc_record(sizeof(EventState), nullptr, nullptr));
  // The program's icon, resource 1; none for a program that carries none.
  class_icon = LoadIconA(program_instance(), MAKEINTRESOURCEA(1));
  class_cursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  sizing_state = static_cast<SizingLoopState*>(alloc_record(sizeof(SizingLoopState), nullptr, nullptr));
}

ObjectNumber window_open(ObjectNumber number, int x, int y, int inner_width, int inner_height, const char* title,
                         DWORD flags, HWND parent) {
  auto* record = static_cast<WindowRecord*>(registry_get_or_create(window_registry, number));
  if (record == nullptr) return 0;
  bool unnumbered = number == ANY_NUMBER;
  if (unnumbered) number = identifier_of(record);

  ClassName class_name(number);
  if (title == nullptr) title = "";

  WNDCLASSA window_class{};
  window_class.style = CS_DBLCLKS;
  window_class.lpfnWndProc = window_procedure;
  window_class.hInstance = program_instance();
  window_class.hIcon = class_icon;
  window_class.hCursor = class_cursor;
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  window_class.lpszClassName = class_name.text;
  RegisterClassA(&window_class);

  if ((flags & ~(centring_flags | WINDOW_INVISIBLE)) == 0) flags |= WS_CAPTION;
  bool show = (flags & WINDOW_INVISIBLE) == 0;
  flags &= ~WINDOW_INVISIBLE;
  DWORD style = flags & ~centring_flags;

  RECT outer{0, 0, inner_width, inner_height};
  AdjustWindowRect(&outer, style, FALSE);
  int outer_width = outer.right - outer.left;
  int outer_height = outer.bottom - outer.top;
  place_window(flags, parent, outer_width, outer_height, x, y);

  HWND window = CreateWindowExA(0, class_name.text, title, style, x, y, outer_width, outer_height, parent, nullptr,
                                program_instance(), nullptr);
  // Creation runs user callbacks, which may have opened windows (and so moved
  // the numbered records) or even this number: look the record up again.
  record = static_cast<WindowRecord*>(registry_record(window_registry, number));
  if (window == nullptr) {
    UnregisterClassA(class_name.text, program_instance());  // refused while a newer window uses it
    if (record != nullptr && record->window == nullptr) registry_release(window_registry, number);
    return 0;
  }
  if (record == nullptr || record->window != nullptr) {
    // The number was opened while this window was being made: the newer window keeps it.
    DestroyWindow(window);
    return 0;
  }
  record->window = window;
  SetPropA(window, WINDOW_ID_PROPERTY, reinterpret_cast<HANDLE>(number + 1));

  if (show) {
    int show_state = SW_SHOWNORMAL;
    if (style & WS_MAXIMIZE) {
      show_state = SW_SHOWMAXIMIZED;
    } else if (style & WS_MINIMIZE) {
      show_state = SW_SHOWMINIMIZED;
    }
    ShowWindow(window, show_state);
  }

  // Showing runs the window procedure, and with it any user callback, which
  // may have opened windows and so moved the numbered records.
  record = window_record(number);
  if (record == nullptr || record->window != window) return 0;
  record->accel_count = 2;
  record->accel_entries = static_cast<ACCEL*>(HeapAlloc(main_heap, HEAP_ZERO_MEMORY, 2 * sizeof(ACCEL)));
  if (record->accel_entries != nullptr) {
    record->accel_entries[0] = ACCEL{FVIRTKEY | FNOINVERT, VK_TAB, CMD_TAB_NEXT};
    record->accel_entries[1] = ACCEL{FVIRTKEY | FNOINVERT | FSHIFT, VK_TAB, CMD_TAB_PREVIOUS};
    record->accel_table = CreateAcceleratorTableA(record->accel_entries, 2);
  }
  record->background_colour = -1;
  record->mdi_client = nullptr;

  return unnumbered ? number : reinterpret_cast<ObjectNumber>(window);
}

HWND window_handle(ObjectNumber number) {
  WindowRecord* record = window_record(number);
  return record != nullptr ? record->window : nullptr;
}

WindowRecord* window_record(ObjectNumber number) {
  return static_cast<WindowRecord*>(registry_lookup(window_registry, number));
}

void window_close(ObjectNumber number) {
  WindowRecord* found = window_record(number);
  if (found == nullptr) return;
  HWND window = found->window;

  HWND owner = GetWindow(window, GW_OWNER);
  if (owner != nullptr && found->mdi_client == nullptr) {
    SetActiveWindow(owner);
    // Activation runs user callbacks, which may have closed or re-opened this number.
    found = window_record(number);
    if (found == nullptr || found->window != window) return;
  }
  // The number is free before the first message of destruction: a callback
  // that closes it again finds nothing, and one that opens it keeps its window.
  WindowRecord record = *found;
  registry_release(window_registry, number);
  event_queue_forget(number);

  RemovePropA(window, WINDOW_ID_PROPERTY);
  if (RemovePropA(window, DROP_ACCEPT_PROPERTY) != nullptr) RevokeDragDrop(window);

  if (record.mdi_client != nullptr) {
    SendMessageA(record.mdi_client, WM_MDIDESTROY, reinterpret_cast<WPARAM>(window), 0);
  } else {
    DestroyWindow(window);
    // Refused, and rightly, when a callback has opened the number again meanwhile.
    UnregisterClassA(ClassName(number).text, program_instance());
  }
  release_owned(record);
  unregister_left_classes();
}

void window_destroyed(HWND window) {
  auto property = reinterpret_cast<ObjectNumber>(GetPropA(window, WINDOW_ID_PROPERTY));
  if (property == 0) return;  // closed by number, or no toolkit window
  ObjectNumber number = property - 1;
  WindowRecord* found = window_record(number);
  if (found == nullptr || found->window != window) return;
  WindowRecord record = *found;
  registry_release(window_registry, number);
  event_queue_forget(number);
  RemovePropA(window, WINDOW_ID_PROPERTY);
  if (RemovePropA(window, DROP_ACCEPT_PROPERTY) != nullptr) RevokeDragDrop(window);
  // The window still exists until this message returns, so its class cannot
  // go yet; opening the number again meanwhile uses the class as it is.
  unregister_class_later(number);
  release_owned(record);
}

void windows_unregister_left_classes() { unregister_left_classes(); }

void windows_close_all() {
  registry_enum_begin(window_registry);
  ObjectNumber number = 0;
  while (registry_enum_next(window_registry, &number) != nullptr) window_close(number);
  event_data_release();
}
