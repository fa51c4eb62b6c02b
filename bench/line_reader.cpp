// The least a program can do to poll the interface byte by byte: the same
// conversation as the demo (identification, connect, then group 05 every
// 100 ms), each reply byte taken as it arrives by blocking in poll() and
// reading it with a one-byte read(), and FIONREAD asked whether another waits
// only once the prompt is in, with no window. Its CPU share is the floor under
// the program's on the same machine. With INTERVAL_MS 0 it polls back to
// back: the next request as soon as a reply is complete.
//   line_reader DEVICE SECONDS [INTERVAL_MS]   (default 100)
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

int waiting(int fd) {
  int count = 0;
  return ioctl(fd, FIONREAD, &count) == 0 ? count : 0;
}

void send(int fd, const std::string& request) {
  if (write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size()))
    std::perror("line_reader: write");
}

// Reads byte by byte until no byte waits and the reply holds the prompt (or a second passes).
std::string collect(int fd) {
  std::string reply;
  const auto give_up = Clock::now() + std::chrono::seconds(1);
  bool byte_waits = false;  // poll() saw it
  bool has_prompt = false;
  while (Clock::now() < give_up) {
    if (byte_waits || (has_prompt && waiting(fd) > 0)) {
      byte_waits = false;
      char byte = 0;
      if (read(fd, &byte, 1) == 1) reply += byte;
      has_prompt = has_prompt || byte == '>';
      continue;
    }
    if (has_prompt) break;
    pollfd line{fd, POLLIN, 0};
    byte_waits = poll(&line, 1, 20) == 1 && line.revents == POLLIN;
  }
  return reply;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: line_reader DEVICE SECONDS [INTERVAL_MS]\n");
    return 2;
  }
  const int fd = open(argv[1], O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    std::perror("line_reader: open");
    return 1;
  }
  termios settings{};
  tcgetattr(fd, &settings);
  cfmakeraw(&settings);
  cfsetspeed(&settings, B19200);
  tcsetattr(fd, TCSANOW, &settings);

  std::string answers;
  while (answers.find("Velmorant") == std::string::npos) {
    send(fd, "ati\r");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    char buffer[256];
    for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;) answers.append(buffer, static_cast<size_t>(got));
  }
  send(fd, "atd01\r");
  while (waiting(fd) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  collect(fd);

  const auto end = Clock::now() + std::chrono::seconds(std::atoi(argv[2]));
  const int interval_ms = argc == 4 ? std::atoi(argv[3]) : 100;
  while (Clock::now() < end) {
    if (interval_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(interval_ms));
    send(fd, "0805\r");
    collect(fd);
  }
  close(fd);
  return 0;
}
