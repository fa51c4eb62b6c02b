// Tab and Shift+Tab between the gadgets of the active window.
#pragma once

#include <windows.h>

// The accelerator table to apply to the message being retrieved, or null for none.
HACCEL window_accelerator_table(HWND active_window);
// Moves the focus to the next (direction 0) or previous (any other) tab stop.
void focus_tab_stop(int direction);
