// CreateFileA for device paths ("\\.\NAME") and the life of a device handle.
//
// Win32                                  Linux
// \\.\COMn                               <link folder>/comn, else /dev/ttyS(n-1)
// \\.\ttyUSB0, \\.\pts/7                 /dev/ttyUSB0, /dev/pts/7
//                                        (links followed; only serial lines
//                                        nobody uses as a terminal: port_checks.h)
// \\.\COM17. and \\.\COM17 (trailing     trailing dots and spaces dropped;
// dots, spaces), \\.\COM17: (colon)      a colon names no device
// share mode 0 (ports are exclusive)     lock file + flock(LOCK_EX | LOCK_NB) +
//                                        TIOCEXCL; a line anyone holds is refused
//                                        (ERROR_SHARING_VIOLATION) unopened
// access 0 (query access)               the checks and the lock file, then a
//                                        handle with nothing opened behind it
// binary mode (the only one Win32 has)   raw termios
// empty queues on open                   TCFLSH
// bytes passed on at once                ASYNC_LOW_LATENCY while open
#include <fcntl.h>
#include <linux/serial.h>
#include <platform_ext.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>

#include "com_links.h"
#include "line_settings.h"
#include "port_checks.h"
#include "port_holders.h"
#include "serial_device.h"

namespace {

constexpr std::string_view device_prefix = "\\\\.\\";

// A device name may name anything under /dev, but nothing outside it.
bool is_acceptable_name(std::string_view name) {
  if (name.empty() || name.front() == '/' || name.find('\\') != std::string_view::npos) return false;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find('/', start);
    if (end == std::string_view::npos) end = name.size();
    if (name.substr(start, end - start) == "..") return false;
    start = end + 1;
  }
  return true;
}

int open_flags(DWORD access) {
  const bool reads = access & GENERIC_READ;
  const bool writes = access & GENERIC_WRITE;
  if (reads && writes) return O_RDWR;
  return writes ? O_WRONLY : O_RDONLY;
}

// A USB adapter holds short replies back for its latency timer (16 ms on
// FTDI chips) unless the port asks for low latency; a driver that knows no
// such thing refuses the request, and the port works as it is.
bool set_low_latency(int fd, bool on) {
  serial_struct serial{};
  if (ioctl(fd, TIOCGSERIAL, &serial) != 0 || ((serial.flags & ASYNC_LOW_LATENCY) != 0) == on) return false;
  serial.flags = on ? serial.flags | ASYNC_LOW_LATENCY : serial.flags & ~ASYNC_LOW_LATENCY;
  return ioctl(fd, TIOCSSERIAL, &serial) == 0;
}

HANDLE fail(DWORD error) {
  SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

// Win32 drops a path's trailing dots and spaces ("COM17." and "COM17 " open
// COM17).
std::string_view without_trailing_dots_and_spaces(std::string_view name) {
  const std::size_t end = name.find_last_not_of(". ");
  return end == std::string_view::npos ? std::string_view{} : name.substr(0, end + 1);
}

// 0 when the checked device may still be opened: the same device behind the
// path, nobody's terminal, nobody holding it but the descriptor own_fd.
DWORD recheck(const std::string& path, const PortTarget& checked, int own_fd) {
  const PortTarget now = resolve_port(path, own_fd);
  if (now.refusal != 0) return now.refusal;
  if (now.device != checked.device) return ERROR_FILE_NOT_FOUND;
  if (find_port_holder(now.device, now.node_device, now.node_inode, own_fd)) return ERROR_SHARING_VIOLATION;
  return 0;
}

}  // namespace

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

HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD /*share_mode*/, LPSECURITY_ATTRIBUTES /*security*/,
                          DWORD disposition, DWORD flags, HANDLE /*template_file*/) {
  if (name == nullptr) return fail(ERROR_PATH_NOT_FOUND);
  const std::string_view name_text(name);
  // Not a device: a plain name ("COM17") would be a file of the current
  // folder, which is not found; one with folders, a path that is not.
  if (!name_text.starts_with(device_prefix))
    return fail(name_text.find_first_of("/\\") == std::string_view::npos ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
  const std::string_view device = without_trailing_dots_and_spaces(name_text.substr(device_prefix.size()));
  if (device.find(':') != std::string_view::npos) return fail(ERROR_FILE_NOT_FOUND);
  if (!is_acceptable_name(device)) return fail(ERROR_INVALID_NAME);
  if (disposition != OPEN_EXISTING) return fail(ERROR_INVALID_PARAMETER);
  if (flags & FILE_FLAG_OVERLAPPED) return fail(ERROR_INVALID_PARAMETER);  // only synchronous I/O here

  // Another program's line is refused before it is opened: the kernel's open
  // alone raises DTR and RTS. So: resolve and check; take the lock file;
  // check again, since a session may have taken the terminal meanwhile; open
  // (non-blocking, so that opening never waits for a carrier and every wait
  // happens in poll() under the port's timeouts); check what was opened; lock
  // it; and check once more before the first setting.
  const std::string path = port_device_path(device);
  const PortTarget target = resolve_port(path);
  if (target.refusal != 0) return fail(target.refusal);
  PortLock lock;
  if (DWORD refusal = lock.acquire(target.path)) return fail(refusal);
  if (DWORD refusal = recheck(path, target, -1)) return fail(refusal);
  // Query access asks whether the port could be opened now, without opening
  // it: the kernel's open would raise DTR and RTS, and many boards restart
  // when DTR rises.
  if (access == 0) {
    if (::access(target.path.c_str(), R_OK | W_OK) != 0) return fail(error_from_errno(errno));
    HANDLE handle = handle_insert(std::make_unique<SerialDevice>(-1));
    if (handle == nullptr) return INVALID_HANDLE_VALUE;
    SetLastError(ERROR_SUCCESS);
    return handle;
  }

  const int fd = open(target.path.c_str(), open_flags(access) | O_NOCTTY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return fail(error_from_errno(errno));  // EBUSY (TIOCEXCL) reads as a sharing violation
  auto object = std::make_unique<SerialDevice>(fd);
  object->lock = std::move(lock);
  if (DWORD refusal = check_opened_port(fd, target.device)) return fail(refusal);
  if (DWORD refusal = recheck(path, target, fd)) return fail(refusal);
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(error_from_errno(errno));  // EWOULDBLOCK too
  object->exclusive = true;
  ioctl(fd, TIOCEXCL);
  termios before{};
  tcgetattr(fd, &before);
  if (int error = line_make_raw(fd)) return fail(error_from_errno(error));
  // Root passes over TIOCEXCL: a session that took the terminal in the
  // instant before the settings gets them back, and the line is refused.
  if (DWORD refusal = recheck(path, target, fd)) {
    tcsetattr(fd, TCSANOW, &before);
    return fail(refusal);
  }
  object->low_latency_added = set_low_latency(fd, true);
  // As a Windows driver does on open: nothing from before belongs to this holder.
  if (int error = line_purge(fd)) return fail(error_from_errno(error));
  object->settings = settings_on_open();
  line_read_settings(fd, object->settings);
  object->counters_known = read_line_counters(fd, object->counters);

  HANDLE handle = handle_insert(std::move(object));
  if (handle == nullptr) return INVALID_HANDLE_VALUE;
  SetLastError(ERROR_SUCCESS);  // as Win32 leaves it after an open
  return handle;
}

SerialDevice* serial_line(HANDLE handle) { return handle_object<SerialDevice>(handle); }

SerialDevice* serial_line(HANDLE handle, const void* argument) {
  SerialDevice* device = serial_line(handle);
  if (device != nullptr && argument == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return device;
}

int platform_handle_fd(HANDLE handle) {
  const DWORD error = GetLastError();
  auto* device = handle_object<SerialDevice>(handle);
  SetLastError(error);  // a query, not a failing call
  return device != nullptr ? device->fd() : -1;
}
