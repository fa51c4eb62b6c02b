// CreateFileA for device paths ("\\.\NAME"): the Win32 rules for the
// name, then the safe open of port_open.h; and a handle's way back to its device.
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
#include <platform_ext.h>

#include <string>
#include <string_view>

#include "com_links.h"
#include "kernel/disk_file.h"
#include "port_open.h"
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

}  // namespace

HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD /*share_mode*/, LPSECURITY_ATTRIBUTES /*security*/,
                          DWORD disposition, DWORD flags, HANDLE /*template_file*/) {
  if (name == nullptr) return fail(ERROR_PATH_NOT_FOUND);
  const std::string_view name_text(name);
  // Not a device: a file ("COM17" one of the current folder).
  if (!name_text.starts_with(device_prefix)) return create_disk_file(name, access, disposition, flags);
  const std::string_view device = without_trailing_dots_and_spaces(name_text.substr(device_prefix.size()));
  if (device.find(':') != std::string_view::npos) return fail(ERROR_FILE_NOT_FOUND);
  if (!is_acceptable_name(device)) return fail(ERROR_INVALID_NAME);
  if (disposition != OPEN_EXISTING) return fail(ERROR_INVALID_PARAMETER);
  if (flags & FILE_FLAG_OVERLAPPED) return fail(ERROR_INVALID_PARAMETER);  // only synchronous I/O here

  PortOpening opening = open_port(port_device_path(device), access);
  if (opening.device == nullptr) return fail(opening.error);
  HANDLE handle = handle_insert(std::move(opening.device));
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
