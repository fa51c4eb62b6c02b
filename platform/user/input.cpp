// Keyboard and mouse input: what the display delivers waits in the input
// queue in its order and becomes a window message when it is retrieved: key
// messages for the focus (or the active window), mouse messages for the
// capture or the window under the cursor, with client or screen coordinates
// by hit test. The key state that GetKeyState reports is the one as of the
// message retrieved last; GetAsyncKeyState reports the devices' own state.
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <deque>

#include "user/internal.h"

namespace user {

UINT MapVirtualKeyScan(int virtual_key);

namespace {

struct HardwareEvent {
  enum Kind { move, button, key } kind;
  int virtual_key;
  bool down;
  POINT point;
  DWORD time;
  bool alt;     // Alt was held when the key was pressed
  bool repeat;  // the key was already down
  WPARAM mouse_keys;
};

struct InputState {
  std::deque<HardwareEvent> events;
  std::array<BYTE, 256> async_keys{};   // 0x80 down
  std::array<BYTE, 256> thread_keys{};  // 0x80 down, 0x01 toggled
  POINT cursor{};
  HWND capture = nullptr;
  // The last button press, for double clicks.
  HWND last_click_window = nullptr;
  UINT last_click_message = 0;
  DWORD last_click_time = 0;
  POINT last_click_point{};
};

InputState& state() {
  static InputState s;
  return s;
}

constexpr DWORD double_click_time = 500;

WPARAM mouse_keys_now() {
  const auto& keys = state().async_keys;
  WPARAM flags = 0;
  if (keys[VK_LBUTTON] & 0x80) flags |= MK_LBUTTON;
  if (keys[VK_RBUTTON] & 0x80) flags |= MK_RBUTTON;
  if (keys[VK_MBUTTON] & 0x80) flags |= MK_MBUTTON;
  if (keys[VK_SHIFT] & 0x80) flags |= MK_SHIFT;
  if (keys[VK_CONTROL] & 0x80) flags |= MK_CONTROL;
  return flags;
}

// The sided keys move their generic key with them.
int generic_key(int virtual_key) {
  switch (virtual_key) {
    case VK_LSHIFT:
    case VK_RSHIFT: return VK_SHIFT;
    case VK_LCONTROL:
    case VK_RCONTROL: return VK_CONTROL;
    case VK_LMENU:
    case VK_RMENU: return VK_MENU;
    default: return virtual_key;
  }
}

class Sink final : public display::InputSink {
 public:
  void mouse_move(POINT screen) override {
    InputState& s = state();
    s.cursor = screen;
    // Moves are merged, as Windows does: only the newest position waits.
    if (!s.events.empty() && s.events.back().kind == HardwareEvent::move) {
      s.events.back().point = screen;
      s.events.back().time = GetTickCount();
    } else {
      s.events.push_back(
          HardwareEvent{HardwareEvent::move, 0, false, screen, GetTickCount(), false, false, mouse_keys_now()});
    }
    queue_changed();
  }
  void mouse_button(int virtual_key, bool down, POINT screen) override {
    InputState& s = state();
    s.cursor = screen;
    s.async_keys[virtual_key & 0xff] = down ? 0x80 : 0;
    s.events.push_back(HardwareEvent{HardwareEvent::button, virtual_key, down, screen, GetTickCount(), false, false,
                                     mouse_keys_now()});
    queue_changed();
  }
  void key(int virtual_key, bool down) override {
    InputState& s = state();
    int generic = generic_key(virtual_key & 0xff);
    bool repeat = down && (s.async_keys[generic] & 0x80);
    s.async_keys[generic] = down ? 0x80 : 0;
    if (generic != virtual_key) s.async_keys[virtual_key & 0xff] = down ? 0x80 : 0;
    bool alt = (s.async_keys[VK_MENU] & 0x80) != 0;
    s.events.push_back(HardwareEvent{HardwareEvent::key, generic, down, s.cursor, GetTickCount(), alt, repeat, 0});
    queue_changed();
  }
  void activate(HWND window) override {
    // A disabled window (the owner of a modal box) stays inactive.
    if (IsWindow(window) && IsWindowEnabled(window) && IsWindowVisible(window)) activate_window(window, false);
  }
  void close(HWND window) override {
    if (IsWindow(window) && IsWindowEnabled(window)) PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  }
  void expose(HWND window, const RECT&) override {
    if (!IsWindow(window)) return;
    invalidate_frame(window);
    invalidate_window(window, nullptr, true, true);
  }
};

// The deepest enabled, visible window under a screen point, or none.
HWND window_at(POINT point) {
  const std::vector<HWND>& stack = top_levels();
  for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
    Window* top = find(*it);
    if (!(top->style & WS_VISIBLE) || !PtInRect(&top->rect, point)) continue;
    HWND found = top->handle;
    for (;;) {
      Window* window = find(found);
      POINT origin = client_origin(*window);
      POINT inside{point.x - origin.x, point.y - origin.y};
      HWND deeper = nullptr;
      for (auto child = window->children.rbegin(); child != window->children.rend(); ++child) {
        Window* c = find(*child);
        if ((c->style & WS_VISIBLE) && !(c->style & WS_DISABLED) && PtInRect(&c->rect, inside)) {
          deeper = *child;
          break;
        }
      }
      if (deeper == nullptr) return found;
      found = deeper;
    }
  }
  return nullptr;
}

LPARAM key_lparam(const HardwareEvent& e) {
  UINT scan = MapVirtualKeyScan(e.virtual_key);
  LPARAM lparam = 1 | (static_cast<LPARAM>(scan & 0xff) << 16);
  if (e.alt) lparam |= static_cast<LPARAM>(KF_ALTDOWN) << 16;
  if (!e.down || e.repeat) lparam |= static_cast<LPARAM>(KF_REPEAT) << 16;
  if (!e.down) lparam |= static_cast<LPARAM>(KF_UP) << 16;
  return lparam;
}

UINT button_message(int virtual_key, bool down) {
  switch (virtual_key) {
    case VK_LBUTTON: return down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
    case VK_RBUTTON: return down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
    default: return down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
  }
}

// Builds the message for the oldest input. False when it has no receiver.
bool make_message(const HardwareEvent& e, MSG* msg, int* hit) {
  InputState& s = state();
  *msg = MSG{nullptr, 0, 0, 0, e.time, e.point};
  *hit = HTCLIENT;
  if (e.kind == HardwareEvent::key) {
    HWND target = GetFocus();
    bool system = e.alt && !(s.async_keys[VK_CONTROL] & 0x80);
    if (e.virtual_key == VK_MENU || e.virtual_key == VK_F10) system = true;
    if (target == nullptr) {
      target = GetActiveWindow();
      system = true;  // with no focus, the active window gets system keys
    }
    if (target == nullptr) return false;
    msg->hwnd = target;
    msg->message = system ? (e.down ? WM_SYSKEYDOWN : WM_SYSKEYUP) : (e.down ? WM_KEYDOWN : WM_KEYUP);
    msg->wParam = static_cast<WPARAM>(e.virtual_key);
    msg->lParam = key_lparam(e);
    return true;
  }
  HWND target = s.capture != nullptr ? s.capture : window_at(e.point);
  if (target == nullptr) return false;
  if (s.capture == nullptr) {
    // A window transparent to the mouse (a plain static text) passes it to its parent.
    for (;;) {
      *hit = static_cast<int>(SendMessageA(target, WM_NCHITTEST, 0, MAKELPARAM(e.point.x, e.point.y)));
      if (!IsWindow(target)) return false;
      Window* w = find(target);
      if (*hit != HTTRANSPARENT || w->parent == nullptr) break;
      target = w->parent;
    }
    // A disabled window, or one inside a disabled top-level window (the owner of a modal box), gets no mouse input.
    for (Window* w = find(target); w != nullptr; w = w->parent ? find(w->parent) : nullptr) {
      if (w->style & WS_DISABLED) return false;
    }
  }
  UINT message = e.kind == HardwareEvent::move ? WM_MOUSEMOVE : button_message(e.virtual_key, e.down);
  msg->hwnd = target;
  if (*hit == HTCLIENT) {
    POINT client = e.point;
    ScreenToClient(target, &client);
    msg->message = message;
    msg->wParam = e.mouse_keys;
    msg->lParam = MAKELPARAM(client.x, client.y);
  } else {
    msg->message = message - WM_MOUSEMOVE + WM_NCMOUSEMOVE;
    msg->wParam = static_cast<WPARAM>(*hit);
    msg->lParam = MAKELPARAM(e.point.x, e.point.y);
  }
  return true;
}

// A press in the window's class with CS_DBLCLKS soon after the same press turns into a double click.
void detect_double_click(MSG* msg) {
  InputState& s = state();
  UINT m = msg->message;
  bool client_down = m == WM_LBUTTONDOWN || m == WM_RBUTTONDOWN || m == WM_MBUTTONDOWN;
  bool frame_down = m == WM_NCLBUTTONDOWN || m == WM_NCRBUTTONDOWN;
  if (!client_down && !frame_down) return;
  Window* window = find(msg->hwnd);
  bool allowed = frame_down || (window->window_class->info.style & CS_DBLCLKS);
  if (allowed && s.last_click_window == msg->hwnd && s.last_click_message == m &&
      msg->time - s.last_click_time <= double_click_time && std::abs(msg->pt.x - s.last_click_point.x) <= 2 &&
      std::abs(msg->pt.y - s.last_click_point.y) <= 2) {
    msg->message = m + 2;  // the ..DBLCLK message follows ..BUTTONUP
    s.last_click_window = nullptr;
    return;
  }
  s.last_click_window = msg->hwnd;
  s.last_click_message = m;
  s.last_click_time = msg->time;
  s.last_click_point = msg->pt;
}

// Before a press reaches a window of an inactive top-level window, that window is activated.
bool mouse_activate(const MSG& msg, int hit) {
  HWND top = top_level_of(msg.hwnd);
  if (top == nullptr || top == GetActiveWindow()) return true;
  LRESULT answer =
      SendMessageA(msg.hwnd, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(top), MAKELPARAM(hit, msg.message));
  if (answer == MA_ACTIVATE || answer == MA_ACTIVATEANDEAT) activate_window(top, true);
  return answer != MA_ACTIVATEANDEAT && answer != MA_NOACTIVATEANDEAT;
}

}  // namespace

display::InputSink& input_sink() {
  static Sink sink;
  return sink;
}

DWORD input_queue_bits() {
  DWORD bits = 0;
  for (const HardwareEvent& e : state().events) {
    bits |= e.kind == HardwareEvent::key ? QS_KEY : e.kind == HardwareEvent::move ? QS_MOUSEMOVE : QS_MOUSEBUTTON;
  }
  return bits;
}

bool input_waiting() { return !state().events.empty(); }

bool take_input(MSG* msg, HWND filter, UINT first, UINT last, bool remove) {
  InputState& s = state();
  while (!s.events.empty()) {
    HardwareEvent e = s.events.front();
    int hit = HTCLIENT;
    if (!make_message(e, msg, &hit)) {
      s.events.pop_front();  // nobody to receive it
      continue;
    }
    bool in_range = (first == 0 && last == 0) || (msg->message >= first && msg->message <= last);
    if (!in_range || (filter != nullptr && msg->hwnd != filter && !IsChild(filter, msg->hwnd))) return false;
    if (!remove) return true;
    s.events.pop_front();
    if (e.kind != HardwareEvent::key) {
      detect_double_click(msg);
      // While the mouse is captured the cursor is the holder's business: Win32 sends no WM_SETCURSOR.
      if (s.capture == nullptr)
        SendMessageA(msg->hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(msg->hwnd), MAKELPARAM(hit, msg->message));
      if (e.kind == HardwareEvent::button && e.down && !mouse_activate(*msg, hit)) continue;
      if (!IsWindow(msg->hwnd)) continue;
      if (nonclient_tracking(*msg)) {
        update_key_state(*msg);
        continue;
      }
    }
    return true;
  }
  return false;
}

void update_key_state(const MSG& msg) {
  auto& keys = state().thread_keys;
  auto set = [&keys](int vk, bool down) {
    BYTE& k = keys[vk & 0xff];
    if (down && !(k & 0x80)) k ^= 0x01;  // each press flips the toggle
    k = static_cast<BYTE>((k & 0x01) | (down ? 0x80 : 0));
  };
  switch (msg.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: set(static_cast<int>(msg.wParam), true); break;
    case WM_KEYUP:
    case WM_SYSKEYUP: set(static_cast<int>(msg.wParam), false); break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK: set(VK_LBUTTON, true); break;
    case WM_LBUTTONUP:
    case WM_NCLBUTTONUP: set(VK_LBUTTON, false); break;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_NCRBUTTONDOWN: set(VK_RBUTTON, true); break;
    case WM_RBUTTONUP:
    case WM_NCRBUTTONUP: set(VK_RBUTTON, false); break;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK: set(VK_MBUTTON, true); break;
    case WM_MBUTTONUP: set(VK_MBUTTON, false); break;
    default: break;
  }
}

// A window that is destroyed loses the capture without being told, as on
// Win32, where it holds the capture until its last message.
void forget_capture_of(HWND window) {
  if (state().capture == window) state().capture = nullptr;
}

}  // namespace user

using namespace user;

// A scan code per virtual key, as a US keyboard has them; only the lParam of key messages carries it.
UINT user::MapVirtualKeyScan(int virtual_key) {
  static const char* const row = "QWERTYUIOP";
  static const char* const home = "ASDFGHJKL";
  static const char* const bottom = "ZXCVBNM";
  for (int i = 0; row[i]; ++i)
    if (row[i] == virtual_key) return 0x10 + i;
  for (int i = 0; home[i]; ++i)
    if (home[i] == virtual_key) return 0x1E + i;
  for (int i = 0; bottom[i]; ++i)
    if (bottom[i] == virtual_key) return 0x2C + i;
  if (virtual_key >= '1' && virtual_key <= '9') return 0x02 + (virtual_key - '1');
  switch (virtual_key) {
    case '0': return 0x0B;
    case VK_ESCAPE: return 0x01;
    case VK_BACK: return 0x0E;
    case VK_TAB: return 0x0F;
    case VK_RETURN: return 0x1C;
    case VK_CONTROL: return 0x1D;
    case VK_SHIFT: return 0x2A;
    case VK_MENU: return 0x38;
    case VK_SPACE: return 0x39;
    default: return virtual_key >= VK_F1 && virtual_key <= VK_F10 ? 0x3B + (virtual_key - VK_F1) : 0;
  }
}

SHORT WINAPI GetKeyState(int virtual_key) {
  BYTE k = state().thread_keys[virtual_key & 0xff];
  return static_cast<SHORT>(((k & 0x80) ? 0xFF80 : 0) | (k & 0x01));
}

SHORT WINAPI GetAsyncKeyState(int virtual_key) {
  return static_cast<SHORT>((state().async_keys[virtual_key & 0xff] & 0x80) ? 0x8000 : 0);
}

HWND WINAPI SetCapture(HWND window) {
  InputState& s = state();
  HWND previous = s.capture;
  if (find(window) == nullptr) return previous;
  s.capture = window;
  // The holder is told even when it takes the capture again itself.
  if (previous != nullptr && IsWindow(previous)) {
    SendMessageA(previous, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(window));
  }
  return previous;
}

BOOL WINAPI ReleaseCapture() {
  InputState& s = state();
  HWND previous = s.capture;
  s.capture = nullptr;
  if (previous != nullptr && IsWindow(previous)) SendMessageA(previous, WM_CAPTURECHANGED, 0, 0);
  return TRUE;
}

HWND WINAPI GetCapture() { return state().capture; }

BOOL WINAPI GetCursorPos(LPPOINT point) {
  if (point == nullptr) return FALSE;
  *point = state().cursor;
  return TRUE;
}

// Placing the cursor moves the mouse: the window under it (or the capture) gets a WM_MOUSEMOVE.
BOOL WINAPI SetCursorPos(int x, int y) {
  SIZE screen = display::current().screen_size();
  POINT point{std::clamp<LONG>(x, 0, screen.cx - 1), std::clamp<LONG>(y, 0, screen.cy - 1)};
  if (point.x != state().cursor.x || point.y != state().cursor.y) input_sink().mouse_move(point);
  return TRUE;
}

HWND WINAPI WindowFromPoint(POINT point) { return window_at(point); }

HWND WINAPI ChildWindowFromPoint(HWND parent, POINT point) {
  Window* window = find_or_fail(parent);
  if (window == nullptr) return nullptr;
  RECT client{0, 0, window->client.right - window->client.left, window->client.bottom - window->client.top};
  if (!PtInRect(&client, point)) return nullptr;
  for (auto child = window->children.rbegin(); child != window->children.rend(); ++child) {
    if (PtInRect(&find(*child)->rect, point)) return *child;
  }
  return parent;
}
