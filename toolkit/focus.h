// Tab and Shift+Tab between the controls of the active window. Toolkit windows
// are not dialogs, so the toolkit moves the focus itself: Tab and Shift+Tab
// reach the window as the commands of its two accelerator entries, and those
// commands run the search here.
#pragma once

#include <windows.h>

// The accelerator table to apply to the message being retrieved, or null for
// none. While an editable rich-edit control has the focus, a plain Tab gets no
// table, so that the control receives the key itself.
HACCEL window_accelerator_table(HWND active_window);

// Moves the focus to the next (direction 0) or previous (any other) control
// of the active window, or of the MDI child that holds the focus, that is
// enabled, visible and a tab stop; the search wraps around at both ends.
void focus_tab_stop(int direction);
