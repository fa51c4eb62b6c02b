// velmorant-sim --tap DEVICE --record FILE: the simulator's port stands in
// front of a real interface. Every byte the program sends goes on to DEVICE
// and every byte DEVICE sends comes back to the program, and both are written
// to FILE as a transcript. DEVICE is opened as the program opens its port
// (its name rules, lock file and holder checks: a line another program holds
// is refused in the program's words), held so while the tap runs, and
// follows the settings the program gives the simulator's port (baud
// rate, data bits, parity, stop bits).
#pragma once

#include <windows.h>
#include <signal.h>
#include <termios.h>

#include <string>

#include "port_watch.h"
#include "pty_port.h"
#include "transcript.h"

class Tap {
 public:
  // Opens DEVICE; throws std::runtime_error when it cannot be opened as a
  // serial line.
  Tap(PtyPort& port, PortWatch& watch, const std::string& device, TranscriptWriter& record);
  // Gives DEVICE back its settings from before the tap.
  ~Tap();
  Tap(const Tap&) = delete;
  Tap& operator=(const Tap&) = delete;

  // Passes bytes until a signal arrives (stop is set) or DEVICE hangs up.
  void run(const volatile sig_atomic_t& stop, const sigset_t& unblocked);

 private:
  void follow_port_changes();
  // From the program to DEVICE, and back. False when DEVICE has hung up.
  bool pass_requests();
  bool pass_replies();
  // Gives DEVICE the line settings the program last set on our port.
  void follow_settings();

  PtyPort& port_;
  PortWatch& watch_;
  std::string device_name_;
  TranscriptWriter& record_;
  HANDLE line_ = INVALID_HANDLE_VALUE;
  int device_ = -1;
  termios applied_{};
  termios original_{};
};
