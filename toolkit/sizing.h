// The toolkit's own window sizing loop, driven one message at a time by the
// window procedure.
#pragma once

#include <windows.h>

struct SizingLoopState {
  LONG active;          // 1 while a sizing loop runs
  LONG restore_cursor;  // 1: put the cursor back at saved_cursor at the end
  POINT saved_cursor;
  RECT rect;  // the window rectangle being tracked, screen coordinates
  LONG edge;  // WMSZ code of the edges that follow the cursor
  MINMAXINFO limits;
};

// Made by windows_init; lives until the process ends.
extern SizingLoopState* sizing_state;

// Offered every message of a toolkit window before anything else: 0 when the
// loop took it, RESULT_DEFAULT when it did not.
LRESULT sizing_loop_filter(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
