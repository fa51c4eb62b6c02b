#include "link_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {

std::string contents(int fd) {
  char text[256] = {};
  const ssize_t length = pread(fd, text, sizeof text - 1, 0);
  std::string holder(text, length > 0 ? static_cast<std::size_t>(length) : 0);
  while (!holder.empty() && holder.back() == '\n') holder.pop_back();
  return holder;
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
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      const std::string other = contents(fd);
      close(fd);
      if (error != EWOULDBLOCK) throw std::runtime_error("cannot lock " + path + ": " + std::strerror(error));
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
  const std::string line = holder + "\n";
  if (ftruncate(fd_, 0) != 0 || pwrite(fd_, line.data(), line.size(), 0) != static_cast<ssize_t>(line.size())) {
    const int error = errno;
    release();
    throw std::runtime_error("cannot write " + path + ": " + std::strerror(error));
  }
}

void LinkLock::release() {
  if (fd_ < 0) return;
  unlink(path_.c_str());  // while still locked, so nobody takes a file that is going away
  close(fd_);
  fd_ = -1;
  path_.clear();
}
