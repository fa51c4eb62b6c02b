// What the units of user32 ask of one another. Internal to the platform.
#pragma once

#include <span>
#include <vector>

#include "user/input_sink.h"
#include "user/window.h"

namespace user {

// nonclient.cpp: the frame that DefWindowProcA draws and answers for.
RECT client_area_for(DWORD style, DWORD ex_style, int width, int height);  // window coordinates
void frame_thickness(DWORD style, DWORD ex_style, RECT* insets);           // per-edge thickness, caption included
LRESULT nonclient_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, bool* handled);
void draw_frame(HWND window);
bool nonclient_tracking(const MSG& msg);  // consumes mouse input while the close box is held

// position.cpp: the one place that moves, sizes and shows windows.
bool set_window_position(HWND window, int x, int y, int width, int height, UINT flags);
void fill_min_max_info(HWND window, MINMAXINFO* info);
// width x height held within the window's tracking size (WM_GETMINMAXINFO),
// the minimum winning over a smaller maximum.
SIZE within_track_size(HWND window, int width, int height);
void describe_to_display(HWND window);  // a top-level window's title, sizing, owner and icon
// The client area the window's procedure answers to WM_NCCALCSIZE for
// `window_rect` (parent client coordinates), in window coordinates.
RECT ask_client_area(HWND window, const RECT& window_rect, WINDOWPOS* pos);

// paint.cpp
void invalidate_window(HWND window, const RECT* client_rect, bool erase, bool children);
void invalidate_frame(HWND window);
void invalidate_parent_area(HWND parent, const RECT& parent_client_rect);
HWND window_needing_paint(HWND filter);
// Shows what a DC opened for `drawn_for` changed in the window's top-level
// image (top-level image coordinates) on the display.
void present_window(HWND window, const RECT& drawn_for, const RECT& changed);

// focus.cpp
void activate_window(HWND window, bool by_mouse);
void activate_other_than(HWND window);
void window_going_away(HWND window);  // hidden or destroyed: move the focus and activation elsewhere

// input.cpp
void forget_capture_of(HWND window);  // a destroyed window's, untold
bool take_input(MSG* msg, HWND filter, UINT first, UINT last, bool remove);
bool input_waiting();
void update_key_state(const MSG& msg);

// queue.cpp
void note_paint_needed();
void queue_changed();  // something a waiting thread may want arrived
void purge_messages(HWND window);
void post_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
DWORD message_time();

// cursor.cpp
void update_cursor_shape(HWND window, int hit);
// The PNG images of a program icon from LoadIconA; none for any other handle.
std::vector<std::span<const unsigned char>> icon_images(HICON icon);

}  // namespace user

namespace user {
// tick_hook.cpp
bool run_tick_hook_if_due();  // true when it ran
int milliseconds_to_tick();   // -1 when no hook is set
// timers.cpp
bool take_timer(MSG* msg, HWND filter, bool remove);
int milliseconds_to_next_timer();  // -1 when no timer runs
// Whether a timer came due since the last call: each coming due is told once.
bool note_due_timers();
void kill_timers_of(HWND window);
}  // namespace user
