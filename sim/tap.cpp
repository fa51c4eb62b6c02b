#include "tap.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <stdexcept>
#include <string_view>

#include "comm/serial_device.h"
#include "open_failure.h"

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
  // Opened as the program opens its port: the same name rules, lock file and
  // holder checks, so that a line another program holds is left untouched.
  constexpr std::string_view dev = "/dev/";
  const std::string name = device.starts_with(dev) ? device.substr(dev.size()) : device;
  line_ = CreateFileA(("\\\\.\\" + name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (line_ == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    const bool no_line = error == ERROR_FILE_NOT_FOUND || error == ERROR_BAD_DEVICE;
    const std::string message = open_failure_message(name, error);
    const std::string why = no_line ? "not a serial line" : message.substr(message.find("\n\n") + 2);
    throw std::runtime_error("cannot tap " + device + ": " + why);
  }
  device_ = serial_line(line_)->fd();
  original_ = serial_line(line_)->before_open;
  termios settings{};
  tcgetattr(device_, &settings);
  settings.c_cflag |= CLOCAL | CREAD;
  tcsetattr(device_, TCSANOW, &settings);
  follow_settings();
}

Tap::~Tap() {
  tcsetattr(device_, TCSANOW, &original_);
  CloseHandle(line_);  // lets the line and its lock file go
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
