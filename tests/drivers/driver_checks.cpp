// The port layer against a real serial driver, inside the test machine that
// tests/drivers/run_guest.py boots. Lines starting "@@ " go to the host; where
// the host has to look or act (at the emulator's trace, at its monitor) the
// program waits for its one-line answer on standard input.
//   driver_checks modes PORT    each mode of the table, as read back and as on the wire
//   driver_checks open PORT     exit 0 when the port opens, 3 when it is refused
//   driver_checks hold PORT     holds the port, with a reply to "ati" unread, until a
//                               line (or the end) on stdin; the reply must be there after
//   driver_checks keeps-low-latency PORT
//                               a port set for low latency beforehand keeps it
//                               after the port layer opened and closed it
//   driver_checks unplug PORT [PULL PUT_BACK]
//                               holds the port while the host pulls the adapter
//                               (or the shell command PULL does), then opens it
//                               again once it is back
//   driver_checks program-unplug PORT [PULL PUT_BACK]
//                               the same while the headless program polls the port
//   driver_checks relay GADGET LINE
//                               passes bytes both ways between two ports for as long
//                               as it runs, opening GADGET again whenever it comes back
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

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

// The device node's inode number, which a node made anew does not keep; 0 when there is none.
ino_t node_number(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
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
  bool reopened = false;
  for (auto deadline = Clock::now() + 30s; !reopened && Clock::now() < deadline; std::this_thread::sleep_for(200ms)) {
    if (!exists("/dev/" + port)) continue;
    handle = open_port(port, usual);
    if (handle == nullptr) continue;
    reopened = identifies(handle);
    serial_close(handle);
  }
  result("unplug " + port + ", back under the same name, and talking", reopened);
  return failures == 0 ? 0 : 1;
}

// What the headless program printed, and when the device node went and came
// back, each with the moment it was seen.
class ProgramWatch {
 public:
  explicit ProgramWatch(const std::string& port) : node_("/dev/" + port) {
    int out[2];
    if (pipe(out) != 0) return;
    child_ = fork();
    if (child_ == 0) {
      dup2(out[1], 1);
      dup2(out[1], 2);
      close(out[0]);
      close(out[1]);
      execlp("velmorant-demo", "velmorant-demo", "--headless", "--port", port.c_str(), "--duration", "600", nullptr);
      _exit(127);
    }
    close(out[1]);
    thread_ = std::thread([this, fd = out[0]] { watch(fd); });
  }

  ~ProgramWatch() {
    if (child_ > 0) kill(child_, SIGINT);  // the program ends as on Ctrl+C
    if (thread_.joinable()) thread_.join();
    if (child_ > 0) waitpid(child_, nullptr, 0);
  }

  // The moment the first line equal to line came, after the given moment;
  // max() when it did not come within the deadline.
  Clock::time_point await(const std::string& line, Clock::time_point after, std::chrono::seconds deadline) {
    for (auto end = Clock::now() + deadline; Clock::now() < end; std::this_thread::sleep_for(10ms)) {
      std::lock_guard lock(mutex_);
      for (const auto& [when, text] : lines_) {
        if (when >= after && text == line) return when;
      }
    }
    return Clock::time_point::max();
  }

  void print_lines() {
    std::lock_guard lock(mutex_);
    for (const auto& [when, text] : lines_) std::printf("  program %s\n", text.c_str());
  }

 private:
  void watch(int fd) {
    bool present = exists(node_);
    std::string pending;
    for (;;) {
      pollfd wanted{fd, POLLIN, 0};
      const int ready = poll(&wanted, 1, 10);
      const auto now = Clock::now();
      std::lock_guard lock(mutex_);
      if (exists(node_) != present) {
        present = !present;
        lines_.emplace_back(now, present ? "(node back)" : "(node gone)");
      }
      if (ready <= 0) continue;
      char bytes[512];
      const ssize_t got = read(fd, bytes, sizeof bytes);
      if (got <= 0) break;
      pending.append(bytes, got);
      for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
        lines_.emplace_back(now, pending.substr(0, end));
      }
    }
    close(fd);
  }

  std::string node_;
  pid_t child_ = -1;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::pair<Clock::time_point, std::string>> lines_;
};

double seconds_between(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// The program polls the port while the device goes and comes back: it tells
// the loss and empties the speed, says the interface is back once the device
// is, and shows the speed again. The deadlines leave room for software
// emulation on a busy machine; the times seen are printed as notes.
int check_program_unplug(const std::string& port, const char* pull, const char* put_back) {
  const std::string check = "program on " + port + " unplugged";
  ProgramWatch program(port);
  const auto start = Clock::now();
  const auto first = program.await("50 km/h", start, 60s);
  const auto never = Clock::time_point::max();
  result(check + ", shows the speed first", first != never);
  if (first == never) {
    program.print_lines();
    return 1;
  }
  const std::string pulled = act("unplug " + port, pull);
  result(check + ", device pulled", pulled == "ok", pulled);
  const auto gone = program.await("(node gone)", start, 20s);
  // Headless, the read-out is emptied by the same record that says the loss.
  const auto lost = program.await("Interface lost on " + port, first, 20s);
  const std::string put = act("replug " + port, put_back);
  result(check + ", device put back", put == "ok", put);
  const auto returned = program.await("(node back)", gone, 30s);
  const auto back = program.await("Interface back on " + port, returned, 30s);
  const auto speed = program.await("50 km/h", back, 30s);
  if (gone != never && lost != never && returned != never && back != never) {
    std::printf("@@ note %s: loss told %.2f s after the device went, back told %.2f s after it returned\n",
                port.c_str(), seconds_between(gone, lost), seconds_between(returned, back));
  }
  const bool told = gone != never && lost != never && seconds_between(gone, lost) <= 1.5;
  result(check + ", loss told at once", told,
         told ? "" : "no \"Interface lost on " + port + "\" with the speed emptied within 1.5 s of the device going");
  const bool rejoined = returned != never && back != never && seconds_between(returned, back) <= 4.0 &&
                        !exists("/dev/" + port.substr(0, port.size() - 1) + "1");
  result(
      check + ", back at once under the same name", rejoined,
      rejoined ? "" : "no \"Interface back on " + port + "\" within 4 s of the device's return, or another port came");
  result(check + ", the speed again", speed != never, speed != never ? "" : "no speed within 30 s of the return");
  if (failures != 0) program.print_lines();
  return failures == 0 ? 0 : 1;
}

// Sets a line raw at the simulator's speed.
bool make_raw(int fd) {
  termios line{};
  if (tcgetattr(fd, &line) != 0) return false;
  cfmakeraw(&line);
  cfsetspeed(&line, B19200);
  line.c_cflag |= CLOCAL | CREAD;
  return tcsetattr(fd, TCSANOW, &line) == 0;
}

int relay(const std::string& gadget_name, const std::string& line_name) {
  const int line = open(("/dev/" + line_name).c_str(), O_RDWR | O_NOCTTY);
  if (line < 0 || !make_raw(line)) {
    std::printf("@@ fail relay: %s does not open\n", line_name.c_str());
    return 1;
  }
  const std::string gadget_path = "/dev/" + gadget_name;
  int gadget = -1;
  // A gadget that went stays closed until its node has been made anew (or a
  // while has passed): opening it while its driver is being unloaded would
  // hold the unload up for ever.
  std::optional<Clock::time_point> closed_at;
  ino_t opened = 0;
  char bytes[512];
  for (;;) {
    if (gadget < 0) {
      if (closed_at && node_number(gadget_path) == opened && Clock::now() - *closed_at < 5s) {
        std::this_thread::sleep_for(100ms);
        continue;
      }
      closed_at.reset();
      opened = node_number(gadget_path);
      gadget = opened != 0 ? open(gadget_path.c_str(), O_RDWR | O_NOCTTY) : -1;
      if (gadget >= 0 && !make_raw(gadget)) {
        close(gadget);
        gadget = -1;
      }
      // Bytes for a gadget that is gone are dropped, as a pulled device's are.
      if (gadget < 0) {
        tcflush(line, TCIFLUSH);
        std::this_thread::sleep_for(100ms);
        continue;
      }
    }
    pollfd ends[] = {{line, POLLIN, 0}, {gadget, POLLIN, 0}};
    if (poll(ends, 2, -1) < 0) continue;
    // A gadget that went away reads as the end (or an error) once its tty is hung up.
    bool gadget_gone = (ends[1].revents & (POLLHUP | POLLERR)) != 0;
    if (ends[0].revents & POLLIN) {
      const ssize_t got = read(line, bytes, sizeof bytes);
      if (got > 0 && write(gadget, bytes, got) != got) gadget_gone = true;
    }
    if (!gadget_gone && (ends[1].revents & POLLIN)) {
      const ssize_t got = read(gadget, bytes, sizeof bytes);
      if (got <= 0) {
        gadget_gone = true;
      } else if (write(line, bytes, got) != got) {
        std::fprintf(stderr, "relay: %s took only part of %zd bytes\n", line_name.c_str(), got);
      }
    }
    if (gadget_gone) {
      tcflush(gadget, TCOFLUSH);  // nothing left to send that would hold the close up
      close(gadget);
      gadget = -1;
      closed_at = Clock::now();
    }
  }
}

// Holds the port with the answer to "ati" waiting unread while others try to
// open it; after them the same bytes are still there.
int hold(SerialPort handle, const std::string& port) {
  DWORD waiting = 0;
  serial_write(handle, "ati\r", 4);
  // The answer is whole once the count stays the same for half a second.
  for (auto deadline = Clock::now() + 20s; Clock::now() < deadline;) {
    const DWORD before = serial_input_count(handle);
    std::this_thread::sleep_for(500ms);
    waiting = serial_input_count(handle);
    if (waiting > 0 && waiting == before) break;
  }
  std::printf("@@ held %s\n", port.c_str());
  std::fflush(stdout);
  std::string line;
  std::getline(std::cin, line);
  const DWORD after = serial_input_count(handle);
  std::string reply(after, '\0');
  const bool read = after > 0 && serial_read(handle, reply.data(), after);
  const bool kept =
      waiting > 0 && after == waiting && read && reply.find("Velmorant") != std::string::npos && reply.ends_with("\r>");
  for (std::size_t at; (at = reply.find('\r')) != std::string::npos;) reply.replace(at, 1, "\\r");
  result("second opens leave " + port + "'s unread input", kept,
         kept ? "" : std::to_string(waiting) + " bytes waiting before, " + std::to_string(after) + " after: " + reply);
  return serial_close(handle) && failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 5) {
    std::fprintf(stderr,
                 "usage: driver_checks modes|open|hold|keeps-low-latency|unplug|program-unplug PORT [PULL PUT_BACK]\n"
                 "       driver_checks relay GADGET LINE\n");
    return 2;
  }
  const std::string command = argv[1];
  const std::string port = argv[2];
  if (command == "modes") return check_modes(port);
  if (command == "keeps-low-latency") return check_keeps_low_latency(port);
  if (command == "unplug") return check_unplug(port, argc == 5 ? argv[3] : nullptr, argc == 5 ? argv[4] : nullptr);
  if (command == "program-unplug") {
    return check_program_unplug(port, argc == 5 ? argv[3] : nullptr, argc == 5 ? argv[4] : nullptr);
  }
  if (command == "relay" && argc == 4) return relay(port, argv[3]);
  if (command == "open" || command == "hold") {
    SerialPort handle = open_port(port, usual);
    if (handle == nullptr) return 3;
    if (command == "hold") return hold(handle, port);
    return serial_close(handle) ? 0 : 1;
  }
  std::fprintf(stderr, "driver_checks: unknown command %s\n", command.c_str());
  return 2;
}
