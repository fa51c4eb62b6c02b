#include "port_checks.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

// The last part of the link /sys/dev/char/MAJOR:MINOR[/what], or empty when
// there is none (pseudo-terminals have no entry there).
std::string sysfs_link_name(dev_t device, const std::string& what) {
  const std::string link =
      "/sys/dev/char/" + std::to_string(major(device)) + ":" + std::to_string(minor(device)) + what;
  char target[PATH_MAX];
  const ssize_t length = readlink(link.c_str(), target, sizeof target);
  if (length <= 0 || length == static_cast<ssize_t>(sizeof target)) return {};
  const std::string path(target, static_cast<std::size_t>(length));
  return path.substr(path.rfind('/') + 1);
}

bool is_terminal_device(dev_t device) {
  return is_pty_terminal(major(device)) || sysfs_link_name(device, "/subsystem") == "tty";
}

// A serial line that the kernel writes its messages to (console=ttyS0).
bool is_kernel_console(dev_t device) {
  const std::string name = sysfs_link_name(device, "");
  if (name.empty()) return false;
  std::ifstream consoles("/sys/class/tty/console/active");
  const std::string list{std::istreambuf_iterator<char>(consoles), std::istreambuf_iterator<char>()};
  return list_holds(list, name);
}

bool is_standard_stream(dev_t device, int own_fd) {
  for (int stream : {0, 1, 2}) {
    if (stream == own_fd) continue;
    struct stat info {};
    if (fstat(stream, &info) == 0 && S_ISCHR(info.st_mode) && info.st_rdev == device) return true;
  }
  return false;
}

}  // namespace

// A shell, a getty or an editor has its terminal as controlling terminal: the
// seventh field of /proc/PID/stat. The terminal end of a pseudo-terminal
// tells this only to its own session (TIOCGSID), so the processes are asked
// instead.
bool is_controlling_terminal(dev_t device) {
  DIR* processes = opendir("/proc");
  if (processes == nullptr) return false;
  bool found = false;
  // Every entry is tried: only those of processes have a stat file ("self"
  // is this process once more).
  for (const dirent* entry; !found && (entry = readdir(processes)) != nullptr;) {
    const std::string stat = read_small_file(std::string("/proc/") + entry->d_name + "/stat");
    const unsigned long terminal = stat_terminal_number(stat);
    found = terminal != 0 && device_of_tty_number(terminal) == device;
  }
  closedir(processes);
  return found;
}

unsigned long stat_terminal_number(std::string_view stat) {
  // The command name may hold anything, a newline and ")" too: the fields
  // follow the last ")".
  const std::size_t command_end = stat.rfind(')');
  if (command_end == std::string_view::npos) return 0;
  std::istringstream fields{std::string(stat.substr(command_end + 1))};
  std::string state, parent, group, session;
  unsigned long terminal = 0;
  if (!(fields >> state >> parent >> group >> session >> terminal)) return 0;
  return terminal;
}

std::string read_small_file(const std::string& path) {
  std::string text;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0) return text;
  // Only a regular file (as the kernel's own files under /proc and /sys are),
  // and no more of it than SMALL_FILE_MAX: a device or a FIFO is never read.
  struct stat info {};
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    char buffer[4096];
    for (ssize_t count; text.size() < SMALL_FILE_MAX && (count = read(fd, buffer, sizeof buffer)) > 0;)
      text.append(buffer, static_cast<std::size_t>(count));
  }
  close(fd);
  if (text.size() > SMALL_FILE_MAX) text.clear();
  return text;
}

bool is_system_terminal(unsigned major_number, unsigned minor_number) {
  return major_number == 5 || (major_number == 4 && minor_number < 64) || major_number == 7;
}

bool is_pty_terminal(unsigned major_number) { return major_number >= 136 && major_number <= 143; }

bool list_holds(std::string_view list, std::string_view name) {
  constexpr std::string_view space = " \t\n";
  for (std::size_t start = list.find_first_not_of(space); start != std::string_view::npos;) {
    const std::size_t end = std::min(list.find_first_of(space, start), list.size());
    if (list.substr(start, end - start) == name) return true;
    start = list.find_first_not_of(space, end);
  }
  return false;
}

dev_t device_of_tty_number(unsigned long tty_number) {
  const auto major_number = static_cast<unsigned>((tty_number >> 8) & 0xfff);
  const auto minor_number = static_cast<unsigned>((tty_number & 0xff) | ((tty_number >> 12) & 0xfff00));
  return makedev(major_number, minor_number);
}

PortTarget resolve_port(const std::string& path, int own_fd) {
  PortTarget target;
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) == nullptr) {
    target.refusal = errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
    return target;
  }
  target.path = resolved;
  struct stat info {};
  if (!target.path.starts_with("/dev/") || stat(resolved, &info) != 0 || !S_ISCHR(info.st_mode)) {
    target.refusal = ERROR_FILE_NOT_FOUND;
    return target;
  }
  target.device = info.st_rdev;
  target.node_device = info.st_dev;
  target.node_inode = info.st_ino;
  if (!is_terminal_device(info.st_rdev)) {
    target.refusal = ERROR_FILE_NOT_FOUND;  // not a serial line at all
  } else if (is_system_terminal(major(info.st_rdev), minor(info.st_rdev)) || is_standard_stream(info.st_rdev, own_fd) ||
             is_controlling_terminal(info.st_rdev) || is_kernel_console(info.st_rdev)) {
    target.refusal = ERROR_BAD_DEVICE;  // a terminal, not a line to a device
  }
  return target;
}

DWORD check_opened_port(int fd, dev_t device) {
  // Another device now behind the checked path: the check did not see it.
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode) || info.st_rdev != device) return ERROR_FILE_NOT_FOUND;
  pid_t session = 0;
  if (ioctl(fd, TIOCGSID, &session) == 0) return ERROR_BAD_DEVICE;  // our own controlling terminal
  return isatty(fd) == 1 ? 0 : ERROR_FILE_NOT_FOUND;
}
