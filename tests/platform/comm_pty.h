// A real pseudo-terminal pair for the comm and serial tests: the port under
// test is the terminal end, opened by name through CreateFileA; the test
// drives the other end (the master), as a device at the end of a cable would.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <grp.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

class PtyPair {
 public:
  PtyPair() {
    char name[64] = {};
    if (openpty(&master_, &terminal_, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
    name_ = std::string(name).substr(5);  // "pts/N"
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  }
  ~PtyPair() {
    if (master_ >= 0) close(master_);
    close(terminal_);
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  // "pts/N", the port name; "\\.\pts/N", the device path.
  const std::string& name() const { return name_; }
  std::string device_path() const { return "\\\\.\\" + name_; }
  std::string dev_path() const { return "/dev/" + name_; }

  // The terminal's settings as the kernel holds them.
  termios settings() const {
    termios result{};
    tcgetattr(terminal_, &result);
    return result;
  }

  // Bytes received and not yet read by anyone.
  int unread() const {
    int count = -1;
    ioctl(terminal_, FIONREAD, &count);
    return count;
  }

  // Changes the terminal's settings from outside, as another program (stty) may.
  void change_settings(const std::function<void(termios&)>& edit) const {
    termios settings = this->settings();
    edit(settings);
    tcsetattr(terminal_, TCSANOW, &settings);
  }

  // Sends bytes from the device's side.
  void send(std::string_view bytes) const {
    while (!bytes.empty()) {
      const ssize_t put = write(master_, bytes.data(), bytes.size());
      if (put > 0) bytes.remove_prefix(static_cast<std::size_t>(put));
    }
  }

  // Reads what the port sent until count bytes have arrived or the time is up.
  std::string receive(std::size_t count, std::chrono::milliseconds within = std::chrono::seconds(5)) const {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + within;
    while (got.size() < count) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd entry{master_, POLLIN, 0};
      if (poll(&entry, 1, static_cast<int>(left.count())) <= 0) break;
      char buffer[4096];
      const ssize_t n = read(master_, buffer, std::min(sizeof buffer, count - got.size()));
      if (n > 0)
        got.append(buffer, static_cast<std::size_t>(n));
      else if (n == 0 || errno != EAGAIN)
        break;
    }
    return got;
  }

  // Closes the device's side: the port sees a hang-up.
  void hang_up() {
    close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1;
  int terminal_ = -1;  // kept open so the line stays up between opens
  std::string name_;
};

// A temporary COM link folder for the duration of a test.
class ComLinkFolder {
 public:
  ComLinkFolder() {
    char pattern[] = "/tmp/velmorant-links.XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    if (const char* old = std::getenv("VELMORANT_DOSDEVICES")) previous_ = old;
    setenv("VELMORANT_DOSDEVICES", path_.c_str(), 1);
  }
  ~ComLinkFolder() {
    std::filesystem::remove_all(path_);
    if (previous_.empty())
      unsetenv("VELMORANT_DOSDEVICES");
    else
      setenv("VELMORANT_DOSDEVICES", previous_.c_str(), 1);
  }
  ComLinkFolder(const ComLinkFolder&) = delete;
  ComLinkFolder& operator=(const ComLinkFolder&) = delete;

  void link(const std::string& name, const std::string& target) const {
    std::filesystem::create_symlink(target, path_ + "/" + name);
  }

 private:
  std::string path_;
  std::string previous_;
};

// A child process that runs a piece of a test and reports back in text: the
// child must not touch the test's own state, so it runs nothing of gtest.
class Child {
 public:
  // Starts body in a child; its returned text is the report. With keep_running
  // the child then waits to be killed instead of ending.
  explicit Child(const std::function<std::string()>& body, bool keep_running = false) {
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      close(pipe_ends[0]);
      const std::string report = body() + "\n";
      if (write(pipe_ends[1], report.data(), report.size()) < 0) _exit(1);
      close(pipe_ends[1]);
      while (keep_running) pause();
      _exit(0);
    }
    close(pipe_ends[1]);
    report_fd_ = pipe_ends[0];
  }
  ~Child() {
    if (pid_ > 0) kill_now();
    if (report_fd_ >= 0) close(report_fd_);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }

  // The child's report (up to its line end), once it has given it.
  std::string report() {
    std::string text;
    char c = 0;
    while (read(report_fd_, &c, 1) == 1 && c != '\n') text += c;
    return text;
  }

  // Ends a child with SIGKILL, as a program is killed: nothing of it runs after.
  void kill_now() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  // Waits for a child that ends by itself; true when it ended normally.
  bool finished() {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

 private:
  pid_t pid_ = -1;
  int report_fd_ = -1;
};

// In a child: lets go of the pseudo-terminal masters inherited from the test,
// which would make it the line's other side instead of a program using it.
inline void close_pty_masters() {
  for (int fd = 3; fd < 1024; ++fd) {
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISCHR(info.st_mode) && info.st_rdev == makedev(5, 2)) close(fd);
  }
}

// In a child: leaves root behind (root ignores a terminal's exclusive use), as
// the user "nobody". An unprivileged process stays as it is. Empty on success.
inline std::string become_unprivileged() {
  if (geteuid() != 0) return {};
  if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) return "cannot drop root";
  return {};
}

// In a child: makes the calling process the leader of a new session whose
// controlling terminal, and standard input, output and error, is a new
// pseudo-terminal. Its "pts/N" name, or empty when that failed.
inline std::string become_session_on_new_terminal() {
  int master = -1;
  int terminal = -1;
  char name[64] = {};
  if (setsid() < 0 || openpty(&master, &terminal, name, nullptr, nullptr) != 0) return {};
  if (ioctl(terminal, TIOCSCTTY, 0) != 0) return {};
  for (int stream : {0, 1, 2}) dup2(terminal, stream);
  return std::string(name).substr(5);
}
