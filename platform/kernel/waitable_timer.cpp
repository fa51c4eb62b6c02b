// Waitable timers over timerfd on the monotonic clock, whose resolution is
// fine already: CREATE_WAITABLE_TIMER_HIGH_RESOLUTION is accepted and changes
// nothing. Completion routines need alertable waits, which this layer does not
// have; a timer given one is refused.
#include <windows.h>

#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>

#include "kernel/handle_table.h"

namespace {

constexpr DWORD known_flags = CREATE_WAITABLE_TIMER_MANUAL_RESET | CREATE_WAITABLE_TIMER_HIGH_RESOLUTION;

// 100 ns units from 1601-01-01 to 1970-01-01.
constexpr LONGLONG unix_epoch_as_filetime = 116444736000000000LL;

class WaitableTimer final : public KernelObject {
 public:
  static constexpr HandleKind handle_kind = HandleKind::waitable_timer;

  WaitableTimer(int fd, bool manual_reset) : KernelObject(handle_kind), fd_(fd), manual_reset_(manual_reset) {}
  ~WaitableTimer() override {
    if (fd_ >= 0) close();
  }

  bool close() override {
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0;
  }

  int wait_descriptor() const override { return fd_; }

  // Expirations are read off the descriptor into the signalled state, which
  // a manual-reset timer keeps until it is set again.
  bool holds_signal() const override { return signalled_; }

  bool take_signal() override {
    collect_expirations();
    const bool was_signalled = signalled_;
    if (!manual_reset_) signalled_ = false;
    return was_signalled;
  }

  // timerfd_settime: an it_value of zero would disarm, so a due time that has
  // passed becomes the shortest one.
  bool arm(LONGLONG due_in_100ns, LONG period_ms) {
    signalled_ = false;
    const LONGLONG nanoseconds = due_in_100ns > 0 ? due_in_100ns * 100 : 1;
    itimerspec when{};
    when.it_value = {static_cast<time_t>(nanoseconds / 1000000000), static_cast<long>(nanoseconds % 1000000000)};
    when.it_interval = {static_cast<time_t>(period_ms / 1000), static_cast<long>(period_ms % 1000) * 1000000L};
    return timerfd_settime(fd_, 0, &when, nullptr) == 0;
  }

  bool disarm() {
    collect_expirations();
    const itimerspec stopped{};
    return timerfd_settime(fd_, 0, &stopped, nullptr) == 0;
  }

 private:
  void collect_expirations() {
    std::uint64_t expirations = 0;
    if (read(fd_, &expirations, sizeof expirations) == sizeof expirations && expirations > 0) signalled_ = true;
  }

  int fd_;
  bool manual_reset_;
  bool signalled_ = false;
};

// The time from now until an absolute FILETIME due time, in 100 ns units.
LONGLONG until_filetime(LONGLONG due) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  const LONGLONG now_as_filetime = unix_epoch_as_filetime + now.tv_sec * 10000000LL + now.tv_nsec / 100;
  return due - now_as_filetime;
}

}  // namespace

HANDLE WINAPI CreateWaitableTimerExW(LPSECURITY_ATTRIBUTES, LPCWSTR name, DWORD flags, DWORD) {
  if ((flags & ~known_flags) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (name != nullptr) {  // named objects are shared between processes: not in this layer
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  const int fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  if (fd < 0) {
    SetLastError(error_from_errno(errno));
    return nullptr;
  }
  return handle_insert(std::make_unique<WaitableTimer>(fd, (flags & CREATE_WAITABLE_TIMER_MANUAL_RESET) != 0));
}

HANDLE WINAPI CreateWaitableTimerW(LPSECURITY_ATTRIBUTES security, BOOL manual_reset, LPCWSTR name) {
  return CreateWaitableTimerExW(security, name, manual_reset ? CREATE_WAITABLE_TIMER_MANUAL_RESET : 0,
                                TIMER_ALL_ACCESS);
}

BOOL WINAPI SetWaitableTimer(HANDLE handle, const LARGE_INTEGER* due_time, LONG period_ms, PTIMERAPCROUTINE routine,
                             LPVOID, BOOL) {
  auto* timer = handle_object<WaitableTimer>(handle);
  if (timer == nullptr) return FALSE;
  if (due_time == nullptr || period_ms < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (routine != nullptr) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  const LONGLONG due = due_time->QuadPart;
  if (!timer->arm(due < 0 ? -due : until_filetime(due), period_ms)) {
    SetLastError(error_from_errno(errno));
    return FALSE;
  }
  return TRUE;
}

// CancelWaitableTimer: stops it; a timer that is signalled stays signalled.
BOOL WINAPI CancelWaitableTimer(HANDLE handle) {
  auto* timer = handle_object<WaitableTimer>(handle);
  if (timer == nullptr) return FALSE;
  if (!timer->disarm()) {
    SetLastError(error_from_errno(errno));
    return FALSE;
  }
  return TRUE;
}
