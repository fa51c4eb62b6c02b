#include "open_failure.h"

#include <restartmanager.h>

#include <cstring>
#include <iterator>

#include "serial_port.h"

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

}  // namespace

std::vector<SerialPortEntry> serial_ports() {
  std::vector<SerialPortEntry> ports;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return ports;
  }
  for (DWORD index = 0;; ++index) {
    char device[512];
    char name[64];
    DWORD device_length = sizeof device;
    DWORD name_size = sizeof name;
    DWORD type = 0;
    const LSTATUS status =
        RegEnumValueA(key, index, device, &device_length, nullptr, &type, reinterpret_cast<LPBYTE>(name), &name_size);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS || type != REG_SZ || name_size == 0) continue;
    ports.push_back({std::string(name, strnlen(name, name_size)), std::string(device, device_length)});
  }
  RegCloseKey(key);
  return ports;
}

std::vector<std::string> serial_port_names() {
  std::vector<std::string> names;
  for (SerialPortEntry& port : serial_ports()) names.push_back(std::move(port.name));
  return names;
}

std::string port_holder(std::string_view port_name) {
  DWORD session = 0;
  WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
  if (RmStartSession(&session, 0, key) != ERROR_SUCCESS) return "";
  std::wstring device = L"\\\\.\\";
  for (const char c : port_name) device += static_cast<wchar_t>(static_cast<unsigned char>(c));
  LPCWSTR files[] = {device.c_str()};
  RM_PROCESS_INFO holders[1] = {};
  UINT needed = 0;
  UINT count = 1;
  DWORD reasons = 0;
  std::string holder;
  if (RmRegisterResources(session, 1, files, 0, nullptr, 0, nullptr) == ERROR_SUCCESS &&
      RmGetList(session, &needed, &count, holders, &reasons) == ERROR_SUCCESS && count >= 1) {
    for (const WCHAR* c = holders[0].strAppName; *c != 0 && c < std::end(holders[0].strAppName); ++c) {
      holder += *c >= 0x20 && *c < 0x7f ? static_cast<char>(*c) : '?';
    }
    holder += " (process " + std::to_string(holders[0].Process.dwProcessId) + ")";
  }
  RmEndSession(session);
  return holder;
}

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
    case ERROR_BAD_DEVICE:
      return name + " is a terminal or console, not a serial line. Type the name of the port the interface is on." +
             port_list_sentence(ports);
    default: return "The system reported error " + std::to_string(error) + " for " + name + ".";
  }
}

std::string open_failure_message(std::string_view port_name, DWORD error) {
  const std::string first = "Error during open " + std::string(port_name) + ": Port";
  const std::string holder = error == ERROR_SHARING_VIOLATION ? port_holder(port_name) : "";
  return first + "\n\n" + open_failure_cause(port_name, error, serial_port_names(), holder);
}
