// What the toolkit's window tests share: the toolkit started once per test
// program as the application starts it, retrieval of events into plain
// values, and input injected as a user would give it.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include "registry.h"

struct Event {
  int code;
  ObjectNumber window;
  ObjectNumber gadget;
  int type;
};

// One retrieval with the given timeout, with the state that came with it.
Event retrieve(int timeout);

// Retrieves until nothing more arrives within the quiet time, and returns
// everything retrieved (at most a few hundred events).
std::vector<Event> drain_events(int quiet_ms = 100);

// Retrieves events until one satisfies the condition or the number of
// retrievals runs out; every event retrieved on the way is returned, the
// matching one last. Empty when no event matched.
std::vector<Event> retrieve_until(const std::function<bool(const Event&)>& condition, int retrievals = 200);

// Dispatches messages without the toolkit's retrieval until the condition
// holds or the rounds run out; returns the condition's last value.
bool pump_until(const std::function<bool()>& condition, int rounds = 200);

// The control of a gadget, null when the number names none.
HWND gadget_control(ObjectNumber gadget);

// Input, as the user gives it. The window is made the foreground window first.
void bring_to_front(HWND window);
void click_client(HWND window, int x, int y);
void click_screen(int x, int y);
void press_key(WORD virtual_key, bool shift = false);

// A point of the window's frame, in screen coordinates, whose hit test gives
// the area asked for (for example HTCLOSE); false when there is none.
bool find_frame_point(HWND window, LRESULT area, POINT& point);
