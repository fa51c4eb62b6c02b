// Numbered top-level windows. (The header is not called windows.h so that it
// cannot stand in for the system's.)
#pragma once

#include <windows.h>

#include "events.h"
#include "registry.h"

// Flags of window_open that belong to the toolkit; every other bit is a window style.
constexpr DWORD WINDOW_SCREEN_CENTERED = 0x1;
constexpr DWORD WINDOW_PARENT_CENTERED = 0x2;
constexpr DWORD WINDOW_INVISIBLE = 0x10000000;  // the bit of WS_VISIBLE, with the opposite meaning

// A coordinate that lets the system place the window.
constexpr int WINDOW_POS_DEFAULT = -65535;

using EraseCallback = LRESULT (*)(HDC device_context, HWND window);

struct WindowRecord {
  HWND window;  // 0 marks a free record
  int accel_count;
  ACCEL* accel_entries;  // on main_heap, owned
  HACCEL accel_table;    // owned
  WindowCallback callback;
  LONG background_colour;  // -1: no colour of its own
  HBRUSH background_brush;  // owned; erases the background when set
  HWND mdi_client;          // the MDI client of an MDI child, else 0
  EraseCallback erase_callback;
};

extern ObjectRegistry* window_registry;

void windows_init();

// The window handle for a number, the identifier for ANY_NUMBER, 0 on failure.
ObjectNumber window_open(ObjectNumber number, int x, int y, int inner_width, int inner_height, const char* title,
                         DWORD flags, HWND parent = nullptr);
HWND window_handle(ObjectNumber number);
WindowRecord* window_record(ObjectNumber number);
void window_close(ObjectNumber number);
// Told by the window procedure of a window's WM_NCDESTROY: a window that the
// system destroyed with its owner or parent, not closed by number, gives up
// its record here.
void window_destroyed(HWND window);
void windows_close_all();
