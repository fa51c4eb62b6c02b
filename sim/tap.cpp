#include "tap.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <stdexcept>
#include <string_view>

namespace {

constexpr tcflag_t FRAMING = CSIZE | PARENB | PARODD | CSTOPB;

// Writes all of bytes to a non-blocking descriptor, waiting up to wait_ms for
// room each time it is full. False when the descriptor failed or stayed full.
bool write_all(int fd, std::string_view bytes, int wait_ms) {
  while (!bytes.empty()) {
    const ssize_t put = write(fd, bytes.data(), bytes.size());
    if (put > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(put));
      continue;
    }
    if (put < 0 && errno != EAGAIN && errno != EINTR) return false;
    pollfd entry{fd, POLLOUT, 0};
    if (poll(&entry, 1, wait_ms) <= 0) return false;
  }
  return true;
}

}  // namespace

Tap::Tap(PtyPort& port, PortWatch& watch, const std::string& device, TranscriptWriter& record)
    : port_(port), watch_(watch), device_name_(device), record_(record) {
  device_ = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (device_ < 0) throw std::runtime_error("cannot open " + device + ": " + std::strerror(errno));
  // The same lock as the program's: a line that another program holds is left alone.
  if (!isatty(device_) || flock(device_, LOCK_EX | LOCK_NB) != 0) {
    const std::string why = isatty(device_) ? "in use by another program" : "not a serial line";
    close(device_);
    throw std::runtime_error("cannot tap " + device + ": " + why);
  }
  tcgetattr(device_, &original_);
  termios settings = original_;
  cfmakeraw(&settings);
  settings.c_cflag |= CLOCAL | CREAD;
  tcsetattr(device_, TCSANOW, &settings);
  tcflush(device_, TCIOFLUSH);
  follow_settings();
}

Tap::~Tap() {
  tcsetattr(device_, TCSANOW, &original_);
  close(device_);
}

void Tap::run(const volatile sig_atomic_t& stop, const sigset_t& unblocked) {
  while (!stop) {
    pollfd entries[3] = {{port_.master(), POLLIN, 0}, {watch_.fd(), POLLIN, 0}, {device_, POLLIN, 0}};
    const int ready = ppoll(entries, 3, nullptr, &unblocked);
    if (ready < 0 && errno != EINTR) throw std::runtime_error("poll failed");
    if (ready <= 0) continue;
    if (entries[1].revents & POLLIN) follow_port_changes();
    const bool passed = (!(entries[0].revents & POLLIN) || pass_requests()) &&
                        (!(entries[2].revents & (POLLIN | POLLHUP | POLLERR)) || pass_replies());
    if (!passed) {
      record_.note("hang-up");
      std::cout << "velmorant-sim: " << device_name_ << " hung up" << std::endl;
      return;
    }
  }
}

void Tap::follow_port_changes() {
  for (PortWatch::Change change : watch_.take()) {
    const bool opened = change == PortWatch::Change::Opened;
    const char* what = opened ? "opened" : "closed";
    std::cout << "velmorant-sim: the program " << what << " the port" << std::endl;
    record_.note(what);
    if (!opened) port_.forget_program();
  }
}

bool Tap::pass_requests() {
  char buffer[4096];
  const ssize_t got = read(port_.master(), buffer, sizeof buffer);
  if (got <= 0) return true;  // EAGAIN, or nobody has the port open
  const std::string_view bytes(buffer, static_cast<std::size_t>(got));
  follow_settings();
  record_.piece(Direction::Sent, bytes);
  return write_all(device_, bytes, 1000);
}

bool Tap::pass_replies() {
  char buffer[4096];
  const ssize_t got = read(device_, buffer, sizeof buffer);
  if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) return false;
  if (got < 0) return true;
  const std::string_view bytes(buffer, static_cast<std::size_t>(got));
  record_.piece(Direction::Received, bytes);
  // What the program does not take in time is dropped, as a line drops it.
  write_all(port_.master(), bytes, 100);
  return true;
}

void Tap::follow_settings() {
  termios wanted{};
  if (tcgetattr(port_.line(), &wanted) != 0) return;
  if ((wanted.c_cflag & FRAMING) == (applied_.c_cflag & FRAMING) && cfgetospeed(&wanted) == cfgetospeed(&applied_)) {
    return;
  }
  termios settings{};
  if (tcgetattr(device_, &settings) != 0) return;
  settings.c_cflag = (settings.c_cflag & ~FRAMING) | (wanted.c_cflag & FRAMING);
  cfsetispeed(&settings, cfgetospeed(&wanted));
  cfsetospeed(&settings, cfgetospeed(&wanted));
  if (tcsetattr(device_, TCSANOW, &settings) == 0) applied_ = wanted;
}
