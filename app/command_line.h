// What the program does when it is started with arguments: --help and
// --version print and end; --list-ports prints the serial ports the system
// lists; --link-port gives a device a COM name. Without arguments the window
// opens (the caller's business).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "system_ports.h"

// Exit codes: 0 done, 1 the asked thing failed, 2 a command line not understood.
inline constexpr int EXIT_USAGE = 2;

// Runs the command line (argv[1..argc-1], at least one argument), writing to
// out and err; returns the program's exit code.
int run_command_line(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

// Whether name is one DefineDosDeviceA accepts for a COM port: COM1 to
// COM9999, in any case.
bool is_com_name(std::string_view name);

// One line of the --list-ports listing: the name to type, the device, the
// details, and whether it can be opened.
std::string port_line(const SerialPortEntry& port, const PortDetails* details, const std::string& problem);
