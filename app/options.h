// The program's options, read from its command line by CLI11 in this one
// place: what to do, and the values the window and the conversation start with.
#pragma once

#include <optional>
#include <string>
#include <vector>

// Exit codes: 0 done, 1 the asked thing failed, 2 a command line not understood.
inline constexpr int EXIT_USAGE = 2;

inline constexpr int POLL_INTERVAL_MS = 100;  // the pause before each poll unless --interval says otherwise
inline constexpr int POLL_INTERVAL_MAX_MS = 60000;
inline constexpr long long DURATION_MAX_SECONDS = 2147483;  // what a timer of 32-bit milliseconds can count

enum class ProgramAction {
  Window,  // the program itself, with its window or headless
  Help,
  Version,
  ListPorts,
  LinkPort,
  FromTrace,  // a transcript into the value log
};

enum class Display { Window, Headless };
enum class ConnectAtStart { No, Yes };

struct ProgramOptions {
  ProgramAction action = ProgramAction::Window;
  Display display = Display::Window;
  ConnectAtStart connect = ConnectAtStart::No;
  std::string trace;       // --trace FILE
  std::string csv;         // --csv FILE or "-"
  std::string from_trace;  // --from-trace TRACE
  std::optional<std::string> port, group;
  std::optional<long long> duration_seconds;
  int interval_ms = POLL_INTERVAL_MS;
  std::string link_name, link_device;  // --link-port COMn DEVICE
};

// The options, or what is wrong with the command line: the option named and
// what it accepts (the program then says "velmorant-demo: " + it and ends
// with EXIT_USAGE). usage_follows tells that the usage text belongs after it.
struct ParsedOptions {
  ProgramOptions options;
  std::string refused;
  bool usage_follows = false;
};
ParsedOptions parse_options(int argc, const char* const* argv);

// The text --help prints.
const char* usage_text();
