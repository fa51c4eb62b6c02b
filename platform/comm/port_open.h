// The safe open of a serial line on Linux, as named steps in order:
//
//   resolve      the device the path finally stands for, refused when it is
//                a terminal rather than a line to a device (port_checks.h)
//   lock         the lock file that serial programs agree on (port_lock.h)
//   check        with the lock taken: still the same device, still nobody's
//                terminal, nobody else holding it (port_holders.h)
//   open         non-blocking, no controlling terminal, no link followed
//   check opened the descriptor is the device that was checked, then the
//                check once more with that descriptor as this program's own
//   claim        flock and TIOCEXCL, so that nobody else opens it
//   make raw     raw termios, the settings from before kept for a refusal
//   check again  a session may have taken the terminal in the meantime
//
// The kernel's open alone raises DTR and RTS, and many boards restart when
// DTR rises: so another program's line is refused before it is opened, and
// query access (access 0) stops after the check, opening nothing.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "serial_device.h"

// What open_port gives: the opened device, or its refusal as a Win32 error.
struct PortOpening {
  std::unique_ptr<SerialDevice> device;
  DWORD error = 0;
};

// Opens the serial line at path (a device path, links allowed) for access,
// GENERIC_READ and GENERIC_WRITE or 0 for query access (a device object with
// nothing opened behind it). The line opened is in raw mode, its queues are
// empty and the object holds its settings.
PortOpening open_port(const std::string& path, DWORD access);

// ASYNC_LOW_LATENCY on or off; true when this call changed it. A USB adapter
// holds short replies back for its latency timer (16 ms on FTDI chips)
// unless the port asks for low latency; a driver that knows no such thing
// refuses the request, and the port works as it is.
bool set_low_latency(int fd, bool on);
