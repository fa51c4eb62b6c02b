#include "open_failure.h"

#include "serial_port.h"
#include "system_ports.h"

namespace {

constexpr std::string_view device_folder = "/dev/";

std::string port_list_sentence(const std::vector<std::string>& ports) {
  if (ports.empty()) return " No serial port was found: check that the adapter is plugged in.";
  std::string sentence = " The serial ports here are:";
  for (std::size_t i = 0; i < ports.size(); ++i) sentence += (i == 0 ? " " : ", ") + ports[i];
  return sentence + ".";
}

// A name too long for the port field: the name under /dev when that fits,
// else a COMn name for the device.
std::string too_long_cause(std::string_view name) {
  std::string cause = std::string(name) + " is too long for the port field (" + std::to_string(SERIAL_PORT_NAME_MAX) +
                      " characters at most). ";
  if (name.starts_with(device_folder) && name.size() - device_folder.size() <= SERIAL_PORT_NAME_MAX) {
    return cause + "Type " + std::string(name.substr(device_folder.size())) + " instead.";
  }
  const std::string device = name.starts_with("/") ? std::string(name) : std::string(device_folder) + std::string(name);
  return cause + "Give the device a COM name with \"velmorant-demo --link-port COM5 " + device + "\", then type COM5.";
}

// Who holds a port in use, or what is wrong with the lock file in its way.
std::string failure_detail(std::string_view port_name, DWORD error) {
  if (error == ERROR_SHARING_VIOLATION) return port_holder(port_name);
  if (error == ERROR_LOCK_FAILED) return port_lock_problem(port_name);
  return "";
}

}  // namespace

std::string open_failure_cause(std::string_view port_name, DWORD error, const std::vector<std::string>& ports,
                               std::string_view holder) {
  const std::string name(port_name);
  switch (error) {
    case ERROR_FILENAME_EXCED_RANGE: return too_long_cause(port_name);
    case ERROR_INVALID_NAME:
      if (port_name.starts_with(device_folder)) {
        return "Type the name without " + std::string(device_folder) + ": " +
               std::string(port_name.substr(device_folder.size())) + "." + port_list_sentence(ports);
      }
      return name + " is not a port name." + port_list_sentence(ports);
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return "There is no port " + name + "." + port_list_sentence(ports);
    case ERROR_ACCESS_DENIED:
      return "Access to " + name +
             " was refused: another program may be using it, or your account may not use it. On Linux, join the "
             "device's group (usually dialout) with \"sudo adduser $USER dialout\", then log out and in again.";
    case ERROR_SHARING_VIOLATION:
      return name + " is in use by " + (holder.empty() ? "another program" : std::string(holder)) +
             ". Close that program, then press Connect again.";
    case ERROR_LOCK_FAILED:
      return name + " cannot be opened: " + (holder.empty() ? "its lock file cannot be used" : std::string(holder)) +
             ".";
    case ERROR_BAD_DEVICE:
      return name + " is a terminal or console, not a serial line. Type the name of the port the interface is on." +
             port_list_sentence(ports);
    default: return "The system reported error " + std::to_string(error) + " for " + name + ".";
  }
}

std::string open_failure_message(std::string_view port_name, DWORD error) {
  const std::string first = "Error during open " + std::string(port_name) + ": Port";
  return first + "\n\n" +
         open_failure_cause(port_name, error, offered_ports(serial_port_names()), failure_detail(port_name, error));
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
