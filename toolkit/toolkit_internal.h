// What the toolkit's own units share and the program never calls: the
// records, registries and process-wide state behind the numbers, the names of
// the window properties, and the internal procedures. The public headers hold
// what the program calls. Tests of the toolkit include this too.
#pragma once

#include <windows.h>

#include <string>

#include "colours.h"
#include "events.h"
#include "fonts.h"
#include "gadgets.h"
#include "registry.h"
#include "requester.h"
#include "toolkit_windows.h"

// The window properties that tie windows and controls to their numbers.
inline constexpr const char* WINDOW_ID_PROPERTY = "RZ_WindowID";      // a toolkit window's number
inline constexpr const char* GADGET_ID_PROPERTY = "RZ_ID";            // a gadget's number
inline constexpr const char* DROP_ACCEPT_PROPERTY = "RZ_DropAccept";  // a window that accepts dropped files
inline constexpr const char* MDI_GADGET_PROPERTY = "RZ_MDI_Gadget";   // the MDI client gadget of a window

// ---- Registries and the list allocator

using ReuseRoutine = void (*)(ObjectNumber number);
using RecordRoutine = void (*)(void* record);

// A node of the list allocator. Callers see only the payload that follows it.
struct ListNode {
  ListNode* next;  // older node, null at the end
  ListNode* prev;  // newer node, null at the head
};

struct IdentifierSet;

struct ObjectRegistry {
  ObjectNumber slot_size;
  ObjectNumber increment;
  ObjectNumber capacity;
  ListNode* unnumbered;  // newest unnumbered record first
  ReuseRoutine on_reuse;
  ObjectNumber enum_index;
  ListNode* enum_cursor;
  std::uint8_t* slots;
  // Identifiers of the unnumbered records, so that a value is never taken for
  // an address unless it is one of this registry's own records.
  IdentifierSet* identifiers;
};

// The heap of the list allocator, so that its blocks can be counted.
HANDLE list_heap_handle();
void* list_push(ListNode** head, SIZE_T size);
void list_unlink(ListNode** head, void* payload);

ObjectRegistry* registry_create(ObjectNumber slot_size, ObjectNumber increment, ReuseRoutine on_reuse);
void* registry_get_or_create(ObjectRegistry* registry, ObjectNumber number);
void* registry_lookup(ObjectRegistry* registry, ObjectNumber value);
// The record of a number or identifier whether it is in use or free; null
// when the registry has no such record.
void* registry_record(ObjectRegistry* registry, ObjectNumber value);
void registry_release(ObjectRegistry* registry, ObjectNumber value);
void registry_enum_begin(ObjectRegistry* registry);
void* registry_enum_next(ObjectRegistry* registry, ObjectNumber* out_value);

void* alloc_record(SIZE_T size, RecordRoutine init, RecordRoutine release);
// Frees a block of main_heap; a null block is nothing to free.
void free_block(void* block);

// The identifier of an unnumbered record is its address.
inline ObjectNumber identifier_of(const void* record) { return reinterpret_cast<ObjectNumber>(record); }

// ---- Windows

using EraseCallback = LRESULT (*)(HDC device_context, HWND window);

struct WindowRecord {
  HWND window;  // 0 marks a free record
  int accel_count;
  ACCEL* accel_entries;  // on main_heap, owned
  HACCEL accel_table;    // owned
  WindowCallback callback;
  LONG background_colour;   // -1: no colour of its own
  HBRUSH background_brush;  // owned; erases the background when set
  HWND mdi_client;          // the MDI client of an MDI child, else 0
  EraseCallback erase_callback;
};

extern ObjectRegistry* window_registry;

WindowRecord* window_record(ObjectNumber number);

// The nearest window up the GetParent chain, `window` itself first, that
// carries WINDOW_ID_PROPERTY, with the property (window number + 1); when
// none does, the chain's last window and property 0.
struct ToolkitWindowFound {
  HWND window;
  ObjectNumber property;
};
inline ToolkitWindowFound toolkit_window_above(HWND window) {
  ToolkitWindowFound found{window, 0};
  while (found.window != nullptr) {
    found.property = reinterpret_cast<ObjectNumber>(GetPropA(found.window, WINDOW_ID_PROPERTY));
    if (found.property != 0) break;
    HWND parent = GetParent(found.window);
    if (parent == nullptr) break;
    found.window = parent;
  }
  return found;
}
// Told by the window procedure of a window's WM_NCDESTROY: a window that the
// system destroyed with its owner or parent, not closed by number, gives up
// its record here.
void window_destroyed(HWND window);
// Unregisters the classes of windows destroyed with their owner or parent
// once nothing uses them any more; closing a window does it too.
void windows_unregister_left_classes();

// ---- Events

// The toolkit's private window messages.
constexpr UINT MSG_ITEM_CLICK = 12501;
constexpr UINT MSG_ITEM_CLICK_DEFERRED = 12502;
constexpr UINT MSG_FIELD_FOCUS = 13103;
constexpr UINT MSG_WINDOW_DATA = 13105;
constexpr UINT MSG_GADGET_DATA = 13106;
constexpr UINT MSG_GADGET_FORWARD = 13120;

// Commands of the two accelerator entries every window has, and the control
// identifier that makes a control's commands menu events.
constexpr WORD CMD_TAB_NEXT = 1212;
constexpr WORD CMD_TAB_PREVIOUS = 1213;
constexpr ObjectNumber MENU_CONTROL_ID = -10000;

struct QueuedEvent {
  QueuedEvent* next;  // null at the tail
  int event;
  ObjectNumber window_number;
};

struct EventState {
  ObjectNumber gadget;        // gadget (or item) of the last event that named one
  ObjectNumber event_window;  // window of the current event, -1 for none
  int event_type;             // detail of the current event, -1 when it has none
  int pending_event;          // set while a retrieved message is dispatched; 0 = none
  WPARAM last_wparam;         // of the last retrieved message that produced no event
  LPARAM last_lparam;
  QueuedEvent* queue_head;  // oldest
  QueuedEvent* queue_tail;  // newest
  WindowCallback global_callback;
  EventData* event_data;  // owned; freed when the next retrieval starts
};

// Made by windows_init; lives until the process ends.
extern EventState* event_state;

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT event_translate(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
void event_queue_append(int event, ObjectNumber window_number);
// Drops the queued events of a window number that is closing.
void event_queue_forget(ObjectNumber window_number);
// Removes the data messages posted to a window that is being destroyed and
// frees their records.
void forget_posted_data(HWND window);
LRESULT route_gadget_message(HWND control, HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// ---- Gadgets

struct GadgetKind;

struct GadgetRecord {
  HWND control;  // non-zero while the gadget exists
  GadgetKind* kind;
  WNDPROC previous_procedure;  // the procedure gadget_procedure passes every message on to
  LONG back_colour;            // COLORREF, or -1 for the default
  LONG front_colour;           // text (or bar) colour, or -1 for the default
  HBRUSH back_brush;           // cached brush of back_colour, or null
  char* held_text;             // on main_heap: the whole text of a TEXT_NEWEST_LINES gadget
};

using MessageHookSlot = LRESULT (*)(GadgetRecord* record, HWND parent, UINT message, WPARAM wparam, LPARAM lparam);
using FreeSlot = void (*)(GadgetRecord* record);
using GetStateSlot = int (*)(GadgetRecord* record);
using SetStateSlot = void (*)(GadgetRecord* record, int state);
using GetTextSlot = std::string (*)(GadgetRecord* record);
using SetTextSlot = void (*)(GadgetRecord* record, const char* text);
using GetAttributeSlot = LONG_PTR (*)(GadgetRecord* record, int attribute);
using SetAttributeSlot = void (*)(GadgetRecord* record, int attribute, LONG_PTR value);
using SetColourSlot = void (*)(GadgetRecord* record, int colour_type, LONG colour);
using GetColourSlot = LONG (*)(GadgetRecord* record, int colour_type);

// A kind's table: two header words and 35 slots, numbered from 1. Slots that
// no kind of this toolkit fills are kept as reserved words.
struct GadgetKind {
  LONG_PTR kind_id;
  LONG_PTR table_size;           // bytes
  MessageHookSlot message_hook;  // slot 1
  FreeSlot free;                 // 2
  GetStateSlot get_state;        // 3
  SetStateSlot set_state;        // 4
  GetTextSlot get_text;          // 5
  SetTextSlot set_text;          // 6
  void* reserved_7_to_24[18];
  GetAttributeSlot get_attribute;  // 25
  SetAttributeSlot set_attribute;  // 26
  void* reserved_27_to_28[2];
  SetColourSlot set_colour;  // 29
  GetColourSlot get_colour;  // 30
  void* reserved_31_to_35[5];
};
static_assert(sizeof(GadgetKind) == 37 * sizeof(void*), "a kind's table is 37 words");

constexpr LONG_PTR KIND_BUTTON = 1;
constexpr LONG_PTR KIND_STRING = 2;
constexpr LONG_PTR KIND_TEXT = 3;
constexpr LONG_PTR KIND_PROGRESS_BAR = 14;

struct GadgetList {
  HWND parent;  // where new gadgets are created
  LONG_PTR cleared_word;
  HFONT default_font;  // given to every new gadget
  LONG_PTR* table;     // ten entries on main_heap
  LONG_PTR table_capacity;
};

extern GadgetList* gadget_list;
extern ObjectRegistry* gadget_registry;

ObjectNumber attach_gadget(ObjectNumber number, GadgetRecord* record, HWND control, GadgetKind* kind);
LRESULT CALLBACK gadget_procedure(HWND control, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK string_field_procedure(HWND control, UINT message, WPARAM wparam, LPARAM lparam);
// The toolkit window of a control: the nearest toolkit window above it, else
// the last window up the chain.
HWND find_toolkit_window(HWND control);

GadgetRecord* gadget_record(ObjectNumber gadget);
// The kind of a text gadget made with TEXT_NEWEST_LINES (newest_lines.cpp).
GadgetKind* newest_lines_kind();

// ---- Colours

// An entry of the brush cache, the payload of a node of the list allocator.
struct BrushEntry {
  COLORREF colour;
  HBRUSH brush;  // never null: a brush that could not be made gets no entry
  LONG count;    // holders
};

// Enters the colour, attribute, message-hook and free slots of a kind's
// table; called once, when the table is filled.
void fill_colour_slots(GadgetKind* kind);

// One solid brush per colour, shared by reference count. brush_acquire gives
// null when no brush could be made; brush_release of a brush that the cache
// does not hold does nothing.
HBRUSH brush_acquire(COLORREF colour);
void brush_release(HBRUSH brush);
// How many holders the cache counts for the brush; 0 when it holds no such
// brush (it has been deleted, or never came from the cache).
LONG brush_holders(HBRUSH brush);

// Starts the lock that guards the brush cache; called by gadgets_init.
void colours_init();

// ---- Fonts

struct FontRecord {
  HFONT handle;  // 0: the record holds no font
};

extern ObjectRegistry* font_registry;

// ---- The requester

struct DisabledWindowRecord {
  DWORD thread_id;  // the thread that disabled the window
  HWND window;
};

// Newest entry first; empty whenever no requester is showing.
extern ListNode* disabled_windows;

// ---- The sizing loop

// The toolkit's own window sizing loop. When full-window dragging is on, a
// size command (a border drag, or the Size command and the arrow keys) does not
// start the platform's modal sizing loop: this one runs instead, with mouse
// capture, one message at a time inside the toolkit's window procedure, so the
// application's event loop keeps running while the window is sized.

struct SizingLoopState {
  LONG active;          // 1 while a sizing loop runs
  LONG restore_cursor;  // 1: put the cursor back at saved_cursor at the end
  POINT saved_cursor;   // where a keyboard loop found the cursor, screen coordinates
  RECT rect;            // the window rectangle being tracked, screen coordinates
  LONG edge;            // WMSZ code of the edges that follow the cursor; 0 none yet
  MINMAXINFO limits;    // the window's track limits
  HWND window;          // the window being sized; the loop acts on its messages only
};

// Made by windows_init; lives until the process ends.
extern SizingLoopState* sizing_state;

// Offered every message of a toolkit window before anything else: 0 when the
// loop took it, RESULT_DEFAULT when it did not.
LRESULT sizing_loop_filter(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// Called for every retrieved message before it is dispatched: while a loop
// runs, key messages go to the window being sized, whatever has the focus.
void sizing_loop_route(MSG& message);

// Puts the cursor at the screen point and gives it the shared cursor of the id.
void place_sizing_cursor(WORD cursor_id, int x, int y);
// Moves the edges named by the state's edge code to the screen point, within
// the track limits; the opposite edges stay.
void apply_sizing_point(SizingLoopState* state, int x, int y);
// Moves and sizes the window to a rectangle in screen coordinates (a child
// window is placed in its parent's client coordinates).
void move_window_to_rect(HWND window, int left, int top, int right, int bottom);
// One keyboard step: the cursor goes to the point, the edges follow, the
// window hears WM_SIZING and is moved.
void sizing_key_step(SizingLoopState* state, HWND window, int x, int y);

// ---- Tab focus

// Tab and Shift+Tab between the controls of the active window. Toolkit windows
// are not dialogs, so the toolkit moves the focus itself: Tab and Shift+Tab
// reach the window as the commands of its two accelerator entries, and those
// commands run the search here.

// The accelerator table to apply to the message being retrieved, or null for
// none. While an editable rich-edit control has the focus, a plain Tab gets no
// table, so that the control receives the key itself.
HACCEL window_accelerator_table(HWND active_window);

// Moves the focus to the next (direction 0) or previous (any other) control
// of the active window, or of the MDI child that holds the focus, that is
// enabled, visible and a tab stop; the search wraps around at both ends.
void focus_tab_stop(int direction);
// Gives a control the focus as Tab does: an edit field's text is selected.
void focus_control(HWND control);
