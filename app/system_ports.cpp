#include "system_ports.h"

#include <restartmanager.h>
#include <setupapi.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>

namespace {

// The Ports (COM & LPT) device class.
constexpr GUID ports_class = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

std::string device_property(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
  char buffer[512];
  DWORD type = 0;
  if (!SetupDiGetDeviceRegistryPropertyA(set, &device, property, &type, reinterpret_cast<PBYTE>(buffer),
                                         sizeof buffer - 1, nullptr)) {
    return "";
  }
  buffer[sizeof buffer - 1] = '\0';
  return buffer;  // a list's first entry
}

std::string hex4(std::string_view text, std::string_view key) {
  const std::size_t at = text.find(key);
  if (at == std::string_view::npos || text.size() < at + key.size() + 4) return "";
  std::string digits(text.substr(at + key.size(), 4));
  for (char& c : digits) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return "";
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return digits;
}

// What the Restart Manager lists as holding a port (its first few entries).
std::vector<RM_PROCESS_INFO> restart_manager_list(std::string_view port_name) {
  std::vector<RM_PROCESS_INFO> entries;
  DWORD session = 0;
  WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
  if (RmStartSession(&session, 0, key) != ERROR_SUCCESS) return entries;
  std::wstring device = L"\\\\.\\";
  for (const char c : port_name) device += static_cast<wchar_t>(static_cast<unsigned char>(c));
  LPCWSTR files[] = {device.c_str()};
  RM_PROCESS_INFO found[4] = {};
  UINT needed = 0;
  UINT count = std::size(found);
  DWORD reasons = 0;
  if (RmRegisterResources(session, 1, files, 0, nullptr, 0, nullptr) == ERROR_SUCCESS &&
      RmGetList(session, &needed, &count, found, &reasons) == ERROR_SUCCESS) {
    entries.assign(found, found + std::min<UINT>(count, std::size(found)));
  }
  RmEndSession(session);
  return entries;
}

// A name another program chose, in printable ASCII only: a newline or an
// escape sequence in it must not reach the user's text.
std::string printable(const WCHAR (&name)[CCH_RM_MAX_APP_NAME + 1]) {
  std::string text;
  for (const WCHAR* c = name; *c != 0 && c < std::end(name); ++c)
    text += *c >= 0x20 && *c < 0x7f ? static_cast<char>(*c) : '?';
  return text;
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

std::vector<std::string> usable_serial_port_names() {
  std::vector<std::string> names;
  for (SerialPortEntry& port : serial_ports()) {
    if (port_open_error(port.name) != ERROR_BAD_DEVICE) names.push_back(std::move(port.name));
  }
  return names;
}

std::string port_holder(std::string_view port_name) {
  std::string holder;
  for (const RM_PROCESS_INFO& entry : restart_manager_list(port_name)) {
    if (entry.Process.dwProcessId == 0) continue;  // no process: a lock file in the way
    holder = printable(entry.strAppName) + " (process " + std::to_string(entry.Process.dwProcessId) + ")";
    break;
  }
  return holder;
}

std::string port_lock_problem(std::string_view port_name) {
  for (const RM_PROCESS_INFO& entry : restart_manager_list(port_name)) {
    if (entry.Process.dwProcessId == 0) return printable(entry.strAppName);
  }
  return "";
}

std::string usb_id_of(std::string_view hardware_id) {
  const std::string vendor = hex4(hardware_id, "VID_");
  const std::string product = hex4(hardware_id, "PID_");
  return vendor.empty() || product.empty() ? "" : vendor + ":" + product;
}

std::string port_of_friendly_name(std::string_view friendly_name) {
  const std::size_t open = friendly_name.rfind(" (");
  if (!friendly_name.ends_with(")") || open == std::string_view::npos) return "";
  return std::string(friendly_name.substr(open + 2, friendly_name.size() - open - 3));
}

std::string serial_of_instance_id(std::string_view instance_id) {
  const std::size_t last = instance_id.rfind('\\');
  if (last == std::string_view::npos) return "";
  const std::string_view serial = instance_id.substr(last + 1);
  return serial.find('&') == std::string_view::npos ? std::string(serial) : "";
}

std::map<std::string, PortDetails> port_details() {
  std::map<std::string, PortDetails> details;
  HDEVINFO set = SetupDiGetClassDevsA(&ports_class, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return details;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
    const std::string name = port_of_friendly_name(device_property(set, device, SPDRP_FRIENDLYNAME));
    if (name.empty()) continue;
    PortDetails& port = details[name];
    port.usb_id = usb_id_of(device_property(set, device, SPDRP_HARDWAREID));
    if (port.usb_id.empty()) continue;  // a built-in port: its name and device say it all
    port.manufacturer = device_property(set, device, SPDRP_MFG);
    port.product = device_property(set, device, SPDRP_DEVICEDESC);
    char instance[512];
    if (SetupDiGetDeviceInstanceIdA(set, &device, instance, sizeof instance, nullptr)) {
      port.serial_number = serial_of_instance_id(instance);
    }
    // Windows names the device object (\Device\USBPDO-5), which means nothing
    // to a user; a path is a name the user can give --link-port.
    const std::string object = device_property(set, device, SPDRP_PHYSICAL_DEVICE_OBJECT_NAME);
    if (object.starts_with("/")) port.stable_name = object;
  }
  SetupDiDestroyDeviceInfoList(set);
  return details;
}

DWORD port_open_error(const std::string& name) {
  const std::string path = "\\\\.\\" + name;
  HANDLE port = CreateFileA(path.c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (port == INVALID_HANDLE_VALUE) return GetLastError();
  CloseHandle(port);
  return ERROR_SUCCESS;
}

std::string plain_letters(std::string_view text) {
  std::string plain;
  for (const char c : text) plain += c >= 0x20 && c < 0x7f ? c : '?';
  return plain;
}
