// What the program does with its command line: --help and --version print
// and end; --list-ports prints the serial ports the system lists;
// --link-port gives a device a COM name; --from-trace turns a transcript into
// the value log. Otherwise the program itself runs (the caller's business).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "options.h"
#include "system_ports.h"

// run_command_line's answer when the program itself is to run.
inline constexpr int PROGRAM_RUNS = -1;

// Runs the command line (argv[1..argc-1]), writing to out and err; returns
// the program's exit code, or PROGRAM_RUNS with the options in *program.
int run_command_line(int argc, const char* const* argv, std::FILE* out, std::FILE* err,
                     ProgramOptions* program = nullptr);

// Whether name is one DefineDosDeviceA accepts for a COM port: COM1 to
// COM9999, in any case.
bool is_com_name(std::string_view name);

// One line of the --list-ports listing: the name to type, the device, the
// details, and whether it can be opened.
std::string port_line(const SerialPortEntry& port, const PortDetails* details, const std::string& problem);

// What --link-port answers on Windows, where a port's COM number is set in
// Device Manager instead.
inline constexpr const char* LINK_PORT_ON_WINDOWS =
    "velmorant-demo: --link-port is for Linux. On Windows a port's COM number is changed in Device Manager: open "
    "the port under \"Ports (COM & LPT)\", then Port Settings, Advanced, COM Port Number.\n";
