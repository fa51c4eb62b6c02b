#include "command_line.h"

#include <windows.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "open_failure.h"
#include "system_ports.h"
#include "velmorant_version.h"

namespace {

constexpr const char* usage =
    "Usage: velmorant-demo [--trace FILE | --list-ports | --link-port COMn DEVICE | --help | --version]\n"
    "Without options the window opens.\n"
    "  --trace FILE              open the window and append every byte of the line to FILE\n"
    "  --list-ports              print the serial ports: the name to type, the device, what it is, whether it can be "
    "opened\n"
    "  --link-port COMn DEVICE   give DEVICE (such as /dev/serial/by-id/...) the port name COMn\n"
    "  --help                    print this text\n"
    "  --version                 print the program's version\n";

int list_ports(std::FILE* out) {
  const std::vector<SerialPortEntry> ports = serial_ports();
  const std::map<std::string, PortDetails> details = port_details();
  const std::vector<std::string> names = usable_serial_port_names();  // the ones a cause may offer
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
  const std::string port(name);
  if (!DefineDosDeviceA(0, port.c_str(), device)) {
    std::fprintf(err, "velmorant-demo: cannot link %s to %s (error %lu)\n", port.c_str(), device,
                 static_cast<unsigned long>(GetLastError()));
    return 1;
  }
  std::fprintf(out, "%s now stands for %s: type %s in the port field.\n", port.c_str(), device, port.c_str());
  return 0;
}

}  // namespace

std::string port_line(const SerialPortEntry& port, const PortDetails* details, const std::string& problem) {
  std::string line = port.name + std::string(port.name.size() < 8 ? 8 - port.name.size() : 0, ' ') + " " + port.device;
  if (details != nullptr && !details->usb_id.empty()) {
    line += "; USB " + details->usb_id;
    for (const std::string* part : {&details->manufacturer, &details->product}) {
      if (!part->empty()) line += ", " + *part;
    }
    if (!details->serial_number.empty()) line += ", serial number " + details->serial_number;
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

int run_command_line(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
  const std::string_view option = argc > 1 ? argv[1] : "";
  if (option == "--help" && argc == 2) {
    std::fputs(usage, out);
    return 0;
  }
  if (option == "--version" && argc == 2) {
    std::fprintf(out, "velmorant-demo %d.%d.%d\n", VELMORANT_VERSION_MAJOR, VELMORANT_VERSION_MINOR,
                 VELMORANT_VERSION_PATCH);
    return 0;
  }
  if (option == "--list-ports" && argc == 2) return list_ports(out);
  if (option == "--link-port" && argc == 4) return link_port(argv[2], argv[3], out, err);
  std::fprintf(err, "velmorant-demo: unknown option or wrong arguments: %.*s\n%s", static_cast<int>(option.size()),
               option.data(), usage);
  return EXIT_USAGE;
}

std::string take_arguments(int argc, char** argv, TraceFile& trace) {
  if (argc <= 1) return "";
  const std::string option = argv[1];
  if (option != "--trace") return "unknown option " + option + " (the one option is --trace FILE)";
  if (argc < 3) return "--trace wants a file name";
  if (argc > 3) return "unexpected argument " + std::string(argv[3]);
  if (!trace.start(argv[2])) return "cannot write the trace file " + std::string(argv[2]);
  return "";
}
