#include "open_failure.h"

#include "serial_port.h"
#include "system_ports.h"

namespace {

constexpr std::string_view device_folder = "/dev/";

// The words of each cause, one table per system; "{name}" stands for the
// name as typed (or as the cause says), "{holder}" for who holds the port.
struct CauseTexts {
  std::string_view no_name;
  std::string_view spaces;
  std::string_view not_a_name;
  std::string_view not_found;
  std::string_view where_ports_are;  // after the port list of a name that was not found
  std::string_view too_long;         // Linux words it from the name (too_long_on_linux)
  std::string_view access_denied;
  std::string_view in_use;
  std::string_view not_serial;
};

constexpr CauseTexts linux_texts{
    "Type the name of the port the interface is on, such as COM5 or ttyUSB0.",
    "Type the name without spaces: {name}.",
    "{name} is not a port name.",
    "There is no port {name}.",
    "",
    "",
    "Access to {name} was refused: another program may be using it, or your account may not use it. On Linux, join "
    "the device's group (usually dialout) with \"sudo adduser $USER dialout\", then log out and in again.",
    "{name} is in use by {holder}. Close that program, then press Connect again.",
    "{name} is a terminal or console, not a serial line. Type the name of the port the interface is on.",
};

constexpr CauseTexts windows_texts{
    "Type the name of the port the interface is on, such as COM5.",
    "Type the name without spaces: {name}.",
    "{name} is not a port name.",
    "There is no port {name}.",
    " Device Manager lists them under \"Ports (COM & LPT)\".",
    "{name} is too long for the port field (7 characters at most). Device Manager lists the serial ports under "
    "\"Ports (COM & LPT)\" with their COM names: type the one the interface is on.",
    "{name} is in use by {holder}. Close that program, then press Connect again.",
    "{name} is in use by {holder}. Close that program, then press Connect again.",
    "{name} is a terminal or console, not a serial line. Type the name of the port the interface is on.",
};

std::string filled(std::string_view text, std::string_view name, std::string_view holder = {}) {
  std::string result;
  while (!text.empty()) {
    const std::size_t open = text.find('{');
    result += text.substr(0, open);
    if (open == std::string_view::npos) break;
    text.remove_prefix(open);
    if (text.starts_with("{name}")) {
      result += name;
      text.remove_prefix(6);
    } else if (text.starts_with("{holder}")) {
      result += holder;
      text.remove_prefix(8);
    } else {
      result += '{';
      text.remove_prefix(1);
    }
  }
  return result;
}

std::string port_list_sentence(const std::vector<std::string>& ports) {
  if (ports.empty()) return " No serial port was found: check that the adapter is plugged in.";
  std::string sentence = " The serial ports here are:";
  for (std::size_t i = 0; i < ports.size(); ++i) sentence += (i == 0 ? " " : ", ") + ports[i];
  return sentence + ".";
}

// A name too long for the port field: the name under /dev when that fits,
// else a COMn name for the device.
std::string too_long_on_linux(std::string_view name) {
  std::string cause = std::string(name) + " is too long for the port field (" + std::to_string(SERIAL_PORT_NAME_MAX) +
                      " characters at most). ";
  if (name.starts_with(device_folder) && name.size() - device_folder.size() <= SERIAL_PORT_NAME_MAX) {
    return cause + "Type " + std::string(name.substr(device_folder.size())) + " instead.";
  }
  const std::string device = name.starts_with("/") ? std::string(name) : std::string(device_folder) + std::string(name);
  return cause + "Give the device a COM name with \"velmorant-demo --link-port COM5 " + device + "\", then type COM5.";
}

std::string_view trimmed(std::string_view name) {
  const std::size_t first = name.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return name.substr(first, name.find_last_not_of(' ') - first + 1);
}

// A name that no port can have: a path of folders (on Linux a name under
// /dev may hold a '/', "pts/4", but never start with one or climb with "..").
bool never_a_port(std::string_view name, PortTexts system) {
  if (system == PortTexts::Windows) return name.find_first_of("/\\") != std::string_view::npos;
  if (name.starts_with("/") || name.find('\\') != std::string_view::npos) return true;
  std::string with_slashes(1, '/');
  with_slashes.append(name).push_back('/');
  return with_slashes.find("/../") != std::string::npos || with_slashes.find("/./") != std::string::npos;
}

// COM0, COM00: COM ports count from 1.
bool com_zero(std::string_view name) {
  if (name.size() < 4 || (name.substr(0, 3) != "COM" && name.substr(0, 3) != "com")) return false;
  return name.find_first_not_of('0', 3) == std::string_view::npos;
}

// Who holds a port in use, or what is wrong with the lock file in its way.
std::string failure_detail(std::string_view port_name, DWORD error, PortTexts system = THIS_SYSTEM) {
  const bool held = error == ERROR_SHARING_VIOLATION || (system == PortTexts::Windows && error == ERROR_ACCESS_DENIED);
  if (held) return port_holder(port_name);
  if (error == ERROR_LOCK_FAILED) return port_lock_problem(port_name);
  return "";
}

}  // namespace

std::string open_failure_cause(std::string_view port_name, DWORD error, const std::vector<std::string>& ports,
                               std::string_view holder, PortTexts system) {
  const CauseTexts& texts = system == PortTexts::Windows ? windows_texts : linux_texts;
  const std::string_view name = port_name;
  const std::string in_use_by = holder.empty() ? "another program" : std::string(holder);
  // What the name itself shows comes first: the open may refuse such a name
  // with any of several errors.
  if (error == ERROR_FILENAME_EXCED_RANGE) {
    return system == PortTexts::Windows ? filled(texts.too_long, name) : too_long_on_linux(name);
  }
  if (trimmed(name).empty()) return filled(texts.no_name, name) + port_list_sentence(ports);
  if (trimmed(name) != name) return filled(texts.spaces, trimmed(name)) + port_list_sentence(ports);
  if (system == PortTexts::Linux && name.starts_with(device_folder)) {
    return "Type the name without " + std::string(device_folder) + ": " +
           std::string(name.substr(device_folder.size())) + "." + port_list_sentence(ports);
  }
  if (never_a_port(name, system)) return filled(texts.not_a_name, name) + port_list_sentence(ports);
  if (com_zero(name))
    return filled(texts.not_found, name) + port_list_sentence(ports) + std::string(texts.where_ports_are);
  switch (error) {
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_PARAMETER: return filled(texts.not_a_name, name) + port_list_sentence(ports);
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return filled(texts.not_found, name) + port_list_sentence(ports) + std::string(texts.where_ports_are);
    case ERROR_ACCESS_DENIED: return filled(texts.access_denied, name, in_use_by);
    case ERROR_SHARING_VIOLATION: return filled(texts.in_use, name, in_use_by);
    case ERROR_LOCK_FAILED:
      return std::string(name) +
             " cannot be opened: " + (holder.empty() ? "its lock file cannot be used" : std::string(holder)) + ".";
    case ERROR_BAD_DEVICE: return filled(texts.not_serial, name) + port_list_sentence(ports);
    default: return "The system reported error " + std::to_string(error) + " for " + std::string(name) + ".";
  }
}

std::string open_failure_message(std::string_view port_name, DWORD error) {
  const std::string first = "Error during open " + std::string(port_name) + ": Port";
  return first + "\n\n" +
         open_failure_cause(port_name, error, offered_ports(usable_serial_port_names()),
                            failure_detail(port_name, error));
}

std::string port_open_problem(const std::string& name, const std::vector<std::string>& ports) {
  const DWORD error = port_open_error(name);
  if (error == ERROR_SUCCESS) return "";
  return open_failure_cause(name, error, ports, failure_detail(name, error));
}

bool is_no_port(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME ||
         error == ERROR_BAD_DEVICE;
}

std::vector<std::string> offered_ports(const std::vector<std::string>& names) {
  std::vector<std::string> offered;
  for (const std::string& name : names) {
    // The system's own devices are ports; a COM name may be a link to anything.
    const bool com_name =
        name.size() > 3 && (name[0] & ~0x20) == 'C' && (name[1] & ~0x20) == 'O' && (name[2] & ~0x20) == 'M';
    if (!com_name || !is_no_port(port_open_error(name))) offered.push_back(name);
  }
  return offered;
}
