// The program's command line, all of its parsing in one place: --help and
// --version print and end; --list-ports prints the serial ports the system
// lists; --link-port gives a device a COM name; --trace FILE, or no argument
// at all, lets the window open (the caller's business).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "system_ports.h"
#include "trace.h"

// Exit codes: 0 done, 1 the asked thing failed, 2 a command line not understood.
inline constexpr int EXIT_USAGE = 2;

// The arguments of a program that opens its window: none, or "--trace FILE",
// which starts trace. Returns what is wrong with them, or "" when the program
// may start.
std::string take_arguments(int argc, char** argv, TraceFile& trace);

// Runs the command line (argv[1..argc-1], at least one argument), writing to
// out and err; returns the program's exit code.
int run_command_line(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

// Whether name is one DefineDosDeviceA accepts for a COM port: COM1 to
// COM9999, in any case.
bool is_com_name(std::string_view name);

// One line of the --list-ports listing: the name to type, the device, the
// details, and whether it can be opened.
std::string port_line(const SerialPortEntry& port, const PortDetails* details, const std::string& problem);
