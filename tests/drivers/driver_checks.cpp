// The port layer against a real serial driver, inside the test machine that
// tests/drivers/run_guest.py boots. Lines starting "@@ " go to the host; where
// the host has to look or act (at the emulator's trace, at its monitor) the
// program waits for its one-line answer on standard input.
//   driver_checks modes PORT    each mode of the table, as read back and as on the wire
//   driver_checks open PORT     exit 0 when the port opens, 3 when it is refused
//   driver_checks hold PORT     holds the port until a line (or the end) on stdin
//   driver_checks keeps-low-latency PORT
//                               a port set for low latency beforehand keeps it
//                               after the port layer opened and closed it
//   driver_checks unplug PORT [PULL PUT_BACK]
//                               holds the port while the host pulls the adapter
//                               (or the shell command PULL does), then opens it
//                               again once it is back
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

#include "serial_port.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

int failures = 0;

void result(const std::string& check, bool passed, const std::string& detail = "") {
  std::printf("@@ %s %s%s%s\n", passed ? "pass" : "fail", check.c_str(), detail.empty() ? "" : ": ", detail.c_str());
  std::fflush(stdout);
  if (!passed) ++failures;
}

// Asks the host and returns its answer ("ok", or what it saw instead).
std::string ask(const std::string& request) {
  std::printf("@@ %s\n", request.c_str());
  std::fflush(stdout);
  std::string answer;
  std::getline(std::cin, answer);
  return answer;
}

SerialPort open_port(const std::string& port, const std::string& mode, std::int32_t handshake = HANDSHAKE_NONE) {
  return serial_open((port + ": " + mode).c_str(), handshake, 255, 255);
}

// What serial_open is given, what GetCommState must read back, and the line
// the emulated hardware must then be running ('M'/'S': mark and space).
struct Mode {
  const char* text;
  DWORD baud;
  BYTE data;
  BYTE parity;
  BYTE stop;
  char wire_parity;
};

constexpr Mode modes_table[] = {
    {"baud=19200 parity=N data=8 stop=1", 19200, 8, NOPARITY, ONESTOPBIT, 'N'},
    {"baud=9600 parity=E data=7 stop=2", 9600, 7, EVENPARITY, TWOSTOPBITS, 'E'},
    {"baud=115200 parity=N data=8 stop=1", 115200, 8, NOPARITY, ONESTOPBIT, 'N'},
    {"baud=4800 parity=O data=8 stop=1", 4800, 8, ODDPARITY, ONESTOPBIT, 'O'},
    {"baud=2400 parity=M data=7 stop=1", 2400, 7, MARKPARITY, ONESTOPBIT, 'M'},
    {"baud=38400 parity=S data=8 stop=2", 38400, 8, SPACEPARITY, TWOSTOPBITS, 'S'},
    {"baud=19200 parity=E data=8 stop=1", 19200, 8, EVENPARITY, ONESTOPBIT, 'E'},
};

int check_modes(const std::string& port) {
  for (const Mode& mode : modes_table) {
    const std::string check = "mode " + port + " " + mode.text;
    SerialPort handle = open_port(port, mode.text);
    if (handle == nullptr) {
      result(check, false, "serial_open refused it");
      continue;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    const bool read = GetCommState(handle, &dcb);
    const bool same = read && dcb.BaudRate == mode.baud && dcb.ByteSize == mode.data && dcb.Parity == mode.parity &&
                      dcb.StopBits == mode.stop;
    result(check + " read back", same,
           "baud " + std::to_string(dcb.BaudRate) + " data " + std::to_string(dcb.ByteSize) + " parity " +
               std::to_string(dcb.Parity) + " stop " + std::to_string(dcb.StopBits));
    const std::string wire = ask("wire " + port + " " + std::to_string(mode.baud) + " " + mode.wire_parity + " " +
                                 std::to_string(mode.data) + " " + (mode.stop == ONESTOPBIT ? "1" : "2"));
    if (wire == "blind") {
      std::printf("@@ note the emulator does not show the line of %s\n", port.c_str());
    } else {
      result(check + " on the wire", wire == "ok", wire);
    }
    serial_close(handle);
  }

  // Parity checking and XON/XOFF, once set, go again when the settings no
  // longer ask for them: the kernel keeps a line's termios from one holder
  // to the next, so whatever is left set stays with the port.
  SerialPort handle = open_port(port, "baud=19200 parity=E data=8 stop=1");
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  bool done = handle != nullptr && GetCommState(handle, &dcb);
  dcb.fParity = dcb.fOutX = dcb.fInX = 1;
  done = done && SetCommState(handle, &dcb);
  dcb.fParity = dcb.fOutX = dcb.fInX = 0;
  dcb.Parity = NOPARITY;
  done = done && SetCommState(handle, &dcb);
  DCB taken{};
  taken.DCBlength = sizeof taken;
  done = done && GetCommState(handle, &taken);
  result("checks off " + port, done && !taken.fParity && !taken.fOutX && !taken.fInX,
         done ? "fParity " + std::to_string(taken.fParity) + " fOutX " + std::to_string(taken.fOutX) + " fInX " +
                    std::to_string(taken.fInX)
              : "the port would not take the settings");
  if (handle != nullptr) serial_close(handle);
  return failures == 0 ? 0 : 1;
}

constexpr char usual[] = "baud=19200 parity=N data=8 stop=1";

// Sends "ati\r" and gathers the answer until its prompt, or the deadline.
bool identifies(SerialPort port) {
  if (!serial_write(port, "ati\r", 4)) return false;
  std::string reply;
  for (auto deadline = Clock::now() + 10s; reply.find("\r>") == std::string::npos && Clock::now() < deadline;) {
    char byte = 0;
    if (serial_input_count(port) == 0) {
      std::this_thread::sleep_for(2ms);
    } else if (serial_read(port, &byte, 1)) {
      reply += byte;
    }
  }
  return reply.find("Velmorant") != std::string::npos;
}

// True once a call on the port reports failure, within the deadline.
bool reports_failure(SerialPort port) {
  for (auto deadline = Clock::now() + 10s; Clock::now() < deadline; std::this_thread::sleep_for(100ms)) {
    char byte = 0;
    if (!serial_write(port, "ati\r", 4) || !serial_read(port, &byte, 1)) return true;
  }
  return false;
}

bool exists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

// Asks the host, or runs the command when there is one.
std::string act(const std::string& request, const char* command) {
  if (command == nullptr) return ask(request);
  return std::system(command) == 0 ? "ok" : std::string(command) + " failed";
}

// Sets or reads the low-latency flag behind the port layer's back.
bool low_latency(int fd, int set) {
  serial_struct serial{};
  if (ioctl(fd, TIOCGSERIAL, &serial) != 0) return false;
  if (set < 0) return serial.flags & ASYNC_LOW_LATENCY;
  serial.flags = set ? serial.flags | ASYNC_LOW_LATENCY : serial.flags & ~ASYNC_LOW_LATENCY;
  return ioctl(fd, TIOCSSERIAL, &serial) == 0 && low_latency(fd, -1) == (set != 0);
}

int check_keeps_low_latency(const std::string& port) {
  // Another program set the flag and has let the port go since (a holder
  // would make the port layer refuse the port): the driver keeps the flag.
  const std::string device = "/dev/" + port;
  int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  const bool taken = fd >= 0 && low_latency(fd, 1);
  if (fd >= 0) close(fd);
  if (!taken) {
    std::printf("@@ note %s takes no low-latency flag\n", port.c_str());
    return 0;
  }
  SerialPort handle = open_port(port, usual);
  const bool opened = handle != nullptr && serial_close(handle);
  fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  result("low latency set beforehand stays after " + port + " closed", opened && fd >= 0 && low_latency(fd, -1));
  if (fd >= 0) {
    low_latency(fd, 0);
    close(fd);
  }
  return failures == 0 ? 0 : 1;
}

int check_unplug(const std::string& port, const char* pull, const char* put_back) {
  SerialPort handle = open_port(port, usual);
  result("unplug " + port + ", holder opens and talks", handle != nullptr && identifies(handle));
  if (handle == nullptr) return 1;
  const std::string pulled = act("unplug " + port, pull);
  result("unplug " + port + ", adapter pulled", pulled == "ok", pulled);
  result("unplug " + port + ", the port layer reports the loss", reports_failure(handle));
  serial_close(handle);
  const std::string back = act("replug " + port, put_back);
  result("unplug " + port + ", adapter put back", back == "ok", back);
  // The gadget's bytes reach the simulator through a relay that does not
  // survive its own device going, so there the port has to open, not talk.
  const bool talks = pull == nullptr;
  bool reopened = false;
  for (auto deadline = Clock::now() + 30s; !reopened && Clock::now() < deadline; std::this_thread::sleep_for(200ms)) {
    if (!exists("/dev/" + port)) continue;
    handle = open_port(port, usual);
    if (handle == nullptr) continue;
    reopened = !talks || identifies(handle);
    serial_close(handle);
  }
  result("unplug " + port + ", back under the same name" + (talks ? ", and talking" : ""), reopened);
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 5) {
    std::fprintf(stderr, "usage: driver_checks modes|open|hold|keeps-low-latency|unplug PORT [PULL PUT_BACK]\n");
    return 2;
  }
  const std::string command = argv[1];
  const std::string port = argv[2];
  if (command == "modes") return check_modes(port);
  if (command == "keeps-low-latency") return check_keeps_low_latency(port);
  if (command == "unplug") return check_unplug(port, argc == 5 ? argv[3] : nullptr, argc == 5 ? argv[4] : nullptr);
  if (command == "open" || command == "hold") {
    SerialPort handle = open_port(port, usual);
    if (handle == nullptr) return 3;
    if (command == "hold") {
      std::printf("@@ held %s\n", port.c_str());
      std::fflush(stdout);
      std::string line;
      std::getline(std::cin, line);
    }
    return serial_close(handle) ? 0 : 1;
  }
  std::fprintf(stderr, "driver_checks: unknown command %s\n", command.c_str());
  return 2;
}
