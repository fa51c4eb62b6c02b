// Events: the application asks for the next event and gets one code; the
// gadget, window and detail that belong to it are kept in the EventState.
// Window messages become events here, either at once (one pending event per
// dispatched message) or through a first-in first-out queue.
#pragma once

#include <windows.h>

#include "registry.h"

// Results of the toolkit's message handlers.
constexpr LRESULT RESULT_DEFAULT = 0xD0D0D0D1;   // not handled: default processing applies
constexpr LRESULT RESULT_CONTINUE = 0xE0E0E0E1;  // a user callback lets the toolkit translate as usual

// Event codes. A retrieval that produced none of these returns the number of
// the window message it dispatched.
constexpr int EV_NONE = 0;
constexpr int EV_MOVE = 3;
constexpr int EV_SIZE = 5;
constexpr int EV_REPAINT = 15;
constexpr int EV_CLOSE = 16;
constexpr int EV_GADGET = 13100;
constexpr int EV_MENU = 13101;
constexpr int EV_ITEM_CLICK = 13102;
constexpr int EV_ACTIVATE = 13104;
constexpr int EV_WINDOW_DATA = 13105;
constexpr int EV_GADGET_DATA = 13106;

// Details of EV_GADGET from an input field and of EV_ITEM_CLICK.
constexpr int FOCUS_GAINED = 14000;
constexpr int FOCUS_LOST = 14001;
constexpr int CLICK_LEFT = 0;
constexpr int CLICK_RIGHT = 1;
constexpr int CLICK_LEFT_DOUBLE = 2;
constexpr int CLICK_RIGHT_DOUBLE = 3;

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

using WindowCallback = LRESULT (*)(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// A record that comes with EV_WINDOW_DATA or EV_GADGET_DATA, on main_heap. Its
// sixth word, when set, is a further block on main_heap that belongs to it.
struct EventData {
  LONG_PTR fields[5];
  void* block;
};

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
  QueuedEvent* queue_head;    // oldest
  QueuedEvent* queue_tail;    // newest
  WindowCallback global_callback;
  EventData* event_data;      // owned; freed when the next retrieval starts
};

// Made by windows_init; lives until the process ends.
extern EventState* event_state;

// The next event: timeout -1 waits without limit, 0 only looks, a positive
// value waits at most that many milliseconds. EV_NONE when nothing happened.
int event_retrieve(int timeout);
int event_wait();
int event_poll();

ObjectNumber event_gadget();
ObjectNumber event_window();
int event_type();

// Frees the data record of the current event, if there is one.
void event_data_release();

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT event_translate(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
void event_queue_append(int event, ObjectNumber window_number);
LRESULT route_gadget_message(HWND control, HWND window, UINT message, WPARAM wparam, LPARAM lparam);
