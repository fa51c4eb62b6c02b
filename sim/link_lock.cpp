#include "link_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace {

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
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd == -1) throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      close(fd);
      if (error != EWOULDBLOCK) throw std::runtime_error("cannot lock " + path + ": " + std::strerror(error));
      std::string other;  // empty while the other simulator is still writing it
      std::getline(std::ifstream(path), other);
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
  // The lock is ours: what an earlier, killed holder wrote goes.
  if (!(std::ofstream(path, std::ios::trunc) << holder << '\n')) {
    const int error = errno;
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
