// The serial line's settings as the kernel's terminal driver holds them. The
// terminal headers clash with each other and with C++ names, so they stay in
// line_settings.cpp; this interface speaks DCB and errno only.
#pragma once

#include <windows.h>

// Puts the line into raw mode (bytes pass unchanged, no echo, no signals, no
// line editing, no XON/XOFF, receiver on, modem control ignored for opening),
// keeping its speed, format and hardware flow control. Returns 0 or an errno value.
int line_make_raw(int fd);

// Overwrites the DCB fields that the terminal settings hold: BaudRate,
// ByteSize, Parity, StopBits, fParity, fOutxCtsFlow and RTS handshaking,
// fOutX, fInX, XonChar, XoffChar. Returns 0 or an errno value.
int line_read_settings(int fd, DCB& dcb);

// Applies those same fields (and raw mode) to the line. Returns 0 or an
// errno value.
int line_write_settings(int fd, const DCB& dcb);

// Suspends or resumes transmission as if XOFF or XON had been received.
int line_suspend_output(int fd, bool suspend);

// Empties both queues of the line: what arrived and was not read, and what
// was written and not yet sent.
int line_purge(int fd);
