// A device opened by CreateFileA: its file descriptor and what Win32 keeps per
// open port that the terminal driver cannot hold (timeouts, queue sizes, the
// DCB fields without a termios counterpart, the last error counters).
#pragma once

#include <linux/serial.h>
#include <termios.h>

#include <cstdint>
#include <optional>

#include "kernel/handle_table.h"
#include "port_lock.h"

// The driver's cumulative error counters (TIOCGICOUNT), where it keeps them.
struct LineCounters {
  std::uint64_t overrun = 0;
  std::uint64_t buffer_overrun = 0;
  std::uint64_t parity = 0;
  std::uint64_t frame = 0;
  std::uint64_t breaks = 0;
};

class SerialDevice final : public KernelObject {
 public:
  static constexpr HandleKind handle_kind = HandleKind::serial_device;

  explicit SerialDevice(int fd) : KernelObject(handle_kind), fd_(fd) {}
  ~SerialDevice() override;
  bool close() override;

  int fd() const { return fd_; }

  // Signalled while input waits, and for good once the line has hung up.
  int wait_descriptor() const override { return fd_; }
  bool take_signal() override;

  DCB settings{};
  COMMTIMEOUTS timeouts{};
  DWORD input_queue_size = 0;
  DWORD output_queue_size = 0;
  // Locked for this holder (flock, TIOCEXCL): unlocked again on close.
  bool exclusive = false;
  bool low_latency_added = false;  // ASYNC_LOW_LATENCY set on open, cleared on close
  // The lock file taken for this holder, removed when the object goes.
  PortLock lock;
  // Nothing was written since the output queue was last seen empty; it can
  // then only still be empty, and need not be asked for.
  bool output_drained = true;
  bool counters_known = false;
  LineCounters counters;
  // The line's settings as they were before this open made it raw.
  termios before_open{};

 private:
  int fd_;
};

// The device behind a handle when it is a serial line (CreateFileA opens
// nothing else); else nullptr with ERROR_INVALID_HANDLE, as Win32 answers for
// a handle that is no serial port.
SerialDevice* serial_line(HANDLE handle);
// The same for a call that also needs `argument`: nullptr with
// ERROR_INVALID_PARAMETER when it is missing.
SerialDevice* serial_line(HANDLE handle, const void* argument);

// Reads the driver's error counters; false when the driver keeps none (a
// pseudo-terminal, for one).
bool read_line_counters(int fd, LineCounters& counters);
// The counters of what TIOCGICOUNT gave.
LineCounters line_counters_of(const serial_icounter_struct& icount);

// The CE_ bits of the counters that grew from before to now.
DWORD line_errors(const LineCounters& before, const LineCounters& now);

// COMSTAT's fCtsHold and fDsrHold: transmission waits for a flow-control line
// that the settings watch and that is low in the modem lines (TIOCM_ bits).
void line_holds(const DCB& settings, int modem_lines, COMSTAT& status);

// The driver request (TIOCMBIS or TIOCMBIC) and modem line (TIOCM_RTS or
// TIOCM_DTR) of EscapeCommFunction's SETRTS, CLRRTS, SETDTR and CLRDTR; none
// for any other function.
struct ModemLineChange {
  unsigned long request;
  int line;
};
std::optional<ModemLineChange> modem_line_change(DWORD function);

// The modem lines (TIOCM_ bits) that SetCommState raises and lowers for a
// DCB: DTR and RTS as their controls ask, except RTS under handshaking,
// which the driver drives.
struct ModemLineLevels {
  int raised = 0;
  int lowered = 0;
};
ModemLineLevels modem_line_levels(const DCB& dcb);

// The settings a port starts with when it is opened, before the line's own
// (speed, format, flow control) are read into them.
DCB settings_on_open();
