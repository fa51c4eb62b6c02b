#include "port_holders.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "port_checks.h"

namespace {

bool is_number(const char* text) {
  if (*text == '\0') return false;
  for (; *text != '\0'; ++text) {
    if (*text < '0' || *text > '9') return false;
  }
  return true;
}

// The numeric entries of an open folder (processes under /proc, descriptors
// under /proc/PID/fd), each handed to visit until it returns true; the
// folder's descriptor is closed.
template <typename Visit>
bool any_numbered_entry(int folder_fd, Visit visit) {
  DIR* folder = folder_fd >= 0 ? fdopendir(folder_fd) : nullptr;
  if (folder == nullptr) {
    if (folder_fd >= 0) close(folder_fd);
    return false;
  }
  bool found = false;
  for (const dirent* entry; !found && (entry = readdir(folder)) != nullptr;) {
    if (is_number(entry->d_name)) found = visit(dirfd(folder), entry->d_name);
  }
  closedir(folder);
  return found;
}

// A process's open files that are the terminal, and whether it holds the
// master of the same pseudo-terminal.
struct OpenFiles {
  bool terminal = false;
  bool master = false;
};

// One call per descriptor: its file's status through the /proc link, read
// relative to the process's fd folder, so that no path is walked again; only
// a descriptor of the pseudo-terminal master has its fdinfo read.
OpenFiles open_files(int proc_fd, const char* process, dev_t device, int own_fd) {
  OpenFiles found;
  const bool is_pty = is_pty_terminal(major(device));
  const bool self = std::atoi(process) == getpid();
  const std::string folder = std::string(process) + "/fd";
  const int fds = openat(proc_fd, folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  any_numbered_entry(fds, [&](int fd_folder, const char* fd) {
    if (self && std::atoi(fd) == own_fd) return false;
    struct stat info {};
    if (fstatat(fd_folder, fd, &info, 0) != 0 || !S_ISCHR(info.st_mode)) return false;
    if (info.st_rdev == device) {
      found.terminal = true;
    } else if (is_pty && major(info.st_rdev) == 5 && minor(info.st_rdev) == 2) {  // /dev/ptmx
      const auto index = fdinfo_tty_index(read_small_file("/proc/" + std::string(process) + "/fdinfo/" + fd));
      // Terminal N is major 136 + N / 256, minor N % 256.
      if (index && makedev(136 + *index / 256, *index % 256) == device) found.master = true;
    }
    return false;  // every descriptor: a master found later clears the process
  });
  return found;
}

}  // namespace

std::optional<pid_t> lock_line_pid(std::string_view line, dev_t node_device, ino_t node_inode) {
  std::istringstream fields{std::string(line)};
  std::string number, kind, mode, access, pid_text, node;
  if (!(fields >> number >> kind)) return std::nullopt;
  if (kind == "->") fields >> kind;  // a waiting lock: the same fields follow
  if (!(fields >> mode >> access >> pid_text >> node)) return std::nullopt;
  unsigned node_major = 0, node_minor = 0;
  unsigned long long inode = 0;
  const char* at = node.data();
  const char* end = node.data() + node.size();
  auto part = std::from_chars(at, end, node_major, 16);
  if (part.ec != std::errc{} || part.ptr == end || *part.ptr != ':') return std::nullopt;
  part = std::from_chars(part.ptr + 1, end, node_minor, 16);
  if (part.ec != std::errc{} || part.ptr == end || *part.ptr != ':') return std::nullopt;
  part = std::from_chars(part.ptr + 1, end, inode, 10);
  if (part.ec != std::errc{} || part.ptr != end) return std::nullopt;
  if (makedev(node_major, node_minor) != node_device || inode != node_inode) return std::nullopt;
  int pid = -1;  // locks of open file descriptions name no process
  std::from_chars(pid_text.data(), pid_text.data() + pid_text.size(), pid);
  return static_cast<pid_t>(pid);
}

std::optional<unsigned> fdinfo_tty_index(std::string_view fdinfo) {
  constexpr std::string_view key = "tty-index:";
  for (std::size_t start = 0; start < fdinfo.size();) {
    std::size_t end = fdinfo.find('\n', start);
    if (end == std::string_view::npos) end = fdinfo.size();
    const std::string_view line = fdinfo.substr(start, end - start);
    if (line.starts_with(key)) {
      const std::string_view value = line.substr(key.size());
      const std::size_t digits = value.find_first_not_of(" \t");
      if (digits == std::string_view::npos) return std::nullopt;
      unsigned index = 0;
      const auto result = std::from_chars(value.data() + digits, value.data() + value.size(), index);
      if (result.ec != std::errc{} || result.ptr != value.data() + value.size()) return std::nullopt;
      return index;
    }
    start = end + 1;
  }
  return std::nullopt;
}

std::optional<PortHolder> find_port_holder(dev_t device, dev_t node_device, ino_t node_inode, int own_fd,
                                           bool open_files_too) {
  std::istringstream locks(read_small_file("/proc/locks"));
  for (std::string line; std::getline(locks, line);) {
    // With its own descriptor open, this process's lock is its own flock.
    auto pid = lock_line_pid(line, node_device, node_inode);
    if (pid && !(own_fd >= 0 && *pid == getpid())) return PortHolder{*pid};
  }
  if (!open_files_too) return std::nullopt;
  pid_t holder = 0;
  const int proc = open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  any_numbered_entry(proc, [&](int proc_fd, const char* process) {
    const OpenFiles files = open_files(proc_fd, process, device, own_fd);
    if (files.terminal && !files.master) holder = static_cast<pid_t>(std::atoi(process));
    return holder != 0;
  });
  if (holder != 0) return PortHolder{holder};
  return std::nullopt;
}
