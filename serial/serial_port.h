// The serial port layer: a small handle-based interface to serial ports over
// the Win32 communications functions. It keeps no state of its own; the
// caller holds the SerialPort from serial_open until serial_close.
#pragma once

#include <windows.h>

#include <cstdint>

// The platform handle of an open port: pointer-sized, as Win64 handles are.
// 0 is a failed open; INVALID_HANDLE_VALUE (-1) is refused by every operation
// but serial_close.
using SerialPort = HANDLE;

// Which flow-control fields serial_open sets after the settings text has been
// applied. Values outside 0..3 leave them as the settings text left them.
enum HandshakeMode : std::int32_t {
  HANDSHAKE_NONE = 0,      // RTS off, no CTS flow
  HANDSHAKE_RTS = 1,       // RTS on, no CTS flow
  HANDSHAKE_RTS_CTS = 2,   // RTS/CTS handshaking
  HANDSHAKE_XON_XOFF = 3,  // XON/XOFF both ways, DC1/DC3, limits from the input size
};

// Bits of the error word of serial_error_flags.
inline constexpr DWORD SERIAL_RX_OVERFLOW = 0x1;   // CE_RXOVER
inline constexpr DWORD SERIAL_OVERRUN = 0x2;       // CE_OVERRUN
inline constexpr DWORD SERIAL_PARITY_ERROR = 0x4;  // CE_RXPARITY
inline constexpr DWORD SERIAL_FRAME_ERROR = 0x8;   // CE_FRAME
inline constexpr DWORD SERIAL_BREAK = 0x10;        // CE_BREAK
// Set together with SERIAL_RX_OVERFLOW and by nothing else: input was lost
// because the input queue was full.
inline constexpr DWORD SERIAL_RX_LOST = 0x20;
inline constexpr DWORD SERIAL_RX_FULL = 0x40;
inline constexpr DWORD SERIAL_WAIT_CTS = 0x80;        // COMSTAT fCtsHold
inline constexpr DWORD SERIAL_WAIT_DSR = 0x100;       // COMSTAT fDsrHold
inline constexpr DWORD SERIAL_WAIT_RLSD = 0x200;      // COMSTAT fRlsdHold
inline constexpr DWORD SERIAL_XOFF_RECEIVED = 0x400;  // COMSTAT fXoffHold
inline constexpr DWORD SERIAL_XOFF_SENT = 0x800;      // COMSTAT fXoffSent
inline constexpr DWORD SERIAL_EOF = 0x1000;           // COMSTAT fEof: the end-of-file character arrived

// The error word for what ClearCommError reported: the CE_ error bits as
// they are (input overflow also as 0x20 and 0x40), then the COMSTAT holds.
DWORD serial_error_word(DWORD errors, const COMSTAT& status);

// The longest port name that fits the device path "\\.\" + name.
inline constexpr int SERIAL_PORT_NAME_MAX = 7;

// Opens the port named before the first colon of settings (the whole text
// without a colon) and configures it from the whole text, in the mode syntax
// of BuildCommDCBA ("COM17: baud=19200 parity=N Data=8 stop=1"). Queue sizes
// are requested only when both are positive. Returns 0 when the port cannot
// be opened or configured (a port that fails to configure is closed again).
SerialPort serial_open(const char* settings, std::int32_t handshake, std::int32_t input_size, std::int32_t output_size);

// CloseHandle's result: nonzero on success.
BOOL serial_close(SerialPort port);

// Each argument goes into the COMMTIMEOUTS field of its name (milliseconds).
BOOL serial_set_timeouts(SerialPort port, DWORD read_interval, DWORD read_constant, DWORD read_multiplier,
                         DWORD write_constant, DWORD write_multiplier);

// 1 when all length bytes were written, else 0 (also when a timeout cut the
// write short after part of it went out).
BOOL serial_write(SerialPort port, const void* buffer, DWORD length);

// ReadFile's result: nonzero when the read ended without error, which
// includes a read that timed out with fewer bytes, or none, in the buffer.
BOOL serial_read(SerialPort port, void* buffer, DWORD length);

// Bytes received and not yet read; bytes not yet sent. 0 when the port
// cannot be asked. Asking clears the port's pending error conditions.
DWORD serial_input_count(SerialPort port);
DWORD serial_output_count(SerialPort port);

// Raise (on nonzero) or lower a line; EscapeCommFunction's result.
BOOL serial_set_dtr(SerialPort port, BOOL on);
BOOL serial_set_rts(SerialPort port, BOOL on);
BOOL serial_set_break(SerialPort port, BOOL on);

// 1 when the modem line is on, 0 when it is off or cannot be read.
BOOL serial_get_cts(SerialPort port);
BOOL serial_get_dsr(SerialPort port);
BOOL serial_get_carrier(SerialPort port);
BOOL serial_get_ring(SerialPort port);

// Sets XonChar and XoffChar to the low bytes of xon and xoff, nothing else.
BOOL serial_set_flow_chars(SerialPort port, std::int32_t xon, std::int32_t xoff);

// The port's error conditions and hold states as SERIAL_ bits; reading them
// clears the error conditions. 0 when the port cannot be asked.
DWORD serial_error_flags(SerialPort port);
