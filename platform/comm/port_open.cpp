#include "port_open.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "line_settings.h"
#include "port_checks.h"
#include "port_holders.h"

namespace {

constexpr int no_descriptor = -1;

PortOpening refused(DWORD error) { return {nullptr, error}; }

// Which holders a check looks for. Every process's open files are looked
// through once per open, before the device is opened (on a busy machine that
// is hundreds of thousands of descriptors); the checks after it see the
// locks on the node and the sessions, and TIOCEXCL keeps other users off.
enum class Holders { open_files_and_locks, locks_only };

// check, and check again: 0 when the checked device may still be opened: the
// same device behind the path, nobody's terminal, nobody holding it but the
// descriptor own_fd.
DWORD check(const std::string& path, const PortTarget& checked, int own_fd, Holders holders) {
  const PortTarget now = resolve_port(path, own_fd);
  if (now.refusal != 0) return now.refusal;
  if (now.device != checked.device) return ERROR_FILE_NOT_FOUND;
  const bool files = holders == Holders::open_files_and_locks;
  if (find_port_holder(now.device, now.node_device, now.node_inode, own_fd, files)) return ERROR_SHARING_VIOLATION;
  return 0;
}

// Query access asks whether the port could be opened now, without opening it.
PortOpening query_only(const PortTarget& target) {
  if (::access(target.path.c_str(), R_OK | W_OK) != 0) return refused(error_from_errno(errno));
  return {std::make_unique<SerialDevice>(no_descriptor), 0};
}

int open_flags(DWORD access) {
  const bool reads = access & GENERIC_READ;
  const bool writes = access & GENERIC_WRITE;
  if (reads && writes) return O_RDWR;
  return writes ? O_WRONLY : O_RDONLY;
}

// open: non-blocking, so that opening never waits for a carrier and every
// wait happens in poll() under the port's timeouts. A descriptor, or -1 with
// errno set (EBUSY, from TIOCEXCL, reads as a sharing violation).
int open_device(const PortTarget& target, DWORD access) {
  return open(target.path.c_str(), open_flags(access) | O_NOCTTY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
}

// check opened: the device that was checked, still nobody's controlling
// terminal, and still free with the new descriptor as this program's own.
DWORD check_opened(const std::string& path, const PortTarget& target, int fd) {
  if (DWORD refusal = check_opened_port(fd, target.device)) return refusal;
  return check(path, target, fd, Holders::locks_only);
}

// claim: nobody else locks or opens the line while this holder has it.
DWORD claim(SerialDevice& device) {
  if (flock(device.fd(), LOCK_EX | LOCK_NB) != 0) return error_from_errno(errno);  // EWOULDBLOCK too
  device.exclusive = true;
  ioctl(device.fd(), TIOCEXCL);
  return 0;
}

// What the object keeps of the line once it is its holder's.
DWORD make_ready(SerialDevice& device) {
  device.low_latency_added = set_low_latency(device.fd(), true);
  // As a Windows driver does on open: nothing from before belongs to this holder.
  if (int error = line_purge(device.fd())) return error_from_errno(error);
  device.settings = settings_on_open();
  line_read_settings(device.fd(), device.settings);
  device.counters_known = read_line_counters(device.fd(), device.counters);
  return 0;
}

}  // namespace

bool set_low_latency(int fd, bool on) {
  serial_struct serial{};
  if (ioctl(fd, TIOCGSERIAL, &serial) != 0 || ((serial.flags & ASYNC_LOW_LATENCY) != 0) == on) return false;
  serial.flags = on ? serial.flags | ASYNC_LOW_LATENCY : serial.flags & ~ASYNC_LOW_LATENCY;
  return ioctl(fd, TIOCSSERIAL, &serial) == 0;
}

PortOpening open_port(const std::string& path, DWORD access) {
  const PortTarget target = resolve_port(path);
  if (target.refusal != 0) return refused(target.refusal);

  PortLock lock;
  if (DWORD refusal = lock.acquire(target.path)) return refused(refusal);

  if (DWORD refusal = check(path, target, no_descriptor, Holders::open_files_and_locks)) return refused(refusal);
  if (access == 0) return query_only(target);

  const int fd = open_device(target, access);
  if (fd < 0) return refused(error_from_errno(errno));
  // From here on the object owns the descriptor and the lock: a refusal
  // closes and releases both.
  auto device = std::make_unique<SerialDevice>(fd);
  device->lock = std::move(lock);

  if (DWORD refusal = check_opened(path, target, fd)) return refused(refusal);

  if (DWORD refusal = claim(*device)) return refused(refusal);

  termios& before = device->before_open;
  tcgetattr(fd, &before);
  if (int error = line_make_raw(fd)) return refused(error_from_errno(error));

  // Root passes over TIOCEXCL: a session that took the terminal in the
  // instant before the settings gets them back, and the line is refused.
  if (DWORD refusal = check(path, target, fd, Holders::locks_only)) {
    tcsetattr(fd, TCSANOW, &before);
    return refused(refusal);
  }

  if (DWORD refusal = make_ready(*device)) return refused(refusal);
  return {std::move(device), 0};
}

SerialDevice::~SerialDevice() {
  if (fd_ >= 0) close();
}

bool SerialDevice::close() {
  if (fd_ < 0) return true;  // opened for query access only
  // TIOCEXCL outlives this descriptor while anyone else keeps the terminal
  // open (the simulator does), so it is lifted before letting go.
  if (exclusive) ioctl(fd_, TIOCNXCL);
  if (low_latency_added) set_low_latency(fd_, false);  // the driver keeps it after the close
  const int result = ::close(fd_);
  fd_ = -1;
  if (result != 0) {
    SetLastError(error_from_errno(errno));
    return false;
  }
  return true;
}
