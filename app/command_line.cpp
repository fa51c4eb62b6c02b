#include "command_line.h"

#include <windows.h>

#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "open_failure.h"
#include "system_ports.h"
#include "trace_values.h"
#include "velmorant_version.h"

namespace {

int list_ports(std::FILE* out) {
  const std::vector<SerialPortEntry> ports = serial_ports();
  const std::map<std::string, PortDetails> details = port_details();
  const std::vector<std::string> names = offered_ports(usable_serial_port_names());  // the ones a cause may offer
  for (const SerialPortEntry& port : ports) {
    const auto found = details.find(port.name);
    const std::string line =
        port_line(port, found == details.end() ? nullptr : &found->second, port_open_problem(port.name, names));
    std::fprintf(out, "%s\n", line.c_str());
  }
  if (ports.empty()) std::fputs("No serial port was found.\n", out);
  return 0;
}

int link_port(std::string_view name, const char* device, std::FILE* out, std::FILE* err) {
  if (!is_com_name(name)) {
    std::fprintf(err, "velmorant-demo: %.*s is not a COM name (COM1 to COM9999)\n", static_cast<int>(name.size()),
                 name.data());
    return EXIT_USAGE;
  }
  if constexpr (THIS_SYSTEM == PortTexts::Windows) {
    // Windows keeps no COM links of a user's: a port's COM number is the driver's.
    std::fputs(LINK_PORT_ON_WINDOWS, err);
    return EXIT_USAGE;
  }
  const std::string port(name);
  if (!DefineDosDeviceA(0, port.c_str(), device)) {
    std::fprintf(err, "velmorant-demo: cannot link %s to %s (error %lu)\n", port.c_str(), device,
                 static_cast<unsigned long>(GetLastError()));
    return 1;
  }
  // Checked as the program's open checks it, so that no terminal, console or
  // other non-port is ever offered under a COM name.
  const DWORD error = port_open_error(port);
  if (is_no_port(error)) {
    DefineDosDeviceA(DDD_REMOVE_DEFINITION, port.c_str(), nullptr);
    const std::string cause = open_failure_cause(port, error, offered_ports(serial_port_names()));
    std::fprintf(err, "velmorant-demo: %s cannot stand for %s: %s\n", port.c_str(), device, cause.c_str());
    return 1;
  }
  std::fprintf(out, "%s now stands for %s: type %s in the port field.\n", port.c_str(), device, port.c_str());
  return 0;
}

// The value log of a transcript: exit 1 when the transcript cannot be read
// or is malformed (the line named), or when the log cannot be written.
int log_from_trace(const ProgramOptions& options, std::FILE* err) {
  std::ifstream transcript(options.from_trace, std::ios::binary);
  if (!transcript) {
    std::fprintf(err, "velmorant-demo: cannot read the transcript %s\n", options.from_trace.c_str());
    return 1;
  }
  ValueLog log;
  bool failed = false;
  log.on_failure([&](const std::string& text) {
    std::fprintf(err, "velmorant-demo: %s\n", text.c_str());
    failed = true;
  });
  if (!log.open(options.csv)) {
    std::fprintf(err, "velmorant-demo: cannot write the value log %s\n", options.csv.c_str());
    return 1;
  }
  const std::string problem = values_from_transcript(transcript, options.from_trace, log);
  if (!problem.empty()) {
    std::fprintf(err, "velmorant-demo: %s\n", problem.c_str());
    return 1;
  }
  return failed ? 1 : 0;
}

}  // namespace

std::string port_line(const SerialPortEntry& port, const PortDetails* details, const std::string& problem) {
  std::string line = port.name + std::string(port.name.size() < 8 ? 8 - port.name.size() : 0, ' ') + " " + port.device;
  if (details != nullptr && !details->usb_id.empty()) {
    line += "; USB " + details->usb_id;
    for (const std::string* part : {&details->manufacturer, &details->product}) {
      if (!part->empty()) line += ", " + plain_letters(*part);
    }
    if (!details->serial_number.empty()) line += ", serial number " + plain_letters(details->serial_number);
  }
  if (details != nullptr && !details->stable_name.empty() && details->stable_name != port.device)
    line += "; also " + details->stable_name;
  return line + (problem.empty() ? "; can be opened now" : "; cannot be opened now: " + problem);
}

bool is_com_name(std::string_view name) {
  if (name.size() < 4 || name.size() > 7) return false;
  if ((name[0] & ~0x20) != 'C' || (name[1] & ~0x20) != 'O' || (name[2] & ~0x20) != 'M' || name[3] == '0') return false;
  return name.substr(3).find_first_not_of("0123456789") == std::string_view::npos;
}

int run_command_line(int argc, const char* const* argv, std::FILE* out, std::FILE* err, ProgramOptions* program) {
  const ParsedOptions parsed = parse_options(argc, argv);
  if (!parsed.refused.empty()) {
    std::fprintf(err, "velmorant-demo: %s\n%s", parsed.refused.c_str(), parsed.usage_follows ? usage_text() : "");
    return EXIT_USAGE;
  }
  const ProgramOptions& options = parsed.options;
  switch (options.action) {
    case ProgramAction::Help: std::fputs(usage_text(), out); return 0;
    case ProgramAction::Version:
      std::fprintf(out, "velmorant-demo %d.%d.%d\n", VELMORANT_VERSION_MAJOR, VELMORANT_VERSION_MINOR,
                   VELMORANT_VERSION_PATCH);
      return 0;
    case ProgramAction::ListPorts: return list_ports(out);
    case ProgramAction::LinkPort: return link_port(options.link_name, options.link_device.c_str(), out, err);
    case ProgramAction::FromTrace: return log_from_trace(options, err);
    case ProgramAction::Window: break;
  }
  if (program != nullptr) *program = options;
  return PROGRAM_RUNS;
}
