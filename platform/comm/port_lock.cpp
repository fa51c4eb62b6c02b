#include "port_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <sstream>

#include "port_checks.h"

namespace {

// A lock file holds a pid and perhaps a few words; anything longer is none.
constexpr off_t LOCK_FILE_MAX = 64;
// How long a program may take between making its lock file and writing its pid.
constexpr time_t WRITING_GRACE_SECONDS = 10;
// The highest pid Linux hands out (PID_MAX_LIMIT).
constexpr long long PID_LIMIT = 4194304;

std::string lock_file_path(std::string_view device_path) {
  return std::string(LOCK_FOLDER) + "/" + lock_file_name(device_path);
}

bool is_alive(pid_t pid) { return kill(pid, 0) == 0 || errno == EPERM; }

// When a process started, in seconds since the epoch; nothing where /proc
// does not tell (then the process is taken to be the lock's writer).
std::optional<time_t> process_start(pid_t pid) {
  std::istringstream system(read_small_file("/proc/stat"));
  long long boot = -1;
  for (std::string key; system >> key;) {
    if (key == "btime") {
      system >> boot;
      break;
    }
  }
  const std::string stat = read_small_file("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t command_end = stat.rfind(')');
  if (boot < 0 || command_end == std::string::npos) return std::nullopt;
  // The start time is the 22nd field; the fields after the command begin with the 3rd.
  std::istringstream fields(stat.substr(command_end + 1));
  std::string field;
  for (int number = 3; number < 22 && fields >> field; ++number) {
  }
  unsigned long long ticks = 0;
  if (!(fields >> ticks)) return std::nullopt;
  return static_cast<time_t>(boot + static_cast<long long>(ticks / sysconf(_SC_CLK_TCK)));
}

// How what stands at a lock file's path stands.
enum class LockState { absent, stale, held, not_a_lock_file };

struct LockFile {
  LockState state = LockState::absent;
  dev_t device = 0;
  ino_t inode = 0;
  std::optional<pid_t> pid;
};

LockState judge(const std::optional<pid_t>& pid, time_t written) {
  const time_t now = time(nullptr);
  if (written > now + 1) return LockState::stale;  // a date to come holds nothing for ever
  if (!pid) {
    // A text that names no pid may be a file another program has made and not
    // yet written; one left so past the grace lost its writer before the write.
    return now - written < WRITING_GRACE_SECONDS ? LockState::held : LockState::stale;
  }
  if (!is_alive(*pid)) return LockState::stale;
  // A pid handed to a process started after the file was written is not the
  // writer's (this process's own pid too: a file from before a restart);
  // one second either way, as the boot time is kept in seconds.
  const std::optional<time_t> started = process_start(*pid);
  return !started || *started <= written + 1 ? LockState::held : LockState::stale;
}

// Looks at the lock file without following a link and reads it only when it
// is a small regular file: a link to a device or to another program's
// terminal, a FIFO or a huge file is never read.
LockFile inspect(const std::string& path) {
  LockFile lock;
  struct stat entry {};
  if (lstat(path.c_str(), &entry) != 0) return lock;
  lock.device = entry.st_dev;
  lock.inode = entry.st_ino;
  if (!S_ISREG(entry.st_mode) || entry.st_size > LOCK_FILE_MAX) {
    lock.state = LockState::not_a_lock_file;
    return lock;
  }
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return lock;  // removed in the meantime
    // A file this user may not read is still somebody's lock.
    lock.state = errno == ELOOP ? LockState::not_a_lock_file : LockState::held;
    return lock;
  }
  struct stat info {};
  char text[LOCK_FILE_MAX + 1];
  ssize_t length = -1;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= LOCK_FILE_MAX)
    length = read(fd, text, sizeof text);
  close(fd);
  if (length < 0 || length > LOCK_FILE_MAX) {
    lock.state = LockState::not_a_lock_file;
    return lock;
  }
  lock.device = info.st_dev;
  lock.inode = info.st_ino;
  lock.pid = lock_file_pid(std::string_view(text, static_cast<std::size_t>(length)));
  lock.state = judge(lock.pid, info.st_mtime);
  return lock;
}

// Why the last open of each device stopped at its lock file.
std::mutex problems_lock;
std::map<std::string, std::string, std::less<>> problems;

void note_problem(std::string_view device_path, std::string text) {
  std::lock_guard held(problems_lock);
  if (text.empty())
    problems.erase(std::string(device_path));
  else
    problems[std::string(device_path)] = std::move(text);
}

// Takeovers of stale lock files are serialised among the programs that take
// this lock on the lock folder itself, so that two of them never both judge
// the same file stale and one removes the other's fresh lock. Held only for
// a moment: busy means another program is taking a lock over right now.
class FolderLock {
 public:
  FolderLock() : fd_(open(std::string(LOCK_FOLDER).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    held_ = fd_ >= 0 && flock(fd_, LOCK_EX | LOCK_NB) == 0;
  }
  ~FolderLock() {
    if (fd_ >= 0) close(fd_);
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  bool held() const { return held_; }

 private:
  int fd_;
  bool held_ = false;
};

std::string error_text(int error) { return std::strerror(error); }

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
  long long pid = 0;
  std::size_t at = start == std::string_view::npos ? text.size() : start;
  const std::size_t digits_start = at;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9' && pid <= INT_MAX; ++at)
    pid = pid * 10 + (text[at] - '0');
  const bool ends_the_number = at == text.size() || std::strchr(" \t\r\n", text[at]) != nullptr;
  if (at > digits_start && ends_the_number && pid > 0 && pid <= INT_MAX) return static_cast<pid_t>(pid);
  if (text.size() == 4) {
    std::int32_t binary = 0;
    std::memcpy(&binary, text.data(), sizeof binary);
    if (binary > 0 && binary <= PID_LIMIT) return static_cast<pid_t>(binary);
  }
  return std::nullopt;
}

std::optional<pid_t> lock_file_holder(std::string_view device_path) {
  const LockFile lock = inspect(lock_file_path(device_path));
  if (lock.state != LockState::held || !lock.pid || *lock.pid == getpid()) return std::nullopt;
  return lock.pid;
}

std::string lock_file_problem(std::string_view device_path) {
  std::lock_guard held(problems_lock);
  const auto found = problems.find(device_path);
  return found == problems.end() ? "" : found->second;
}

PortLock& PortLock::operator=(PortLock&& other) noexcept {
  if (this != &other) {
    release();
    path_ = std::move(other.path_);
    device_ = other.device_;
    inode_ = other.inode_;
    other.path_.clear();
  }
  return *this;
}

DWORD PortLock::acquire(const std::string& device_path) {
  const std::string path = lock_file_path(device_path);
  note_problem(device_path, "");
  const auto problem = [&](const std::string& text) {
    note_problem(device_path, text);
    return static_cast<DWORD>(ERROR_LOCK_FAILED);
  };
  // Rounds: a file that goes away between two looks, or a stale one taken
  // over, is looked at again; the last round creates ours unless another
  // program was quicker.
  for (int round = 0; round < 3; ++round) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0644);
    if (fd >= 0) {
      fchmod(fd, 0644);  // readable by every serial program whatever the umask
      struct stat made {};
      fstat(fd, &made);
      char text[16];
      const int length = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(getpid()));
      errno = 0;
      const bool written = write(fd, text, static_cast<std::size_t>(length)) == length;
      const int write_error = errno;
      close(fd);
      if (!written) {
        // A file without its pid would keep every program off the line for good.
        const LockFile left = inspect(path);
        if (left.device == made.st_dev && left.inode == made.st_ino) unlink(path.c_str());
        return problem("the lock file " + path +
                       " cannot be written: " + error_text(write_error ? write_error : ENOSPC));
      }
      // Read back: the file there is ours, not one that replaced it.
      const LockFile mine = inspect(path);
      if (mine.device != made.st_dev || mine.inode != made.st_ino || mine.pid != getpid())
        return ERROR_SHARING_VIOLATION;
      path_ = path;
      device_ = made.st_dev;
      inode_ = made.st_ino;
      return 0;
    }
    const int create_error = errno;
    const LockFile found = inspect(path);
    if (found.state == LockState::held) return ERROR_SHARING_VIOLATION;
    if (found.state == LockState::not_a_lock_file)
      return problem("the lock file " + path + " is not a lock file: remove it");
    if (create_error != EEXIST) {
      // A folder this program may not write to (or none): another program's
      // lock still counts, but none of ours can be made.
      if (create_error == EACCES || create_error == EPERM || create_error == EROFS || create_error == ENOENT) return 0;
      return problem("the lock file " + path + " cannot be made: " + error_text(create_error));
    }
    if (found.state == LockState::stale) {
      const FolderLock folder;
      if (!folder.held()) return ERROR_SHARING_VIOLATION;
      // Only the very file judged stale is removed.
      const LockFile again = inspect(path);
      if (again.state != LockState::stale || again.device != found.device || again.inode != found.inode) continue;
      if (unlink(path.c_str()) != 0 && errno != ENOENT)
        return problem("the stale lock file " + path + " cannot be removed: " + error_text(errno));
    }
  }
  return ERROR_SHARING_VIOLATION;
}

void PortLock::release() {
  if (path_.empty()) return;
  const LockFile lock = inspect(path_);
  if (lock.device == device_ && lock.inode == inode_ && lock.pid == getpid()) unlink(path_.c_str());
  path_.clear();
}
