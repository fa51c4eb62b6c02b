// The toolkit's own window sizing loop. When full-window dragging is on, a
// size command (a border drag, or the Size command and the arrow keys) does not
// start the platform's modal sizing loop: this one runs instead, with mouse
// capture, one message at a time inside the toolkit's window procedure, so the
// application's event loop keeps running while the window is sized.
#pragma once

#include <windows.h>

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
