// Port settings and timeouts: SetupComm, GetCommProperties, GetCommState,
// SetCommState, GetCommTimeouts, SetCommTimeouts.
#include <sys/ioctl.h>

#include <cerrno>

#include "line_settings.h"
#include "serial_device.h"

namespace {

// Why a DCB cannot be applied, or 0: a size, parity or stop bits that no
// serial driver knows is not supported, as Win32's driver answers; a rate of
// 0 (which would hang the line up) and XON equal to XOFF are bad parameters.
DWORD refusal_of(const DCB& dcb) {
  if (dcb.ByteSize < 5 || dcb.ByteSize > 8) return ERROR_NOT_SUPPORTED;
  if (dcb.Parity > SPACEPARITY || dcb.StopBits > TWOSTOPBITS) return ERROR_NOT_SUPPORTED;
  if (dcb.BaudRate == 0) return ERROR_INVALID_PARAMETER;
  if ((dcb.fOutX || dcb.fInX) && dcb.XonChar == dcb.XoffChar) return ERROR_INVALID_PARAMETER;
  return 0;
}

// Raises (TIOCMBIS) or lowers (TIOCMBIC) modem lines. A line without modem
// control lines (a pseudo-terminal) answers ENOTTY or EINVAL; the state then
// has nothing to drive, which is not a failure of the settings.
int drive_lines(int fd, unsigned long request, int lines) {
  if (lines == 0 || ioctl(fd, request, &lines) == 0) return 0;
  return errno == ENOTTY || errno == EINVAL ? 0 : errno;
}

}  // namespace

// As Win32's serial driver starts a port: DTR and RTS on, output stopped by
// XOFF, XON/XOFF limits of 10 bytes, and its error and end-of-file characters.
DCB settings_on_open() {
  DCB settings{};
  settings.DCBlength = sizeof(DCB);
  settings.fBinary = 1;
  settings.fDtrControl = DTR_CONTROL_ENABLE;
  settings.fRtsControl = RTS_CONTROL_ENABLE;
  settings.XonLim = 10;
  settings.XoffLim = 10;
  settings.ErrorChar = static_cast<char>(0xFF);
  settings.EofChar = 0x04;
  return settings;
}

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

// What termios can do: any rate (BOTHER), 5 to 8 data bits, every parity,
// 1, 1.5 (with 5 bits) or 2 stop bits, CTS/RTS and XON/XOFF flow control with
// their own characters, parity checking, and both kinds of read timeouts. DSR
// flow control has no termios counterpart and is left out. The queue sizes are
// the ones SetupComm recorded (0, "unknown", before it).
BOOL WINAPI GetCommProperties(HANDLE handle, LPCOMMPROP properties) {
  SerialDevice* device = serial_line(handle, properties);
  if (device == nullptr) return FALSE;
  *properties = COMMPROP{};
  properties->wPacketLength = sizeof(COMMPROP);
  properties->wPacketVersion = 2;
  properties->dwServiceMask = SP_SERIALCOMM;
  properties->dwMaxBaud = BAUD_USER;  // any rate the driver takes
  properties->dwProvSubType = PST_RS232;
  properties->dwProvCapabilities =
      PCF_RTSCTS | PCF_RLSD | PCF_PARITY_CHECK | PCF_XONXOFF | PCF_SETXCHAR | PCF_TOTALTIMEOUTS | PCF_INTTIMEOUTS;
  properties->dwSettableParams = SP_PARITY | SP_BAUD | SP_DATABITS | SP_STOPBITS | SP_HANDSHAKING | SP_PARITY_CHECK;
  properties->dwSettableBaud = BAUD_075 | BAUD_110 | BAUD_134_5 | BAUD_150 | BAUD_300 | BAUD_600 | BAUD_1200 |
                               BAUD_1800 | BAUD_2400 | BAUD_4800 | BAUD_7200 | BAUD_9600 | BAUD_14400 | BAUD_19200 |
                               BAUD_38400 | BAUD_56K | BAUD_57600 | BAUD_115200 | BAUD_128K | BAUD_USER;
  properties->wSettableData = DATABITS_5 | DATABITS_6 | DATABITS_7 | DATABITS_8;
  properties->wSettableStopParity =
      STOPBITS_10 | STOPBITS_15 | STOPBITS_20 | PARITY_NONE | PARITY_ODD | PARITY_EVEN | PARITY_MARK | PARITY_SPACE;
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
  if (dcb == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (DWORD refusal = refusal_of(*dcb)) {
    SetLastError(refusal);
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
