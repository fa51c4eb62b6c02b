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

void windows_init();

// The window handle for a number, the identifier for ANY_NUMBER, 0 on failure.
ObjectNumber window_open(ObjectNumber number, int x, int y, int inner_width, int inner_height, const char* title,
                         DWORD flags, HWND parent = nullptr);
HWND window_handle(ObjectNumber number);
void window_close(ObjectNumber number);
void windows_close_all();
