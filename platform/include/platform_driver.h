// The test driver of the headless display, for Linux only and outside the
// Win32 API: it acts as a person at the screen would (moves and presses the
// mouse, presses keys, types) and reads back what the screen shows. Tests and
// demos use it; the program never does. Input goes into the message queue
// like a device's; it is handled when the program retrieves its messages.
#pragma once

#include <windows.h>

// Chooses a headless screen of the given size. Only before the first window
// exists; false afterwards. Without it the screen is 1024 x 768.
bool platform_driver_start(int width, int height);

void platform_driver_mouse_move(int screen_x, int screen_y);
// Presses (down true) or releases VK_LBUTTON, VK_RBUTTON or VK_MBUTTON at the cursor.
void platform_driver_mouse_button(int virtual_key, bool down);
void platform_driver_key(int virtual_key, bool down);
// Presses the keys in order and releases them in reverse order: {VK_MENU, VK_F4}.
void platform_driver_key_chord(const int* virtual_keys, int count);
// Types the text key by key (with Shift where needed); false at a character no key gives.
bool platform_driver_type_text(const char* text);

// A pixel of a window's client area, or of the screen when window is null;
// CLR_INVALID outside.
COLORREF platform_driver_pixel(HWND window, int x, int y);
// Saves the whole window, frame included (or the screen when window is null), as PNG.
bool platform_driver_save_png(HWND window, const char* path);
// The window tree as text, one window a line, indented by depth:
// handle, class, "title", screen rectangle, visible/hidden.
// Returns the length, writing at most size - 1 characters and the terminator.
int platform_driver_window_tree(char* buffer, int size);
// The resource id of the cursor shape last set (32512 for IDC_ARROW), 0 for none.
int platform_driver_cursor_shape();

// Runs hook(context) on the GUI thread while the program waits or retrieves
// messages (GetMessageA, PeekMessageA, WaitMessage, MsgWaitForMultipleObjects,
// platform_wait_for_input), at most once every period_ms and only when due,
// so a driver program can act from inside the program's own event loop. The
// period bounds a wait's timeout only while a hook is set. A null hook
// removes it. The hook is not called again from within itself.
void driver_set_tick_hook(void (*hook)(void* context), void* context, unsigned period_ms);
