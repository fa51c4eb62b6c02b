#include "port_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

PortWatch::PortWatch(const std::string& device_path) {
  fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0 || inotify_add_watch(fd_, device_path.c_str(), IN_OPEN | IN_CLOSE) < 0) {
    const std::string reason = std::strerror(errno);
    if (fd_ >= 0) close(fd_);
    throw std::runtime_error("cannot watch " + device_path + ": " + reason);
  }
}

PortWatch::~PortWatch() { close(fd_); }

std::vector<PortWatch::Change> PortWatch::take() {
  std::vector<Change> changes;
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t got = read(fd_, buffer, sizeof buffer);
    if (got <= 0) return changes;  // EAGAIN: nothing more waits
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      if (event->mask & IN_OPEN) {
        if (open_count_++ == 0) changes.push_back(Change::Opened);
      } else if (event->mask & IN_CLOSE) {
        // A close of an open made before the watch began is not ours to count.
        if (open_count_ > 0 && --open_count_ == 0) changes.push_back(Change::Closed);
      }
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
}
