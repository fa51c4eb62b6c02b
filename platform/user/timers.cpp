// Timers: WM_TIMER is made up when a timer is due and nothing else waits,
// never queued, as Win32 does; a timer due several times gives one message.
#include <windows.h>

#include <vector>

#include "user/internal.h"

namespace user {
namespace {

struct Timer {
  HWND window;
  UINT_PTR id;
  UINT elapse;
  TIMERPROC procedure;
  ULONGLONG due;
  bool told = false;  // its coming due has been told to the queue
};

std::vector<Timer> timers;
UINT_PTR next_thread_timer = 1;

}  // namespace

bool take_timer(MSG* msg, HWND filter, bool remove) {
  ULONGLONG now = GetTickCount64();
  for (Timer& timer : timers) {
    if (timer.due > now) continue;
    if (filter != nullptr && timer.window != filter && !IsChild(filter, timer.window)) continue;
    *msg =
        MSG{timer.window, WM_TIMER, timer.id, reinterpret_cast<LPARAM>(timer.procedure), static_cast<DWORD>(now), {}};
    GetCursorPos(&msg->pt);
    if (remove) {
      timer.due = now + timer.elapse;
      timer.told = false;
    }
    return true;
  }
  return false;
}

bool note_due_timers() {
  ULONGLONG now = GetTickCount64();
  bool any = false;
  for (Timer& timer : timers) {
    if (timer.due > now || timer.told) continue;
    timer.told = true;
    any = true;
  }
  return any;
}

int milliseconds_to_next_timer() {
  if (timers.empty()) return -1;
  ULONGLONG now = GetTickCount64();
  ULONGLONG next = ~0ull;
  for (const Timer& timer : timers) next = std::min(next, timer.due);
  return next <= now ? 0 : static_cast<int>(std::min<ULONGLONG>(next - now, 0x7fffffff));
}

void kill_timers_of(HWND window) {
  std::erase_if(timers, [window](const Timer& t) { return t.window == window; });
}

}  // namespace user

using namespace user;

UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC procedure) {
  if (window != nullptr && find_or_fail(window) == nullptr) return 0;
  elapse = std::max<UINT>(elapse, 10);  // USER_TIMER_MINIMUM
  if (window == nullptr) id = next_thread_timer++;
  for (Timer& timer : timers) {
    if (timer.window == window && timer.id == id) {
      timer = Timer{window, id, elapse, procedure, GetTickCount64() + elapse};
      return window == nullptr ? id : 1;
    }
  }
  timers.push_back(Timer{window, id, elapse, procedure, GetTickCount64() + elapse});
  return window == nullptr ? id : 1;
}

BOOL WINAPI KillTimer(HWND window, UINT_PTR id) {
  auto before = timers.size();
  std::erase_if(timers, [window, id](const Timer& t) { return t.window == window && t.id == id; });
  return timers.size() != before;
}
