// Port settings and timeouts: SetupComm, GetCommProperties, GetCommState,
// SetCommState, GetCommTimeouts, SetCommTimeouts.
#include <sys/ioctl.h>

#include <cerrno>

#include "line_settings.h"
#include "serial_device.h"

namespace {

bool is_valid(const DCB& dcb) {
  if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8) return false;
  if (dcb.Parity > SPACEPARITY || dcb.StopBits > TWOSTOPBITS) return false;
  if ((dcb.fOutX || dcb.fInX) && dcb.XonChar == dcb.XoffChar) return false;
  return true;
}

// Raises (TIOCMBIS) or lowers (TIOCMBIC) modem lines. A line without modem
// control lines (a pseudo-terminal) answers ENOTTY or EINVAL; the state then
// has nothing to drive, which is not a failure of the settings.
int drive_lines(int fd, unsigned long request, int lines) {
  if (lines == 0 || ioctl(fd, request, &lines) == 0) return 0;
  return errno == ENOTTY || errno == EINVAL ? 0 : errno;
}

}  // namespace

ModemLineLevels modem_line_levels(const DCB& dcb) {
  ModemLineLevels levels;
  (dcb.fDtrControl != DTR_CONTROL_DISABLE ? levels.raised : levels.lowered) |= TIOCM_DTR;
  if (dcb.fRtsControl != RTS_CONTROL_HANDSHAKE) {
    (dcb.fRtsControl != RTS_CONTROL_DISABLE ? levels.raised : levels.lowered) |= TIOCM_RTS;
  }
  return levels;
}

// A Linux terminal's queues have a fixed size: the requested sizes are only
// recorded, and the call succeeds, as it does on drivers that round or ignore them.
BOOL WINAPI SetupComm(HANDLE handle, DWORD input_queue, DWORD output_queue) {
  SerialDevice* device = serial_line(handle);
  if (device == nullptr) return FALSE;
  device->input_queue_size = input_queue;
  device->output_queue_size = output_queue;
  return TRUE;
}

// The queue sizes are the ones SetupComm recorded (0, "unknown", before it).
BOOL WINAPI GetCommProperties(HANDLE handle, LPCOMMPROP properties) {
  SerialDevice* device = serial_line(handle, properties);
  if (device == nullptr) return FALSE;
  *properties = COMMPROP{};
  properties->wPacketLength = sizeof(COMMPROP);
  properties->wPacketVersion = 2;
  properties->dwServiceMask = SP_SERIALCOMM;
  properties->dwMaxBaud = BAUD_USER;  // any rate the driver takes
  properties->dwProvSubType = PST_RS232;
  properties->dwCurrentTxQueue = device->output_queue_size;
  properties->dwCurrentRxQueue = device->input_queue_size;
  return TRUE;
}

BOOL WINAPI GetCommState(HANDLE handle, LPDCB dcb) {
  SerialDevice* device = serial_line(handle, dcb);
  if (device == nullptr) return FALSE;
  DCB current = device->settings;
  if (int error = line_read_settings(device->fd(), current)) {
    SetLastError(error_from_errno(error));
    return FALSE;
  }
  current.DCBlength = sizeof(DCB);
  *dcb = current;
  return TRUE;
}

// termios: speed, size, parity, stop bits, CRTSCTS, IXON/IXOFF, VSTART/VSTOP;
// TIOCMBIS/TIOCMBIC for DTR and RTS when they are not handshake lines. XonLim,
// XoffLim, DSR flow and the error and event characters have no termios
// counterpart: they are kept and read back, not enforced.
BOOL WINAPI SetCommState(HANDLE handle, LPDCB dcb) {
  SerialDevice* device = serial_line(handle);
  if (device == nullptr) return FALSE;
  if (dcb == nullptr || !is_valid(*dcb)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const ModemLineLevels levels = modem_line_levels(*dcb);
  int error = line_write_settings(device->fd(), *dcb);
  if (error == 0) error = drive_lines(device->fd(), TIOCMBIS, levels.raised);
  if (error == 0) error = drive_lines(device->fd(), TIOCMBIC, levels.lowered);
  if (error != 0) {
    SetLastError(error_from_errno(error));
    return FALSE;
  }
  device->settings = *dcb;
  return TRUE;
}

BOOL WINAPI GetCommTimeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts) {
  SerialDevice* device = serial_line(handle, timeouts);
  if (device == nullptr) return FALSE;
  *timeouts = device->timeouts;
  return TRUE;
}

BOOL WINAPI SetCommTimeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts) {
  SerialDevice* device = serial_line(handle, timeouts);
  if (device == nullptr) return FALSE;
  device->timeouts = *timeouts;
  return TRUE;
}
