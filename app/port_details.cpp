#include "port_details.h"

#include <setupapi.h>

#include <cctype>

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

}  // namespace

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

std::string port_open_problem(const std::string& name, const std::vector<std::string>& ports) {
  const std::string path = "\\\\.\\" + name;
  HANDLE port = CreateFileA(path.c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return open_failure_cause(name, error, ports, error == ERROR_SHARING_VIOLATION ? port_holder(name) : "");
  }
  CloseHandle(port);
  return "";
}

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
