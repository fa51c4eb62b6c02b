#include "link_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {

// The lock file is never followed through a link nor taken when it is not
// the user's own regular file: the link folder may be shared
// ($VELMORANT_DOSDEVICES), and whatever another user planted there would be
// cut short and written into.
int open_lock_file(const std::string& path) {
  const int fd =
      open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, S_IRUSR | S_IWUSR);
  if (fd == -1 && errno == ELOOP)
    throw std::runtime_error(path + " is a link: remove it or choose another link folder");
  if (fd == -1) throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
  struct stat seen {};
  std::string refusal;
  if (fstat(fd, &seen) != 0)
    refusal = "cannot open " + path + ": " + std::strerror(errno);
  else if (!S_ISREG(seen.st_mode))
    refusal = path + ": not a regular file";
  else if (seen.st_uid != geteuid())
    refusal = path + " belongs to another user: remove it or choose another link folder";
  if (!refusal.empty()) {
    close(fd);
    throw std::runtime_error(refusal);
  }
  fchmod(fd, S_IRUSR | S_IWUSR);  // whatever the umask
  return fd;
}

// The first line of the lock file that another simulator holds, read
// through a descriptor of its own (the lock is per open file): a few dozen
// bytes at most.
std::string holder_line(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd == -1) return "";
  struct stat seen {};
  char text[128];
  ssize_t got = 0;
  if (fstat(fd, &seen) == 0 && S_ISREG(seen.st_mode)) got = read(fd, text, sizeof text - 1);
  close(fd);
  std::string line(text, got > 0 ? static_cast<std::size_t>(got) : 0);
  line = line.substr(0, line.find('\n'));
  for (char& c : line)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f) c = '?';
  return line;
}

bool same_file(int fd, const std::string& path) {
  struct stat held {
  }, named{};
  return fstat(fd, &held) == 0 && stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
         held.st_ino == named.st_ino;
}

}  // namespace

void LinkLock::take(const std::string& link, const std::string& com_name, const std::string& holder) {
  release();
  const std::string path = link + ".velmorant-sim.lock";
  for (;;) {
    const int fd = open_lock_file(path);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      close(fd);
      if (error != EWOULDBLOCK) throw std::runtime_error("cannot lock " + path + ": " + std::strerror(error));
      const std::string other = holder_line(path);  // empty while the other simulator is still writing it
      throw std::runtime_error(com_name + " is in use by another velmorant-sim" +
                               (other.empty() ? std::string() : " (" + other + ")"));
    }
    // A simulator that ended between the open and the lock has removed the
    // file it held: this one is then nobody's lock, so take the name's new one.
    if (same_file(fd, path)) {
      fd_ = fd;
      path_ = path;
      break;
    }
    close(fd);
  }
  // The lock is ours: what an earlier, killed holder wrote goes, through the
  // descriptor that holds the lock.
  const std::string text = holder + '\n';
  errno = 0;
  if (ftruncate(*fd_, 0) != 0 || pwrite(*fd_, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
    const int error = errno == 0 ? ENOSPC : errno;
    release();
    throw std::runtime_error("cannot write " + path + ": " + std::strerror(error));
  }
}

void LinkLock::release() {
  if (!fd_) return;
  unlink(path_.c_str());  // while still locked, so nobody takes a file that is going away
  close(*fd_);
  fd_.reset();
}
