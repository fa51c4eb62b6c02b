// Events: the application asks for the next event and gets one code; the
// gadget, window and detail that belong to it are kept until the next one.
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

using WindowCallback = LRESULT (*)(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// A record that comes with EV_WINDOW_DATA or EV_GADGET_DATA, on main_heap. Its
// sixth word, when set, is a further block on main_heap that belongs to it.
struct EventData {
  LONG_PTR fields[5];
  void* block;
};

// The next event: timeout -1 waits without limit, 0 only looks, a positive
// value waits at most that many milliseconds. EV_NONE when nothing happened.
int event_retrieve(int timeout);
int event_wait();
int event_poll();

ObjectNumber event_gadget();
ObjectNumber event_window();
int event_type();
// The virtual key of a retrieval that returned WM_KEYDOWN.
int event_key();

// Frees the data record of the current event, if there is one.
void event_data_release();
