#include "options.h"

#include <windows.h>

#include <CLI/CLI.hpp>

#include <cstdlib>
#include <string_view>

#include "open_failure.h"
#include "system_ports.h"
#include "serial_port.h"

namespace {

constexpr const char* usage =
    "Usage: velmorant-demo [OPTIONS]\n"
    "Without options the window opens.\n"
    "\n"
    "The window and the conversation:\n"
    "  --port NAME               the port field's text at start (such as COM17 or ttyUSB0)\n"
    "  --group NN                the group field's text at start: two hexadecimal digits (such as 05)\n"
    "  --connect                 press Connect once the window shows\n"
    "  --interval MS             the pause before each poll, 0 to 60000 milliseconds (default 100)\n"
    "  --headless                no window: connect to --port, print each new read-out; ends on Ctrl+C\n"
    "  --duration SECONDS        end after this many seconds (1 to 2147483)\n"
    "\n"
    "Logging:\n"
    "  --csv FILE                append a row per read-out and per event of the line to FILE (- for standard output)\n"
    "  --trace FILE              append every byte of the line to FILE\n"
    "  --from-trace TRACE        with --csv: turn a transcript from --trace or velmorant-sim --record into rows\n"
    "\n"
    "Ports:\n"
    "  --list-ports              print the serial ports: the name to type, the device, what it is, whether it can be "
    "opened\n"
    "  --link-port COMn DEVICE   give DEVICE (such as /dev/serial/by-id/...) the port name COMn\n"
    "\n"
    "The program:\n"
    "  --help                    print this text\n"
    "  --version                 print the program's version\n"
    "\n"
    "Exit codes: 0 done, 1 the asked thing failed, 2 a command line not understood.\n";

// What each option with a value wants, as said when it is missing or bad.
struct Wanted {
  std::string_view option, what;
};
constexpr Wanted wanted_values[] = {
    {"--trace", "a file name"},
    {"--csv", "a file name, or - for standard output"},
    {"--from-trace", "the file name of a transcript"},
    {"--port", "a port name"},
    {"--group", "two hexadecimal digits, such as 05"},
    {"--interval", "a whole number of milliseconds from 0 to 60000"},
    {"--duration", "a whole number of seconds from 1 to 2147483"},
};

std::string wants(std::string_view option) {
  for (const Wanted& wanted : wanted_values) {
    if (wanted.option == option) return std::string(option) + " wants " + std::string(wanted.what);
  }
  return "unknown option or wrong arguments: " + std::string(option);
}

// A whole decimal number within [low, high], nothing else.
std::optional<long long> whole_number(const std::string& text, long long low, long long high) {
  if (text.empty() || text.size() > 12 || text.find_first_not_of("0123456789") != std::string::npos) return {};
  const long long value = std::strtoll(text.c_str(), nullptr, 10);
  if (value < low || value > high) return {};
  return value;
}

// A name the port field holds and the port layer could open: what the error
// box would say of it otherwise, empty when it may be tried.
std::string port_name_problem(const std::string& name) {
  DWORD error = ERROR_SUCCESS;
  if (name.size() > static_cast<std::size_t>(SERIAL_PORT_NAME_MAX)) {
    error = ERROR_FILENAME_EXCED_RANGE;
  } else if (name.starts_with("/") || name.find("..") != std::string::npos ||
             name.find_first_of(" \t\r\n") != std::string::npos) {
    error = ERROR_INVALID_NAME;
  }
  if (error == ERROR_SUCCESS) return "";
  return open_failure_cause(name, error, serial_port_names());
}

bool is_hex_digit(char c) { return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'); }

}  // namespace

const char* usage_text() { return usage; }

ParsedOptions parse_options(int argc, const char* const* argv) {
  ParsedOptions parsed;
  ProgramOptions& options = parsed.options;
  CLI::App app("velmorant-demo");
  app.set_help_flag();  // --help is one of the program's own options, below
  app.allow_extras();
  app.allow_windows_style_options(false);  // "/dev/ttyUSB0" is a word, not an option, on every system
  bool help = false, version = false, list_ports = false, headless = false, connect = false;
  std::vector<std::string> link;
  std::optional<std::string> interval, duration;
  app.add_flag("--help", help);
  app.add_flag("--version", version);
  app.add_flag("--list-ports", list_ports);
  app.add_option("--link-port", link)->expected(2);
  app.add_option("--trace", options.trace);
  app.add_option("--csv", options.csv);
  app.add_option("--from-trace", options.from_trace);
  app.add_option("--port", options.port);
  app.add_option("--group", options.group);
  app.add_option("--interval", interval);
  app.add_option("--duration", duration);
  app.add_flag("--headless", headless);
  app.add_flag("--connect", connect);

  const auto refuse = [&](std::string text, bool with_usage = false) {
    parsed.refused = std::move(text);
    parsed.usage_follows = with_usage;
    return parsed;
  };
  try {
    app.parse(argc, argv);
  } catch (const CLI::ArgumentMismatch& error) {
    // "--trace: 1 required TEXT missing", "--port: At most 1 required but received 2"
    const std::string what = error.what();
    const std::string option = what.substr(0, what.find(':'));
    if (what.find("missing") != std::string::npos || what.find("At least") != std::string::npos) {
      return refuse(wants(option), option == "--link-port");
    }
    return refuse(option + " is given more than once");
  } catch (const CLI::ParseError& error) {
    return refuse(std::string("unknown option or wrong arguments: ") + error.what(), true);
  }

  // An option CLI11 does not know, or a word that belongs to none.
  const std::vector<std::string> extras = app.remaining();
  const int stand_alone = int{help} + int{version} + int{list_ports} + int{!link.empty()};
  const std::string first = argc > 1 ? argv[1] : "";
  if (stand_alone > 0 && argc - 1 != (link.empty() ? 1 : 3)) {
    return refuse("unknown option or wrong arguments: " + first, true);
  }
  if (!extras.empty()) {
    if (extras.front().starts_with("-")) return refuse("unknown option or wrong arguments: " + extras.front(), true);
    return refuse("unexpected argument " + extras.front());
  }
  if (help) options.action = ProgramAction::Help;
  if (version) options.action = ProgramAction::Version;
  if (list_ports) options.action = ProgramAction::ListPorts;
  if (!link.empty()) {
    options.action = ProgramAction::LinkPort;
    options.link_name = link[0];
    options.link_device = link[1];
  }
  if (stand_alone > 0) return parsed;

  for (const auto& [option, text] : {std::pair<std::string_view, const std::string*>{"--trace", &options.trace},
                                     {"--csv", &options.csv},
                                     {"--from-trace", &options.from_trace}}) {
    if (app.count(std::string(option)) > 0 && text->empty()) return refuse(wants(option));
  }
  if (interval) {
    const std::optional<long long> value = whole_number(*interval, 0, POLL_INTERVAL_MAX_MS);
    if (!value) return refuse(wants("--interval") + ", not " + *interval);
    options.interval_ms = static_cast<int>(*value);
  }
  if (duration) {
    options.duration_seconds = whole_number(*duration, 1, DURATION_MAX_SECONDS);
    if (!options.duration_seconds) return refuse(wants("--duration") + ", not " + *duration);
  }
  if (options.group &&
      (options.group->size() != 2 || !is_hex_digit((*options.group)[0]) || !is_hex_digit((*options.group)[1]))) {
    return refuse(wants("--group") + ", not " + *options.group);
  }
  if (options.port) {
    if (options.port->empty()) return refuse(wants("--port"));
    const std::string problem = port_name_problem(*options.port);
    if (!problem.empty()) return refuse("--port " + *options.port + ": " + problem);
  }
  if (!options.from_trace.empty()) {
    options.action = ProgramAction::FromTrace;
    if (options.csv.empty()) return refuse("--from-trace wants --csv FILE (or --csv - for standard output)");
    for (const char* other : {"--trace", "--port", "--group", "--interval", "--duration", "--headless", "--connect"}) {
      if (app.count(other) > 0)
        return refuse("--from-trace takes only --csv FILE beside it, not " + std::string(other));
    }
    return parsed;
  }
  options.display = headless ? Display::Headless : Display::Window;
  options.connect = connect || headless ? ConnectAtStart::Yes : ConnectAtStart::No;
  if (headless && !options.port) return refuse("--headless wants --port NAME: the port of the interface");
  return parsed;
}
