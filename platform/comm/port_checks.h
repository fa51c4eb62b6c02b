// Which devices a port name may lead to. The name comes from the user, and
// opening a terminal as a port makes it raw: done to a terminal that someone
// is using (the program's own, another session's, the system console) it
// leaves that terminal unusable. So the name is first resolved to the device
// it finally stands for, and only a serial line that nobody uses as a
// terminal is opened.
#pragma once

#include <windows.h>
#include <sys/types.h>

#include <string>
#include <string_view>

// The device a path leads to, once every link is followed, and whether it may
// be opened as a port: 0 when it may, else the Win32 error of the refusal.
// Nothing is opened to find out. own_fd, once the port is open, is its own
// descriptor, which is no standard stream whatever its number.
// A terminal that is no serial line, or one that someone uses as a terminal,
// is refused with ERROR_BAD_DEVICE; a device that is no terminal at all, as a
// name that names no port.
struct PortTarget {
  std::string path;  // under /dev, no links left
  dev_t device = 0;
  dev_t node_device = 0;  // where the device node itself lives (for its locks)
  ino_t node_inode = 0;
  DWORD refusal = 0;
};
PortTarget resolve_port(const std::string& path, int own_fd = -1);

// For a port just opened (O_NOCTTY, nothing set yet): 0 when it is the device
// that was checked and still nobody's controlling terminal, else the error.
DWORD check_opened_port(int fd, dev_t device);

// Whether any process has the terminal as its controlling terminal.
bool is_controlling_terminal(dev_t device);
// The controlling terminal's number (tty_nr) in the text of /proc/PID/stat,
// 0 when it has none or the text is not such a file's.
unsigned long stat_terminal_number(std::string_view stat);

// The whole text of a small regular file (under /proc or /sys), not through
// a link at its end; empty when it cannot be read or holds more than
// SMALL_FILE_MAX bytes.
inline constexpr std::size_t SMALL_FILE_MAX = 1 << 20;
std::string read_small_file(const std::string& path);

// The pieces, on their own:
// The system's own terminals, never a serial line: /dev/tty, /dev/console,
// /dev/ptmx (major 5), the virtual consoles /dev/tty0../dev/tty63 (major 4,
// minors below 64) and their screen memory /dev/vcs* (major 7).
bool is_system_terminal(unsigned major, unsigned minor);
// A pseudo-terminal's terminal end (majors 136 to 143).
bool is_pty_terminal(unsigned major);
// Whether a list of names separated by white space, as the kernel's console
// list "tty0 ttyS0\n", holds name.
bool list_holds(std::string_view list, std::string_view name);
// The device number that /proc/PID/stat gives as a process's terminal.
dev_t device_of_tty_number(unsigned long tty_number);
