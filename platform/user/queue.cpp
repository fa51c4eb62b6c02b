// The message queue of the GUI thread: sent messages are direct calls,
// posted messages wait in a queue. Retrieval takes, in this order, posted
// messages, WM_QUIT, input, WM_PAINT (made up for an invalid window, never
// queued) and WM_TIMER, as Win32 does. Waiting blocks in poll() on the
// display's descriptor and the caller's descriptors. There is one GUI
// thread, the process's main thread: whatever makes a message available
// happens on it, and every wait looks at the queue before it blocks. The one
// exception is PostMessageA from another thread (a console control handler
// runs on one): such a message waits in an inbox, and a byte on a pipe wakes
// the GUI thread's wait, which takes it into the queue.
#include <windows.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <mutex>
#include <vector>

#include "kernel/handle_table.h"
#include "platform_ext.h"
#include "user/internal.h"

namespace user {
namespace {

struct Queue {
  std::deque<MSG> posted;
  bool quit = false;
  int quit_code = 0;
  DWORD changed = 0;  // QS_ bits that arrived since the queue was last looked at
  DWORD last_time = 0;
  DWORD last_pos = 0;
};

Queue& queue() {
  static Queue q;
  return q;
}

void signal(DWORD bits) { queue().changed |= bits; }

// A timer that comes due is new input once, as a posted message is: it is
// not new again until its message has been retrieved and it comes due anew.
void note_timers() {
  if (note_due_timers()) signal(QS_TIMER);
}

struct Inbox {
  std::mutex lock;
  std::vector<MSG> messages;
  int wake[2] = {-1, -1};
};

// Never destroyed: another thread may post while the process ends.
Inbox& inbox() {
  static Inbox* const instance = [] {
    auto* made = new Inbox;
    if (pipe2(made->wake, O_CLOEXEC | O_NONBLOCK) != 0) made->wake[0] = made->wake[1] = -1;
    return made;
  }();
  return *instance;
}

bool on_gui_thread() { return GetCurrentThreadId() == GetCurrentProcessId(); }

// Moves what other threads posted into the queue. A message for a window
// that has gone since is dropped, as Win32 drops it.
void take_inbox() {
  Inbox& box = inbox();
  std::vector<MSG> arrived;
  {
    std::lock_guard held(box.lock);
    if (box.messages.empty()) return;
    arrived.swap(box.messages);
    char bytes[64];
    while (read(box.wake[0], bytes, sizeof bytes) > 0) {
    }
  }
  for (const MSG& msg : arrived) {
    if (msg.hwnd != nullptr && find(msg.hwnd) == nullptr) continue;
    queue().posted.push_back(msg);
    signal(QS_POSTMESSAGE | QS_ALLPOSTMESSAGE);
  }
}

bool matches(const MSG& msg, HWND filter, UINT first, UINT last) {
  if (first != 0 || last != 0) {
    if (msg.message < first || msg.message > last) return false;
  }
  if (filter == reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1))) return msg.hwnd == nullptr;
  return filter == nullptr || msg.hwnd == filter || IsChild(filter, msg.hwnd);
}

DWORD now() { return GetTickCount(); }

// Takes the next message by Win32's priorities, or reports that there is none.
bool fetch(MSG* msg, HWND filter, UINT first, UINT last, UINT flags) {
  Queue& q = queue();
  bool remove = flags & PM_REMOVE;
  note_timers();
  q.changed = 0;
  for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
    if (!matches(*it, filter, first, last)) continue;
    *msg = *it;
    if (remove) q.posted.erase(it);
    return true;
  }
  // WM_QUIT comes whatever the range asked for, so that a filtered loop ends too.
  if (q.quit) {
    *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(q.quit_code), 0, now(), {}};
    GetCursorPos(&msg->pt);
    if (remove) q.quit = false;
    return true;
  }
  if (take_input(msg, filter, first, last, remove)) return true;
  if (first == 0 && last == 0 ? true : (WM_PAINT >= first && WM_PAINT <= last)) {
    HWND paint = window_needing_paint(filter);
    if (paint != nullptr) {
      *msg = MSG{paint, WM_PAINT, 0, 0, now(), {}};
      GetCursorPos(&msg->pt);
      if (remove) find(paint)->internal_paint = false;
      return true;
    }
  }
  if (first == 0 && last == 0 ? true : (WM_TIMER >= first && WM_TIMER <= last)) {
    if (take_timer(msg, filter, remove)) return true;
  }
  return false;
}

// What retrieval would find now, as QS_ bits.
DWORD present_bits() {
  Queue& q = queue();
  DWORD bits = input_queue_bits();
  if (!q.posted.empty() || q.quit) bits |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
  if (window_needing_paint(nullptr) != nullptr) bits |= QS_PAINT;
  if (milliseconds_to_next_timer() == 0) bits |= QS_TIMER;
  return bits;
}

enum class WaitEnd { descriptor, message, timeout, failed };

// Blocks until `ready()` holds, one of `fds` is readable, or the timeout passes.
// The display's own events are read on the way and may make `ready()` true.
// They are read first, because events the display has already read in do
// not make its descriptor readable again, and after that whenever the
// descriptor is readable or a tick hook has run: nothing else on this thread
// reads them in while the wait goes on.
template <typename Ready>
WaitEnd wait(const int* fds, DWORD count, DWORD timeout_ms, Ready ready, DWORD* which) {
  ULONGLONG start = GetTickCount64();
  display::Display& screen = display::current();
  std::vector<pollfd> polled;
  int display_fd = screen.wait_descriptor();
  bool read_display = display_fd >= 0;
  const int inbox_fd = inbox().wake[0];
  for (;;) {
    if (read_display) screen.process_events(input_sink());
    read_display = run_tick_hook_if_due() && display_fd >= 0;
    take_inbox();
    if (ready()) return WaitEnd::message;
    int remaining = -1;
    if (timeout_ms != INFINITE) {
      ULONGLONG spent = GetTickCount64() - start;
      if (spent >= timeout_ms) return WaitEnd::timeout;
      remaining = static_cast<int>(timeout_ms - spent);
    }
    // A timer that is already due and did not make `ready()` true is of no
    // interest to this wait: only one still to come may wake it.
    int timer = milliseconds_to_next_timer();
    if (timer > 0 && (remaining < 0 || timer < remaining)) remaining = timer;
    int tick = milliseconds_to_tick();
    if (tick >= 0 && (remaining < 0 || tick < remaining)) remaining = tick;
    if (read_display) continue;  // the hook's events first
    polled.clear();
    for (DWORD i = 0; i < count; ++i) polled.push_back(pollfd{fds[i], POLLIN, 0});
    if (inbox_fd >= 0) polled.push_back(pollfd{inbox_fd, POLLIN, 0});
    if (display_fd >= 0) polled.push_back(pollfd{display_fd, POLLIN, 0});
    int n = poll(polled.data(), polled.size(), remaining);
    if (n < 0 && errno != EINTR) return WaitEnd::failed;
    if (n <= 0) continue;
    for (DWORD i = 0; i < count; ++i) {
      if (polled[i].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) {
        *which = i;
        return WaitEnd::descriptor;
      }
    }
    read_display = display_fd >= 0 && polled.back().revents != 0;
  }
}

}  // namespace

void queue_changed() { signal(QS_INPUT); }

void post_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  MSG msg{window, message, wparam, lparam, now(), {}};
  GetCursorPos(&msg.pt);
  queue().posted.push_back(msg);
  signal(QS_POSTMESSAGE | QS_ALLPOSTMESSAGE);
}

void purge_messages(HWND window) {
  std::deque<MSG>& posted = queue().posted;
  std::erase_if(posted, [window](const MSG& msg) { return msg.hwnd == window; });
}

DWORD message_time() { return queue().last_time; }

void note_paint_needed() { signal(QS_PAINT); }

}  // namespace user

using namespace user;

LRESULT WINAPI CallWindowProcA(WNDPROC procedure, HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (procedure == nullptr) return 0;
  return procedure(window, message, wparam, lparam);
}

// SendMessageA: on the one GUI thread a sent message is a direct call of the procedure.
LRESULT WINAPI SendMessageA(HWND handle, UINT message, WPARAM wparam, LPARAM lparam) {
  Window* window = find_or_fail(handle);
  if (window == nullptr) return 0;
  return CallWindowProcA(window->procedure, handle, message, wparam, lparam);
}

// PostMessageA: from another thread the window is looked for only when the
// GUI thread takes the message in, since the windows belong to that thread.
BOOL WINAPI PostMessageA(HWND handle, UINT message, WPARAM wparam, LPARAM lparam) {
  if (!on_gui_thread()) {
    Inbox& box = inbox();
    std::lock_guard held(box.lock);
    box.messages.push_back(MSG{handle, message, wparam, lparam, now(), {}});
    const char byte = 1;
    return write(box.wake[1], &byte, 1) == 1 || errno == EAGAIN ? TRUE : FALSE;
  }
  if (handle != nullptr && find_or_fail(handle) == nullptr) return FALSE;
  post_message(handle, message, wparam, lparam);
  return TRUE;
}

void WINAPI PostQuitMessage(int exit_code) {
  Queue& q = queue();
  q.quit = true;
  q.quit_code = exit_code;
  signal(QS_POSTMESSAGE);
}

BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT first, UINT last, UINT remove) {
  display::Display& screen = display::current();
  if (screen.wait_descriptor() >= 0) screen.process_events(input_sink());
  run_tick_hook_if_due();
  take_inbox();
  if (!fetch(msg, window, first, last, remove)) return FALSE;
  if (remove & PM_REMOVE) {
    update_key_state(*msg);
    queue().last_time = msg->time;
    queue().last_pos = static_cast<DWORD>(MAKELONG(msg->pt.x, msg->pt.y));
  }
  return TRUE;
}

// The wait ends only for a message this call may take: one outside the
// filter stays queued and is no reason to look again.
BOOL WINAPI GetMessageA(LPMSG msg, HWND window, UINT first, UINT last) {
  DWORD unused;
  const auto wanted_one_waits = [window, first, last] {
    MSG probe;
    return fetch(&probe, window, first, last, PM_NOREMOVE);
  };
  while (!PeekMessageA(msg, window, first, last, PM_REMOVE)) {
    if (wait(nullptr, 0, INFINITE, wanted_one_waits, &unused) == WaitEnd::failed) return -1;
  }
  return msg->message != WM_QUIT;
}

BOOL WINAPI WaitMessage() {
  DWORD unused;
  return wait(
             nullptr, 0, INFINITE, [] { return present_bits() != 0; }, &unused) != WaitEnd::failed;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
  if (msg == nullptr) return 0;
  // A timer with a procedure calls it, also a thread's timer that has no window.
  if (msg->message == WM_TIMER && msg->lParam != 0) {
    reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, msg->time);
    return 0;
  }
  if (msg->hwnd == nullptr) return 0;
  return SendMessageA(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

// MsgWaitForMultipleObjectsEx: wakes for a signalled object (the first in
// the array wins, and an auto-reset one is reset) or for a message that
// arrived since the queue was last looked at; with MWMO_INPUTAVAILABLE also
// for one that is already there. Objects are serial lines and waitable
// timers; waiting for all of them at once is not offered.
DWORD WINAPI MsgWaitForMultipleObjectsEx(DWORD count, const HANDLE* handles, DWORD timeout, DWORD wake_mask,
                                         DWORD flags) {
  if (count > MAXIMUM_WAIT_OBJECTS - 1 || (count > 0 && (handles == nullptr || (flags & MWMO_WAITALL)))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  std::vector<KernelObject*> objects;
  std::vector<int> fds;
  for (DWORD i = 0; i < count; ++i) {
    KernelObject* object = handle_lookup_any(handles[i]);
    if (object == nullptr || object->wait_descriptor() < 0) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    objects.push_back(object);
    fds.push_back(object->wait_descriptor());
  }
  bool available = flags & MWMO_INPUTAVAILABLE;
  auto ready = [wake_mask, available] {
    note_timers();
    DWORD bits = queue().changed | (available ? present_bits() : 0);
    return (bits & wake_mask) != 0;
  };
  const ULONGLONG start = GetTickCount64();
  std::vector<pollfd> looked(count);
  for (;;) {
    // One look at all the descriptors at once (poll, no waiting); only an
    // object whose descriptor is readable, or that holds its signal, is asked.
    for (DWORD i = 0; i < count; ++i) looked[i] = pollfd{fds[i], POLLIN, 0};
    if (count > 0 && poll(looked.data(), count, 0) < 0 && errno != EINTR) return WAIT_FAILED;
    for (DWORD i = 0; i < count; ++i) {
      if ((looked[i].revents != 0 || objects[i]->holds_signal()) && objects[i]->take_signal()) return WAIT_OBJECT_0 + i;
    }
    DWORD left = INFINITE;
    if (timeout != INFINITE) {
      const ULONGLONG spent = GetTickCount64() - start;
      left = spent >= timeout ? 0 : static_cast<DWORD>(timeout - spent);
    }
    DWORD unused;
    switch (wait(fds.data(), count, left, ready, &unused)) {
      case WaitEnd::descriptor: continue;  // signalled, or not after all: looked at again
      case WaitEnd::message: return WAIT_OBJECT_0 + count;
      case WaitEnd::timeout: return WAIT_TIMEOUT;
      default: return WAIT_FAILED;
    }
  }
}

DWORD WINAPI MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL wait_all, DWORD timeout,
                                       DWORD wake_mask) {
  return MsgWaitForMultipleObjectsEx(count, handles, timeout, wake_mask, wait_all ? MWMO_WAITALL : 0);
}

DWORD WINAPI GetQueueStatus(UINT flags) {
  note_timers();
  DWORD changed = queue().changed & flags;
  queue().changed &= ~flags;
  return MAKELONG(changed, present_bits() & flags);
}

LONG WINAPI GetMessageTime() { return static_cast<LONG>(queue().last_time); }

DWORD WINAPI GetMessagePos() { return queue().last_pos; }

BOOL WINAPI InSendMessage() { return FALSE; }

DWORD platform_wait_for_input(const int* fds, DWORD count, DWORD timeout_ms) {
  DWORD which = 0;
  switch (wait(
      fds, count, timeout_ms, [] { return present_bits() != 0; }, &which)) {
    case WaitEnd::descriptor: return WAIT_OBJECT_0 + which;
    case WaitEnd::message: return WAIT_OBJECT_0 + count;
    case WaitEnd::timeout: return WAIT_TIMEOUT;
    default: return WAIT_FAILED;
  }
}
