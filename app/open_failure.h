// Why a port could not be opened, in words a user can act on: the second
// paragraph of the open-failure message, from the system's error code and the
// system's list of serial ports. The same codes mean the same on Windows,
// under Wine and on Linux, where the platform layer chooses them so.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

// A serial port the system lists (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM): the
// name to type and the device behind it.
struct SerialPortEntry {
  std::string name;
  std::string device;
};

// The serial ports the system lists, in the system's order; empty when it
// lists none.
std::vector<SerialPortEntry> serial_ports();
std::vector<std::string> serial_port_names();

// Who holds a port, "minicom (process 1234)", where the system can tell
// (the Restart Manager); empty where it cannot. The program's name is shown
// in printable ASCII only: another program chooses it, and a newline or an
// escape sequence in it must not reach the user's text.
std::string port_holder(std::string_view port_name);

// The cause and what to do, for the port name as typed and the error that
// the open left (GetLastError), given the ports that exist and, for a port
// in use, who holds it.
std::string open_failure_cause(std::string_view port_name, DWORD error, const std::vector<std::string>& ports,
                               std::string_view holder = {});

// The whole message: "Error during open NAME: Port", a blank line, the cause.
std::string open_failure_message(std::string_view port_name, DWORD error);
