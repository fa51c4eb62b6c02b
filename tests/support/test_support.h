// A person's actions for tests of windows, on both systems: on Linux through
// the headless display's driver, on Windows through the system's input
// (SendInput), which Wine passes through its X server. Positions are client
// coordinates of the window named, or screen coordinates.
#pragma once

#include <windows.h>

#include <initializer_list>

namespace test_support {

// Dispatches every message that is waiting, paints included. On Windows it
// also lets input that is on its way arrive first.
void pump_messages();

void move_mouse_to(POINT screen);
void mouse_button(int button, bool down);  // VK_LBUTTON, VK_RBUTTON
void click_screen(POINT screen, int button = VK_LBUTTON);
void click_client(HWND window, int x, int y, int button = VK_LBUTTON);
void press_key(int virtual_key);
void key_down(int virtual_key);
void key_up(int virtual_key);
// Presses the keys in order and releases them in reverse: key_chord({VK_MENU, VK_F4}).
void key_chord(std::initializer_list<int> virtual_keys);
void type_text(const char* text);

// A pixel of the window's client area as the screen shows it.
COLORREF pixel_at(HWND window, int x, int y);

#ifndef _WIN32
// The whole window, frame included, as PNG (the headless display only).
bool save_window_png(HWND window, const char* path);
#endif

// Brings a top-level window to the front and gives it the keyboard.
void bring_to_front(HWND window);

}  // namespace test_support
