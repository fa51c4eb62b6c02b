// A person's actions for window tests, one implementation per system.
#include "test_support.h"

#ifndef _WIN32
#include "platform_driver.h"
#endif

namespace test_support {

void click_screen(POINT screen, int button) {
  move_mouse_to(screen);
  mouse_button(button, true);
  mouse_button(button, false);
}

void click_client(HWND window, int x, int y, int button) {
  POINT point{x, y};
  ClientToScreen(window, &point);
  click_screen(point, button);
}

void press_key(int virtual_key) {
  key_down(virtual_key);
  key_up(virtual_key);
}

void key_chord(std::initializer_list<int> virtual_keys) {
  for (int key : virtual_keys) key_down(key);
  for (auto it = virtual_keys.end(); it != virtual_keys.begin();) key_up(*--it);
}

#ifndef _WIN32

namespace {

// Tests act on the headless display, whatever the environment names: the
// Windows stage exports DISPLAY for its own X server.
const bool headless_display = platform_driver_start(1024, 768);

}  // namespace

void pump_messages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void move_mouse_to(POINT screen) { platform_driver_mouse_move(screen.x, screen.y); }
void mouse_button(int button, bool down) { platform_driver_mouse_button(button, down); }
void key_down(int virtual_key) { platform_driver_key(virtual_key, true); }
void key_up(int virtual_key) { platform_driver_key(virtual_key, false); }
void type_text(const char* text) { platform_driver_type_text(text); }
COLORREF pixel_at(HWND window, int x, int y) { return platform_driver_pixel(window, x, y); }
bool save_window_png(HWND window, const char* path) { return platform_driver_save_png(window, path); }

void bring_to_front(HWND window) { SetForegroundWindow(window); }

#else

namespace {

void send(INPUT input) { SendInput(1, &input, sizeof input); }

}  // namespace

// Input from SendInput travels through the X server and arrives a little
// later: the pump goes on until nothing new has come for a while (the wait
// wakes only for what arrived since the queue was last looked at), and never
// longer than a few seconds.
void pump_messages() {
  constexpr DWORD quiet_ms = 150;
  constexpr DWORD longest_ms = 5000;
  DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (GetTickCount() - start > longest_ms) return;
    if (MsgWaitForMultipleObjects(0, nullptr, FALSE, quiet_ms, QS_ALLINPUT) == WAIT_TIMEOUT) return;
  }
}

void move_mouse_to(POINT screen) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = MulDiv(screen.x, 65536, GetSystemMetrics(SM_CXSCREEN)) + 1;
  input.mi.dy = MulDiv(screen.y, 65536, GetSystemMetrics(SM_CYSCREEN)) + 1;
  input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  send(input);
}

void mouse_button(int button, bool down) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  if (button == VK_RBUTTON)
    input.mi.dwFlags = down ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP;
  else
    input.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
  send(input);
}

void key_down(int virtual_key) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = static_cast<WORD>(virtual_key);
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(static_cast<UINT>(virtual_key), MAPVK_VK_TO_VSC));
  send(input);
}

void key_up(int virtual_key) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = static_cast<WORD>(virtual_key);
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(static_cast<UINT>(virtual_key), MAPVK_VK_TO_VSC));
  input.ki.dwFlags = KEYEVENTF_KEYUP;
  send(input);
}

void type_text(const char* text) {
  for (const char* c = text; *c != '\0'; ++c) {
    SHORT scan = VkKeyScanA(*c);
    if (scan == -1) continue;
    bool shift = (scan >> 8) & 1;
    if (shift) key_down(VK_SHIFT);
    press_key(scan & 0xff);
    if (shift) key_up(VK_SHIFT);
  }
}

COLORREF pixel_at(HWND window, int x, int y) {
  HDC dc = GetDC(window);
  COLORREF colour = GetPixel(dc, x, y);
  ReleaseDC(window, dc);
  return colour;
}

void bring_to_front(HWND window) {
  SetForegroundWindow(window);
  SetActiveWindow(window);
  pump_messages();
}

#endif

}  // namespace test_support
