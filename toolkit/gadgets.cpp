// Gadgets: the four kinds of control the program uses, created by number, and
// the operations that work on any gadget.
#include "gadgets.h"
#include "toolkit_internal.h"

#include <commctrl.h>

#include <cstring>
#include <vector>

#include "colours.h"
#include "events.h"

GadgetList* gadget_list = nullptr;
ObjectRegistry* gadget_registry = nullptr;

namespace {

constexpr DWORD text_style = WS_CHILD | WS_VISIBLE | WS_GROUP;                                  // 0x50020000
constexpr DWORD string_style = WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | ES_AUTOHSCROLL;  // 0x50030080
constexpr DWORD button_style = WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP;                   // 0x50030000
constexpr DWORD progress_style = WS_CHILD | WS_VISIBLE;                                         // 0x50000000
constexpr DWORD edge_flag = 0x20000;  // TEXT_BORDER and STRING_BORDERLESS
constexpr LONG default_colour = -1;

HFONT stock_gui_font = nullptr;
WNDPROC saved_edit_procedure = nullptr;

// One table per kind, filled at the first creation of that kind.
struct KindTable {
  GadgetKind table;
  bool filled;
};
KindTable button_kind{};
KindTable string_kind{};
KindTable text_kind{};
KindTable progress_kind{};

int button_get_state(GadgetRecord* record) {
  return static_cast<int>(SendMessageA(record->control, BM_GETCHECK, 0, 0) & 1);
}
void button_set_state(GadgetRecord* record, int state) {
  SendMessageA(record->control, BM_SETCHECK, state != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
}
int progress_get_state(GadgetRecord* record) {
  return static_cast<int>(SendMessageA(record->control, PBM_GETPOS, 0, 0));
}
void progress_set_state(GadgetRecord* record, int state) {
  SendMessageA(record->control, PBM_SETPOS, static_cast<WPARAM>(state), 0);
}

GadgetKind* kind_table(KindTable& kind, LONG_PTR kind_id) {
  if (!kind.filled) {
    kind.table = GadgetKind{};
    kind.table.kind_id = kind_id;
    kind.table.table_size = sizeof(GadgetKind);
    if (kind_id == KIND_BUTTON) {
      kind.table.get_state = button_get_state;
      kind.table.set_state = button_set_state;
    } else if (kind_id == KIND_PROGRESS_BAR) {
      kind.table.get_state = progress_get_state;
      kind.table.set_state = progress_set_state;
    }
    fill_colour_slots(&kind.table);
    kind.filled = true;
  }
  return &kind.table;
}

void gadget_list_init(void* record) {
  auto* list = static_cast<GadgetList*>(record);
  list->table_capacity = 10;
  list->table = static_cast<LONG_PTR*>(HeapAlloc(main_heap, HEAP_ZERO_MEMORY, 10 * sizeof(LONG_PTR)));
  list->cleared_word = 0;
  list->default_font = stock_gui_font;
}

void gadget_list_release(void* record) {
  auto* list = static_cast<GadgetList*>(record);
  free_block(list->table);
  list->table = nullptr;
}

HFONT font_or_stock(HFONT font) {
  return font == reinterpret_cast<HFONT>(static_cast<INT_PTR>(-1)) ? stock_gui_font : font;
}

// Takes back the focus changes that a control of the gadget number posted
// and that have not been retrieved yet: a gadget that is gone makes no event.
// The others are posted again in their order.
void forget_posted_focus(HWND window, ObjectNumber gadget) {
  std::vector<MSG> kept;
  MSG message;
  while (PeekMessageA(&message, window, MSG_FIELD_FOCUS, MSG_FIELD_FOCUS, PM_REMOVE | PM_NOYIELD)) {
    if (static_cast<ObjectNumber>(message.wParam) != gadget) kept.push_back(message);
  }
  for (const MSG& again : kept) PostMessageA(again.hwnd, again.message, again.wParam, again.lParam);
  if (event_state->pending_event == EV_GADGET && event_state->gadget == gadget) event_state->pending_event = 0;
}

// Cuts a control loose from the gadget number: nothing it does afterwards
// reaches the number or a record of it.
void detach_control(HWND control) {
  RemovePropA(control, GADGET_ID_PROPERTY);
  if (RemovePropA(control, DROP_ACCEPT_PROPERTY) != nullptr) RevokeDragDrop(control);
  SetWindowLongPtrA(control, GWLP_ID, -1);
}

enum class Kind { text, string, button, progress_bar };

// The steps every creation shares: make the control, take the record (which
// frees a gadget of the same number only now that the new control exists),
// and attach the control to it.
ObjectNumber create_gadget(Kind kind, ObjectNumber number, int x, int y, int width, int height, const char* text,
                           DWORD flags, int minimum = 0, int maximum = 0) {
  GadgetKind* table = nullptr;
  const char* class_name = nullptr;
  DWORD extended_style = 0;
  DWORD style = flags;
  INT_PTR control_id = -1;
  switch (kind) {
    case Kind::text:
      table = (flags & TEXT_NEWEST_LINES) ? newest_lines_kind() : kind_table(text_kind, KIND_TEXT);
      class_name = "Static";
      if (flags & edge_flag) extended_style = WS_EX_CLIENTEDGE;
      style = (style & ~TEXT_NEWEST_LINES) | text_style;
      break;
    case Kind::string:
      table = kind_table(string_kind, KIND_STRING);
      class_name = "Edit";
      if ((flags & edge_flag) == 0) extended_style = WS_EX_CLIENTEDGE;
      style |= string_style;
      break;
    case Kind::button:
      table = kind_table(button_kind, KIND_BUTTON);
      class_name = "Button";
      style |= button_style;
      break;
    case Kind::progress_bar:
      table = kind_table(progress_kind, KIND_PROGRESS_BAR);
      class_name = PROGRESS_CLASSA;
      style |= progress_style;
      control_id = 0;
      text = nullptr;
      break;
  }
  if (kind != Kind::progress_bar && text == nullptr) text = "";

  HWND control = CreateWindowExA(extended_style, class_name, text, style, x, y, width, height, gadget_list->parent,
                                 reinterpret_cast<HMENU>(control_id), GetModuleHandleA(nullptr), nullptr);
  if (control == nullptr) return 0;
  if (kind == Kind::progress_bar) SendMessageA(control, PBM_SETRANGE32, static_cast<WPARAM>(minimum), maximum);

  GadgetRecord* previous = number != ANY_NUMBER ? gadget_record(number) : nullptr;
  HWND previous_control = previous != nullptr ? previous->control : nullptr;
  // Destroys the gadget that has the number now, which runs user code.
  auto* record = static_cast<GadgetRecord*>(registry_get_or_create(gadget_registry, number));
  if (record == nullptr) {
    DestroyWindow(control);
    return 0;
  }
  if (record->control != nullptr && record->control != previous_control) {
    // A callback made the number again meanwhile: that newer gadget keeps it.
    DestroyWindow(control);
    return 0;
  }
  if (record->control != nullptr) {
    // The old control's destruction was already under way further out, so it
    // still holds the record: it gives it up here, with its procedure back.
    SetWindowLongPtrA(record->control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(record->previous_procedure));
    forget_posted_focus(find_toolkit_window(record->control), number);
    detach_control(record->control);
    if (record->kind->free != nullptr) record->kind->free(record);
    *record = GadgetRecord{};
  }
  if (kind == Kind::string) {
    saved_edit_procedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(string_field_procedure)));
  }
  if (kind != Kind::button) {
    record->front_colour = default_colour;
    record->back_colour = default_colour;
  }
  const ObjectNumber made = attach_gadget(number, record, control, table);
  // A kind that holds its text takes the first one too; attaching sent
  // messages, so the record is looked up again.
  if (table->set_text != nullptr && text != nullptr && number != ANY_NUMBER) {
    GadgetRecord* attached = gadget_record(number);
    if (attached != nullptr && attached->control == control) table->set_text(attached, text);
  }
  return made;
}

}  // namespace

void gadgets_init() {
  colours_init();
  stock_gui_font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  gadget_registry = registry_create(sizeof(GadgetRecord), 50, free_gadget);
  gadget_list = static_cast<GadgetList*>(alloc_record(sizeof(GadgetList), gadget_list_init, gadget_list_release));
  INITCOMMONCONTROLSEX controls{
      sizeof controls, ICC_TAB_CLASSES | ICC_DATE_CLASSES | ICC_USEREX_CLASSES | ICC_INTERNET_CLASSES};  // 0x0B08
  InitCommonControlsEx(&controls);
}

HWND set_gadget_parent(HWND window) {
  gadget_list->parent = window;
  gadget_list->cleared_word = 0;
  return window;
}

ObjectNumber create_text_gadget(ObjectNumber number, int x, int y, int width, int height, const char* text,
                                DWORD flags) {
  return create_gadget(Kind::text, number, x, y, width, height, text, flags);
}

ObjectNumber create_string_gadget(ObjectNumber number, int x, int y, int width, int height, const char* text,
                                  DWORD flags) {
  return create_gadget(Kind::string, number, x, y, width, height, text, flags);
}

ObjectNumber create_button_gadget(ObjectNumber number, int x, int y, int width, int height, const char* text,
                                  DWORD flags) {
  return create_gadget(Kind::button, number, x, y, width, height, text, flags);
}

ObjectNumber create_progress_bar(ObjectNumber number, int x, int y, int width, int height, int minimum, int maximum,
                                 DWORD flags) {
  return create_gadget(Kind::progress_bar, number, x, y, width, height, nullptr, flags, minimum, maximum);
}

ObjectNumber attach_gadget(ObjectNumber number, GadgetRecord* record, HWND control, GadgetKind* kind) {
  bool unnumbered = number == ANY_NUMBER;
  if (unnumbered) number = identifier_of(record);
  record->control = control;
  record->kind = kind;
  record->previous_procedure =
      reinterpret_cast<WNDPROC>(SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(gadget_procedure)));
  SetWindowLongPtrA(control, GWLP_ID, number);
  SetPropA(control, GADGET_ID_PROPERTY, reinterpret_cast<HANDLE>(number));
  SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(gadget_list->default_font), TRUE);
  gadget_list->cleared_word = 0;
  return unnumbered ? number : reinterpret_cast<ObjectNumber>(control);
}

LRESULT CALLBACK gadget_procedure(HWND control, UINT message, WPARAM wparam, LPARAM lparam) {
  ObjectNumber id = GetWindowLongPtrA(control, GWLP_ID);
  GadgetRecord* record = id != -1 ? gadget_record(id) : nullptr;
  if (record == nullptr) return DefWindowProcA(control, message, wparam, lparam);

  LRESULT result = CallWindowProcA(record->previous_procedure, control, message, wparam, lparam);

  if (message == WM_NCDESTROY) {
    // Look again: the previous procedure may have created gadgets, which can
    // move the numbered records, or made this number again.
    record = gadget_record(id);
    bool owns_record = record != nullptr && record->control == control;
    if (owns_record) forget_posted_focus(find_toolkit_window(control), id);
    detach_control(control);
    if (owns_record) {
      if (record->kind->free != nullptr) record->kind->free(record);
      registry_release(gadget_registry, id);
    }
  }
  return result;
}

LRESULT CALLBACK string_field_procedure(HWND control, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_SETFOCUS || message == WM_KILLFOCUS) {
    // Posted, not sent: the focus change becomes an event of a later retrieval.
    PostMessageA(find_toolkit_window(control), MSG_FIELD_FOCUS,
                 static_cast<WPARAM>(GetWindowLongPtrA(control, GWLP_ID)),
                 message == WM_SETFOCUS ? FOCUS_GAINED : FOCUS_LOST);
  }
  return CallWindowProcA(saved_edit_procedure, control, message, wparam, lparam);
}

HWND find_toolkit_window(HWND control) { return toolkit_window_above(control).window; }

GadgetRecord* gadget_record(ObjectNumber gadget) {
  return static_cast<GadgetRecord*>(registry_lookup(gadget_registry, gadget));
}

void set_gadget_text(ObjectNumber gadget, const char* text) {
  if (text == nullptr) text = "";
  GadgetRecord* record = gadget_record(gadget);
  if (record == nullptr) return;
  if (record->kind->set_text != nullptr) {
    record->kind->set_text(record, text);
  } else {
    SetWindowTextA(record->control, text);
  }
}

std::string get_gadget_text(ObjectNumber gadget) {
  GadgetRecord* record = gadget_record(gadget);
  if (record == nullptr) return {};
  if (record->kind->get_text != nullptr) return record->kind->get_text(record);
  int length = GetWindowTextLengthA(record->control);
  if (length < 0) length = 0;
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  GetWindowTextA(record->control, text.data(), length + 1);
  // What was read ends at its zero byte, and may be shorter than asked for.
  text.resize(std::strlen(text.c_str()));
  text.shrink_to_fit();
  return text;
}

void set_gadget_state(ObjectNumber gadget, int state) {
  GadgetRecord* record = gadget_record(gadget);
  if (record != nullptr && record->kind->set_state != nullptr) record->kind->set_state(record, state);
}

int get_gadget_state(ObjectNumber gadget) {
  GadgetRecord* record = gadget_record(gadget);
  if (record != nullptr && record->kind->get_state != nullptr) return record->kind->get_state(record);
  return 0;
}

void set_gadget_font(ObjectNumber gadget, HFONT font) {
  if (gadget == -1) {
    gadget_list->default_font = font_or_stock(font);
    return;
  }
  GadgetRecord* record = gadget_record(gadget);
  if (record == nullptr) return;
  SendMessageA(record->control, WM_SETFONT, reinterpret_cast<WPARAM>(font_or_stock(font)), TRUE);
}

void free_gadget(ObjectNumber gadget) {
  GadgetRecord* record = gadget_record(gadget);
  if (record != nullptr) DestroyWindow(record->control);
}

void activate_gadget(ObjectNumber gadget) {
  GadgetRecord* record = gadget_record(gadget);
  if (record != nullptr) focus_control(record->control);
}

ObjectNumber active_gadget() {
  HWND focus = GetFocus();
  if (focus == nullptr) return -1;
  const auto number = static_cast<ObjectNumber>(GetWindowLongPtrA(focus, GWLP_ID));
  GadgetRecord* record = gadget_record(number);
  return record != nullptr && record->control == focus ? number : -1;
}
