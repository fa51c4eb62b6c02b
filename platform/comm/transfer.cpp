// ReadFile and WriteFile on device handles, synchronous, under the port's
// COMMTIMEOUTS. The descriptor is non-blocking; every wait is one poll() with
// the time left on the monotonic clock.
#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "deadline.h"
#include "kernel/disk_file.h"
#include "serial_device.h"

namespace {

// How a read of n bytes may wait, by the rules of the Windows serial driver:
// - interval MAXDWORD with both totals 0: return at once with what is queued;
// - interval MAXDWORD with any other totals: return at once with what is
//   queued when anything is; else, when the multiplier is MAXDWORD (and the
//   constant is not), return as soon as any byte is there, waiting at most
//   the constant for it; else wait for all n bytes at most for the total;
// - otherwise a total of multiplier × n + constant (none when both are 0) and,
//   once a byte has arrived, at most the interval between two bytes (none
//   when it is 0).
struct ReadLimits {
  bool immediate = false;
  bool queued_suffices = false;
  bool any_byte = false;
  Deadline total = Deadline::never();
  std::optional<std::uint64_t> interval;
};

ReadLimits read_limits(const COMMTIMEOUTS& t, DWORD length) {
  ReadLimits limits;
  if (t.ReadIntervalTimeout == MAXDWORD) {
    if (t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0) {
      limits.immediate = true;
      return limits;
    }
    limits.queued_suffices = true;
    if (t.ReadTotalTimeoutMultiplier == MAXDWORD && t.ReadTotalTimeoutConstant != MAXDWORD) {
      limits.any_byte = true;
      limits.total = Deadline::after(t.ReadTotalTimeoutConstant);
      return limits;
    }
  }
  const std::uint64_t total = std::uint64_t{t.ReadTotalTimeoutMultiplier} * length + t.ReadTotalTimeoutConstant;
  if (total > 0) limits.total = Deadline::after(total);
  if (t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != MAXDWORD) limits.interval = t.ReadIntervalTimeout;
  return limits;
}

// Waits until fd is ready for events or the deadline passes; false on timeout.
// A hung-up or failed line counts as ready: the next read or write reports it.
bool wait_ready(int fd, short events, const Deadline& deadline) {
  for (;;) {
    pollfd entry{fd, events, 0};
    const int ready = poll(&entry, 1, deadline.poll_timeout());
    if (ready > 0) return true;
    if (ready == 0) return false;
    if (errno != EINTR) return true;
  }
}

BOOL fail_with_errno(int error) {
  // A hung-up line reads EIO (a pseudo-terminal whose other side has gone),
  // which is ERROR_GEN_FAILURE, as for a removed port on Windows.
  SetLastError(error_from_errno(error));
  return FALSE;
}

}  // namespace

BOOL WINAPI ReadFile(HANDLE handle, LPVOID buffer, DWORD to_read, LPDWORD read_count, LPOVERLAPPED overlapped) {
  if (read_count != nullptr) *read_count = 0;
  if (is_disk_file(handle) && overlapped == nullptr && (buffer != nullptr || to_read == 0))
    return read_disk_file(handle, buffer, to_read, read_count);
  auto* device = handle_object<SerialDevice>(handle);
  if (device == nullptr) return FALSE;
  if (overlapped != nullptr || (buffer == nullptr && to_read > 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto* bytes = static_cast<unsigned char*>(buffer);
  const ReadLimits limits = read_limits(device->timeouts, to_read);
  Deadline next_byte = Deadline::never();
  DWORD done = 0;
  bool waited = false;
  while (done < to_read) {
    const ssize_t got = read(device->fd(), bytes + done, to_read - done);
    if (got > 0) {
      done += static_cast<DWORD>(got);
      if (read_count != nullptr) *read_count = done;
      if (limits.any_byte || (limits.queued_suffices && !waited)) break;
      if (limits.interval) next_byte = Deadline::after(*limits.interval);
      continue;
    }
    if (got == 0) {
      // A terminal reads end of file only once it has hung up (the other side
      // of a pseudo-terminal closed, the carrier lost); bytes read before that
      // are still delivered.
      if (done == 0) return fail_with_errno(EIO);
      break;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN) return fail_with_errno(errno);
    if (limits.immediate) break;
    waited = true;
    if (!wait_ready(device->fd(), POLLIN, limits.total.earlier(next_byte))) break;  // timed out: success
  }
  return TRUE;
}

BOOL WINAPI WriteFile(HANDLE handle, LPCVOID buffer, DWORD to_write, LPDWORD written, LPOVERLAPPED overlapped) {
  if (written != nullptr) *written = 0;
  if (is_disk_file(handle) && overlapped == nullptr && (buffer != nullptr || to_write == 0))
    return write_disk_file(handle, buffer, to_write, written);
  auto* device = handle_object<SerialDevice>(handle);
  if (device == nullptr) return FALSE;
  if (overlapped != nullptr || (buffer == nullptr && to_write > 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  const COMMTIMEOUTS& t = device->timeouts;
  const std::uint64_t total = std::uint64_t{t.WriteTotalTimeoutMultiplier} * to_write + t.WriteTotalTimeoutConstant;
  const Deadline deadline = total > 0 ? Deadline::after(total) : Deadline::never();
  DWORD done = 0;
  if (to_write > 0) device->output_drained = false;
  while (done < to_write) {
    const ssize_t put = write(device->fd(), bytes + done, to_write - done);
    if (put > 0) {
      done += static_cast<DWORD>(put);
      if (written != nullptr) *written = done;
      continue;
    }
    if (put < 0 && errno == EINTR) continue;
    if (put < 0 && errno != EAGAIN) return fail_with_errno(errno);
    // A write cut short by its timeout still succeeds, with the count sent so far.
    if (!wait_ready(device->fd(), POLLOUT, deadline)) break;
  }
  return TRUE;
}
