// The test driver's tick hook: a driver program's own code, run on the GUI
// thread from inside the program's waits and message retrieval, at most once
// per period. It only shortens waits while it is set, so nothing spins.
#include <windows.h>

#include "platform_driver.h"
#include "user/internal.h"

namespace user {
namespace {

struct TickHook {
  void (*hook)(void* context) = nullptr;
  void* context = nullptr;
  DWORD period_ms = 0;
  ULONGLONG due = 0;
  bool running = false;
};

TickHook tick;

}  // namespace

bool run_tick_hook_if_due() {
  if (tick.hook == nullptr || tick.running || GetTickCount64() < tick.due) return false;
  tick.running = true;  // a hook that itself retrieves messages is not called again from inside
  tick.due = GetTickCount64() + tick.period_ms;
  tick.hook(tick.context);
  tick.running = false;
  return true;
}

int milliseconds_to_tick() {
  if (tick.hook == nullptr || tick.running) return -1;
  ULONGLONG now = GetTickCount64();
  return tick.due <= now ? 0 : static_cast<int>(tick.due - now);
}

}  // namespace user

void driver_set_tick_hook(void (*hook)(void* context), void* context, unsigned period_ms) {
  user::tick = user::TickHook{};
  if (hook == nullptr) return;
  user::tick.hook = hook;
  user::tick.context = context;
  user::tick.period_ms = period_ms == 0 ? 1 : period_ms;
  user::tick.due = GetTickCount64() + user::tick.period_ms;
}
