// Queues, errors and modem lines: ClearCommError, EscapeCommFunction,
// GetCommModemStatus.
#include <sys/ioctl.h>

#include <cerrno>

#include "line_settings.h"
#include "serial_device.h"

namespace {

BOOL fail_with_errno(int error) {
  SetLastError(error_from_errno(error));
  return FALSE;
}

}  // namespace

DWORD line_errors(const LineCounters& before, const LineCounters& now) {
  DWORD errors = 0;
  if (now.buffer_overrun != before.buffer_overrun) errors |= CE_RXOVER;
  if (now.overrun != before.overrun) errors |= CE_OVERRUN;
  if (now.parity != before.parity) errors |= CE_RXPARITY;
  if (now.frame != before.frame) errors |= CE_FRAME;
  if (now.breaks != before.breaks) errors |= CE_BREAK;
  return errors;
}

void line_holds(const DCB& settings, int modem_lines, COMSTAT& status) {
  status.fCtsHold = settings.fOutxCtsFlow && !(modem_lines & TIOCM_CTS) ? 1 : 0;
  status.fDsrHold = settings.fOutxDsrFlow && !(modem_lines & TIOCM_DSR) ? 1 : 0;
}

LineCounters line_counters_of(const serial_icounter_struct& icount) {
  LineCounters counters;
  counters.overrun = static_cast<unsigned>(icount.overrun);
  counters.buffer_overrun = static_cast<unsigned>(icount.buf_overrun);
  counters.parity = static_cast<unsigned>(icount.parity);
  counters.frame = static_cast<unsigned>(icount.frame);
  counters.breaks = static_cast<unsigned>(icount.brk);
  return counters;
}

bool read_line_counters(int fd, LineCounters& counters) {
  serial_icounter_struct icount{};
  if (ioctl(fd, TIOCGICOUNT, &icount) != 0) return false;
  counters = line_counters_of(icount);
  return true;
}

// cbInQue: FIONREAD; cbOutQue: TIOCOUTQ; errors: what the TIOCGICOUNT
// counters gained since the previous call (drivers without counters report
// none); fCtsHold/fDsrHold: the flow control line is low while the DCB waits
// on it. A line that has hung up fails, as a removed port does on Windows:
// the kernel then answers every request on the terminal with EIO.
BOOL WINAPI ClearCommError(HANDLE handle, LPDWORD errors, LPCOMSTAT status) {
  SerialDevice* device = serial_line(handle);
  if (device == nullptr) return FALSE;
  const int fd = device->fd();
  int queued = 0;
  int unsent = 0;
  if (ioctl(fd, FIONREAD, &queued) != 0 || (!device->output_drained && ioctl(fd, TIOCOUTQ, &unsent) != 0)) {
    if (errno != EIO) return fail_with_errno(errno);
    SetLastError(ERROR_GEN_FAILURE);
    return FALSE;
  }
  if (unsent == 0) device->output_drained = true;

  DWORD found = 0;
  LineCounters now;
  if (device->counters_known && read_line_counters(fd, now)) {
    found = line_errors(device->counters, now);
    device->counters = now;
  }
  if (errors != nullptr) *errors = found;

  if (status != nullptr) {
    *status = COMSTAT{};
    status->cbInQue = static_cast<DWORD>(queued);
    status->cbOutQue = static_cast<DWORD>(unsent);
    // The modem lines matter only to a hold, which needs flow control on them.
    const bool watched = device->settings.fOutxCtsFlow || device->settings.fOutxDsrFlow;
    int lines = 0;
    if (watched && ioctl(fd, TIOCMGET, &lines) == 0) line_holds(device->settings, lines, *status);
  }
  return TRUE;
}

// SETRTS/CLRRTS, SETDTR/CLRDTR: TIOCMBIS/TIOCMBIC; SETBREAK/CLRBREAK:
// TIOCSBRK/TIOCCBRK; SETXOFF/SETXON: TCXONC (transmission as if XOFF or XON
// had been received); RESETDEV has nothing to reset on a terminal.
std::optional<ModemLineChange> modem_line_change(DWORD function) {
  switch (function) {
    case SETRTS: return ModemLineChange{TIOCMBIS, TIOCM_RTS};
    case CLRRTS: return ModemLineChange{TIOCMBIC, TIOCM_RTS};
    case SETDTR: return ModemLineChange{TIOCMBIS, TIOCM_DTR};
    case CLRDTR: return ModemLineChange{TIOCMBIC, TIOCM_DTR};
    default: return std::nullopt;
  }
}

BOOL WINAPI EscapeCommFunction(HANDLE handle, DWORD function) {
  SerialDevice* device = serial_line(handle);
  if (device == nullptr) return FALSE;
  const int fd = device->fd();
  if (const std::optional<ModemLineChange> change = modem_line_change(function)) {
    int line = change->line;
    return ioctl(fd, change->request, &line) == 0 ? TRUE : fail_with_errno(errno);
  }
  switch (function) {
    case SETBREAK:
    case CLRBREAK: return ioctl(fd, function == SETBREAK ? TIOCSBRK : TIOCCBRK) == 0 ? TRUE : fail_with_errno(errno);
    case SETXOFF:
    case SETXON:
      if (int error = line_suspend_output(fd, function == SETXOFF)) return fail_with_errno(error);
      return TRUE;
    case RESETDEV: return TRUE;
    default: SetLastError(ERROR_INVALID_PARAMETER); return FALSE;
  }
}

// TIOCMGET: CTS, DSR, RI and DCD as MS_CTS_ON, MS_DSR_ON, MS_RING_ON, MS_RLSD_ON.
BOOL WINAPI GetCommModemStatus(HANDLE handle, LPDWORD modem_status) {
  SerialDevice* device = serial_line(handle, modem_status);
  if (device == nullptr) return FALSE;
  int lines = 0;
  if (ioctl(device->fd(), TIOCMGET, &lines) != 0) return fail_with_errno(errno);
  DWORD status = 0;
  if (lines & TIOCM_CTS) status |= MS_CTS_ON;
  if (lines & TIOCM_DSR) status |= MS_DSR_ON;
  if (lines & TIOCM_RNG) status |= MS_RING_ON;
  if (lines & TIOCM_CAR) status |= MS_RLSD_ON;
  *modem_status = status;
  return TRUE;
}
