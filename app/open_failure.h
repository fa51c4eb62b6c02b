// Why a port could not be opened, in words a user can act on: the second
// paragraph of the open-failure message, from the system's error code and the
// system's list of serial ports. The same codes mean the same on Windows,
// under Wine and on Linux, where the platform layer chooses them so.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

// Whose words: each system has its own table of texts (Windows' speak of
// Device Manager and never of /dev, groups or --link-port).
enum class PortTexts { Linux, Windows };
#ifdef _WIN32
inline constexpr PortTexts THIS_SYSTEM = PortTexts::Windows;
#else
inline constexpr PortTexts THIS_SYSTEM = PortTexts::Linux;
#endif

// The cause and what to do, for the port name as typed and the error that
// the open left (GetLastError), given the ports that exist and, for a port
// in use, who holds it, or for a port whose lock file is in the way, what is
// wrong with that file. A name that cannot be a port's is told as such
// whatever the error.
std::string open_failure_cause(std::string_view port_name, DWORD error, const std::vector<std::string>& ports,
                               std::string_view holder = {}, PortTexts system = THIS_SYSTEM);

// The whole message: "Error during open NAME: Port", a blank line, the cause.
std::string open_failure_message(std::string_view port_name, DWORD error);

// Empty when the port could be opened now, else why not, in the words of the
// open-failure message.
std::string port_open_problem(const std::string& name, const std::vector<std::string>& ports);

// Whether an open's error says the name leads to no port at all (nothing
// there, a terminal or console, a device that is no serial line).
bool is_no_port(DWORD error);

// The names of ports that lead to a port (a COM link to nothing, to a
// terminal or to a non-device is left out): the ones to offer the user.
std::vector<std::string> offered_ports(const std::vector<std::string>& names);
