// The program's serial line: the one way its port is opened, and the open
// port as the connection sequence talks through it. Every call notes
// whether the line failed: a failed write, count query or read, or a line
// that reports a hang-up, means that the interface is gone (unplugged, its
// driver removed, the other side of the line closed), and nothing more can
// come from this handle. A line that is only silent is not lost. The owner
// closes the port.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "serial_port.h"

// The program's port: the name typed in the window followed by these
// settings, opened without handshake and with queues of QUEUE_SIZE bytes.
inline constexpr std::string_view SERIAL_SETTINGS_SUFFIX = ": baud=19200 parity=N Data=8 stop=1";
inline constexpr int QUEUE_SIZE = 255;

// Opens the port of the settings text as the program does, the first time
// and again after the interface was lost; nullptr, with the system's error
// left for GetLastError, when it cannot be opened.
SerialPort open_program_port(const std::string& settings);

class Line {
 public:
  explicit Line(SerialPort port) : port_(port) {}
  Line(const Line&) = delete;
  Line& operator=(const Line&) = delete;

  SerialPort port() const { return port_; }
  bool lost() const { return lost_; }

  // Bytes waiting; 0 also when the count cannot be asked, which loses the line.
  DWORD input_count();
  // One byte into into[0], for a caller that knows one waits; false when the
  // read failed (a read that times out with nothing counts as done).
  bool read(char* into);
  void write(std::string_view bytes);
  // The line woke a wait with nothing to read: it has hung up.
  void note_hang_up() { lost_ = true; }

  // Closes the handle at once, so that the device can come back under its name.
  void close();
  // Opens the port of the settings text again, as the program first did.
  bool reopen(const std::string& settings);

 private:
  // A result that tells failure is a lost line only when the system gave a
  // reason: a write cut short by its timeout is no failure of the line.
  void note_failure_if_reported();

  SerialPort port_;
  bool lost_ = false;
};
