#include "serial_port.h"

#include <cstring>

#include "serial_trace.h"

namespace {

SerialTrace* trace = nullptr;

constexpr char device_prefix[] = "\\\\.\\";

// The timeouts every open sets: a read of n bytes ends after at most
// 10 × n + 100 ms, and earlier after 100 ms without a byte; a write of n
// bytes may take 100 × n + 10 ms.
constexpr COMMTIMEOUTS open_timeouts = {
    .ReadIntervalTimeout = 100,
    .ReadTotalTimeoutMultiplier = 10,
    .ReadTotalTimeoutConstant = 100,
    .WriteTotalTimeoutMultiplier = 100,
    .WriteTotalTimeoutConstant = 10,
};

bool is_refused(SerialPort port) { return port == INVALID_HANDLE_VALUE; }

void apply_handshake(DCB& dcb, std::int32_t handshake, std::int32_t input_size) {
  switch (handshake) {
    case HANDSHAKE_NONE:
      dcb.fRtsControl = RTS_CONTROL_DISABLE;
      dcb.fOutxCtsFlow = 0;
      break;
    case HANDSHAKE_RTS:
      dcb.fRtsControl = RTS_CONTROL_ENABLE;
      dcb.fOutxCtsFlow = 0;
      break;
    case HANDSHAKE_RTS_CTS:
      dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
      dcb.fOutxCtsFlow = 1;
      break;
    case HANDSHAKE_XON_XOFF: {
      dcb.fOutX = 1;
      dcb.fInX = 1;
      dcb.XonChar = 0x11;
      dcb.XoffChar = 0x13;
      // XonLim is a tenth of the input queue and XoffLim seven times that
      // tenth (255 gives 25 and 175), both stored in 16 bits.
      const std::int32_t tenth = input_size / 10;
      dcb.XonLim = static_cast<WORD>(tenth);
      dcb.XoffLim = static_cast<WORD>(tenth * 7);
      break;
    }
    default: break;
  }
}

// Closes a port whose configuration failed, keeping the error of the step
// that failed rather than the close's.
SerialPort close_unconfigured(HANDLE handle) {
  const DWORD error = GetLastError();
  CloseHandle(handle);
  SetLastError(error);
  return nullptr;
}

// What ClearCommError tells of a port: all zero when it cannot be asked.
struct PortStatus {
  DWORD errors = 0;
  COMSTAT status{};
};

PortStatus read_status(SerialPort port) {
  PortStatus result;
  if (!ClearCommError(port, &result.errors, &result.status)) result = PortStatus{};
  return result;
}

BOOL escape(SerialPort port, BOOL on, DWORD set_code, DWORD clear_code) {
  if (is_refused(port)) return FALSE;
  return EscapeCommFunction(port, on ? set_code : clear_code);
}

BOOL modem_line(SerialPort port, DWORD bit) {
  if (is_refused(port)) return FALSE;
  DWORD status = 0;
  if (!GetCommModemStatus(port, &status)) return FALSE;
  return (status & bit) ? 1 : 0;
}

SerialPort open_configured(const char* settings, std::int32_t handshake, std::int32_t input_size,
                           std::int32_t output_size) {
  if (settings == nullptr) return nullptr;
  const std::size_t name_length = std::strcspn(settings, ":");
  if (name_length > SERIAL_PORT_NAME_MAX) {  // would not fit the 12-byte path
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  char path[sizeof device_prefix + SERIAL_PORT_NAME_MAX] = {};
  std::memcpy(path, device_prefix, sizeof device_prefix - 1);
  std::memcpy(path + sizeof device_prefix - 1, settings, name_length);
  // A settings text the port would refuse is refused before the port is
  // opened: opening alone may change the line. Only the settings after the
  // name are parsed here, so that the open is what judges the name and its
  // error says what is wrong with it.
  const char* mode = settings[name_length] == ':' ? settings + name_length + 1 : settings;
  while (*mode == ' ') ++mode;
  DCB parsed{};
  parsed.DCBlength = sizeof parsed;
  if (!BuildCommDCBA(mode, &parsed)) return nullptr;

  HANDLE handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;

  if (input_size > 0 && output_size > 0) {
    SetupComm(handle, static_cast<DWORD>(input_size), static_cast<DWORD>(output_size));
  }
  // A port that cannot be configured (not a serial line, or settings the
  // driver refuses) is not reported as open: the caller would otherwise talk
  // to a device in unknown settings without knowing.
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(handle, &dcb)) return close_unconfigured(handle);
  if (!BuildCommDCBA(mode, &dcb)) return close_unconfigured(handle);
  apply_handshake(dcb, handshake, input_size);
  if (!SetCommState(handle, &dcb)) return close_unconfigured(handle);

  COMMTIMEOUTS timeouts = open_timeouts;
  SetCommTimeouts(handle, &timeouts);
  return handle;
}

}  // namespace

void serial_set_trace(SerialTrace* observer) { trace = observer; }

SerialPort serial_open(const char* settings, std::int32_t handshake, std::int32_t input_size,
                       std::int32_t output_size) {
  const SerialPort port = open_configured(settings, handshake, input_size, output_size);
  if (trace != nullptr) trace->opened(settings != nullptr ? settings : "", port != nullptr);
  return port;
}

BOOL serial_close(SerialPort port) {
  if (trace != nullptr) trace->closed();
  return CloseHandle(port);
}

BOOL serial_set_timeouts(SerialPort port, DWORD read_interval, DWORD read_constant, DWORD read_multiplier,
                         DWORD write_constant, DWORD write_multiplier) {
  if (is_refused(port)) return FALSE;
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = read_interval;
  timeouts.ReadTotalTimeoutConstant = read_constant;
  timeouts.ReadTotalTimeoutMultiplier = read_multiplier;
  timeouts.WriteTotalTimeoutConstant = write_constant;
  timeouts.WriteTotalTimeoutMultiplier = write_multiplier;
  return SetCommTimeouts(port, &timeouts);
}

BOOL serial_write(SerialPort port, const void* buffer, DWORD length) {
  if (is_refused(port)) return FALSE;
  DWORD written = 0;
  const BOOL wrote = WriteFile(port, buffer, length, &written, nullptr);
  if (trace != nullptr && written > 0) trace->sent(std::string_view(static_cast<const char*>(buffer), written));
  return wrote && written == length ? 1 : 0;
}

BOOL serial_read(SerialPort port, void* buffer, DWORD length) {
  if (is_refused(port)) return FALSE;
  DWORD read = 0;
  const BOOL result = ReadFile(port, buffer, length, &read, nullptr);
  if (trace != nullptr && read > 0) trace->received(std::string_view(static_cast<const char*>(buffer), read));
  return result;
}

DWORD serial_input_count(SerialPort port) {
  if (is_refused(port)) return 0;
  return read_status(port).status.cbInQue;
}

DWORD serial_output_count(SerialPort port) {
  if (is_refused(port)) return 0;
  return read_status(port).status.cbOutQue;
}

BOOL serial_set_dtr(SerialPort port, BOOL on) { return escape(port, on, SETDTR, CLRDTR); }
BOOL serial_set_rts(SerialPort port, BOOL on) { return escape(port, on, SETRTS, CLRRTS); }
BOOL serial_set_break(SerialPort port, BOOL on) { return escape(port, on, SETBREAK, CLRBREAK); }

BOOL serial_get_cts(SerialPort port) { return modem_line(port, MS_CTS_ON); }
BOOL serial_get_dsr(SerialPort port) { return modem_line(port, MS_DSR_ON); }
BOOL serial_get_carrier(SerialPort port) { return modem_line(port, MS_RLSD_ON); }
BOOL serial_get_ring(SerialPort port) { return modem_line(port, MS_RING_ON); }

BOOL serial_set_flow_chars(SerialPort port, std::int32_t xon, std::int32_t xoff) {
  if (is_refused(port)) return FALSE;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(port, &dcb)) return FALSE;
  dcb.XonChar = static_cast<char>(xon & 0xff);
  dcb.XoffChar = static_cast<char>(xoff & 0xff);
  return SetCommState(port, &dcb);
}

DWORD serial_error_word(DWORD errors, const COMSTAT& status) {
  DWORD word = errors & (CE_RXOVER | CE_OVERRUN | CE_RXPARITY | CE_FRAME | CE_BREAK);
  if (word & SERIAL_RX_OVERFLOW) word |= SERIAL_RX_LOST | SERIAL_RX_FULL;
  if (status.fCtsHold) word |= SERIAL_WAIT_CTS;
  if (status.fDsrHold) word |= SERIAL_WAIT_DSR;
  if (status.fRlsdHold) word |= SERIAL_WAIT_RLSD;
  if (status.fXoffHold) word |= SERIAL_XOFF_RECEIVED;
  if (status.fXoffSent) word |= SERIAL_XOFF_SENT;
  if (status.fEof) word |= SERIAL_EOF;
  return word;
}

DWORD serial_error_flags(SerialPort port) {
  if (is_refused(port)) return 0;
  const PortStatus port_status = read_status(port);
  return serial_error_word(port_status.errors, port_status.status);
}
