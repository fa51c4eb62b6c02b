#include "port_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "port_checks.h"

namespace {

std::string lock_file_path(std::string_view device_path) {
  return std::string(LOCK_FOLDER) + "/" + lock_file_name(device_path);
}

bool is_alive(pid_t pid) { return kill(pid, 0) == 0 || errno == EPERM; }

// How a lock file that is there stands.
enum class LockState { absent, stale, held };

// How long a program may take between making its lock file and writing its pid.
constexpr time_t WRITING_GRACE_SECONDS = 10;

LockState lock_state(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return LockState::absent;
  const std::optional<pid_t> pid = lock_file_pid(read_small_file(path));
  if (pid) return is_alive(*pid) ? LockState::held : LockState::stale;
  // A text that names no pid may be a file another program has made and not
  // yet written; one left so past the grace lost its writer before the write.
  const bool written_lately = time(nullptr) - status.st_mtime < WRITING_GRACE_SECONDS;
  return written_lately ? LockState::held : LockState::stale;
}

}  // namespace

std::string lock_file_name(std::string_view device_path) {
  constexpr std::string_view dev = "/dev/";
  if (device_path.starts_with(dev)) device_path.remove_prefix(dev.size());
  std::string name = "LCK.." + std::string(device_path);
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  return name;
}

std::optional<pid_t> lock_file_pid(std::string_view text) {
  const std::size_t start = text.find_first_not_of(' ');
  if (start == std::string_view::npos) return std::nullopt;
  long long pid = 0;
  std::size_t at = start;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    pid = pid * 10 + (text[at] - '0');
    if (pid > 0x7fffffff) return std::nullopt;
  }
  if (at == start || pid == 0 || (at < text.size() && text[at] != '\n')) return std::nullopt;
  return static_cast<pid_t>(pid);
}

std::optional<pid_t> lock_file_holder(std::string_view device_path) {
  const std::optional<pid_t> pid = lock_file_pid(read_small_file(lock_file_path(device_path)));
  if (!pid || *pid == getpid() || !is_alive(*pid)) return std::nullopt;
  return pid;
}

PortLock& PortLock::operator=(PortLock&& other) noexcept {
  if (this != &other) {
    release();
    path_ = std::move(other.path_);
    other.path_.clear();
  }
  return *this;
}

DWORD PortLock::acquire(const std::string& device_path) {
  const std::string path = lock_file_path(device_path);
  // Two rounds: a stale file found in the first is removed, and the second
  // creates ours unless another program was quicker.
  for (int round = 0; round < 2; ++round) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      char text[16];
      const int length = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(getpid()));
      const bool written = write(fd, text, static_cast<std::size_t>(length)) == length;
      close(fd);
      // A file without its pid would keep every program off the line for good.
      if (written)
        path_ = path;
      else
        unlink(path.c_str());
      return 0;
    }
    // A folder this program may not write to (or none): another program's
    // lock still counts, but none of ours can be made.
    const bool can_lock = errno == EEXIST;
    const LockState state = lock_state(path);
    if (!can_lock) return state == LockState::held ? ERROR_SHARING_VIOLATION : 0;
    if (state == LockState::held) return ERROR_SHARING_VIOLATION;
    if (state == LockState::stale) unlink(path.c_str());
  }
  return ERROR_SHARING_VIOLATION;
}

void PortLock::release() {
  if (path_.empty()) return;
  if (lock_file_pid(read_small_file(path_)) == getpid()) unlink(path_.c_str());
  path_.clear();
}
