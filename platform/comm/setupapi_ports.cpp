// setupapi's device list for the "Ports" class, answered from sysfs.
//
// Win32                                  Linux
// SetupDiGetClassDevsA(PORTS)            a snapshot of the terminals of
//                                        list_serial_ports() (no COMn links:
//                                        they are names, not devices)
// SPDRP_HARDWAREID  "USB\VID_0403&       idVendor, idProduct of the USB device
//                    PID_6001"           above the terminal
// SPDRP_MFG, SPDRP_DEVICEDESC            its manufacturer and product strings
// SPDRP_FRIENDLYNAME "... (COM5)"        "FT232R USB UART (ttyUSB0)"
// SPDRP_PHYSICAL_DEVICE_OBJECT_NAME      the /dev/serial/by-id link, else
//   "\Device\USBPDO-5"                   the device under /dev
// instance id "USB\VID_0403&PID_6001\    the same; the serial number when the
//   A50285BI"                            device has one, else "0&" and the
//                                        USB device's folder ("0&1-1.2")
#include <setupapi.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "com_links.h"
#include "port_list.h"

namespace {

constexpr GUID ports_class = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

struct DeviceSet {
  std::vector<PortEntry> devices;
};

std::mutex sets_lock;
std::vector<std::unique_ptr<DeviceSet>> open_sets;

bool same_guid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

BOOL fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// The device the caller's SP_DEVINFO_DATA names in a set still open, else
// nothing with the last error set.
std::vector<std::unique_ptr<DeviceSet>>::iterator find_set(HDEVINFO set) {
  const auto found = std::find_if(open_sets.begin(), open_sets.end(),
                                  [set](const auto& open) { return static_cast<HDEVINFO>(open.get()) == set; });
  if (found == open_sets.end()) SetLastError(ERROR_INVALID_HANDLE);
  return found;
}

const PortEntry* find_device(HDEVINFO set, const SP_DEVINFO_DATA* data) {
  const auto found = find_set(set);
  if (found == open_sets.end()) return nullptr;
  if (data == nullptr || data->cbSize != sizeof(SP_DEVINFO_DATA) || data->DevInst >= (*found)->devices.size()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return &(*found)->devices[data->DevInst];
}

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string usb_id(const UsbFacts& usb) { return "USB\\VID_" + upper(usb.vendor_id) + "&PID_" + upper(usb.product_id); }

std::string description(const PortEntry& port) { return port.usb.product.empty() ? "Serial port" : port.usb.product; }

// A property's value, with the zero (or two, for a list) that ends it; empty
// when the device has no such property.
std::string property_value(const PortEntry& port, DWORD property, DWORD& type) {
  type = REG_SZ;
  const bool usb = !port.usb.vendor_id.empty();
  switch (property) {
    case SPDRP_DEVICEDESC: return port.usb.product.empty() ? "" : port.usb.product + '\0';
    case SPDRP_FRIENDLYNAME: return description(port) + " (" + port.name + ")" + '\0';
    case SPDRP_MFG: return port.usb.manufacturer.empty() ? "" : port.usb.manufacturer + '\0';
    case SPDRP_PHYSICAL_DEVICE_OBJECT_NAME: return (port.stable_name.empty() ? port.device : port.stable_name) + '\0';
    case SPDRP_HARDWAREID: type = REG_MULTI_SZ; return usb ? usb_id(port.usb) + '\0' + '\0' : "";
    default: return "";
  }
}

std::string instance_id(const PortEntry& port) {
  if (port.usb.vendor_id.empty()) return "ROOT\\PORTS\\" + upper(port.name);
  const std::string& serial = port.usb.serial_number;
  const bool unique = !serial.empty() && serial.find_first_of("&\\") == std::string::npos;
  return usb_id(port.usb) + "\\" + (unique ? serial : "0&" + port.usb.device_folder);
}

BOOL copy_out(const std::string& value, PBYTE buffer, DWORD size, PDWORD required) {
  if (required != nullptr) *required = static_cast<DWORD>(value.size());
  if (buffer == nullptr && size != 0) return fail(ERROR_INVALID_USER_BUFFER);
  if (size < value.size()) return fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(buffer, value.data(), value.size());
  return TRUE;
}

}  // namespace

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* class_guid, PCSTR /*enumerator*/, HWND /*parent*/, DWORD /*flags*/) {
  if (class_guid == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  auto set = std::make_unique<DeviceSet>();
  if (same_guid(*class_guid, ports_class)) {
    for (PortEntry& port : list_serial_ports()) {
      if (!com_port_number(port.name)) set->devices.push_back(std::move(port));
    }
  }
  std::lock_guard held(sets_lock);
  open_sets.push_back(std::move(set));
  return open_sets.back().get();
}

BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA data) {
  std::lock_guard held(sets_lock);
  const auto found = find_set(set);
  if (found == open_sets.end()) return FALSE;
  if (data == nullptr || data->cbSize != sizeof(SP_DEVINFO_DATA)) return fail(ERROR_INVALID_USER_BUFFER);
  if (index >= (*found)->devices.size()) return fail(ERROR_NO_MORE_ITEMS);
  data->ClassGuid = ports_class;
  data->DevInst = index;
  return TRUE;
}

BOOL WINAPI SetupDiGetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA data, DWORD property, PDWORD type,
                                              PBYTE buffer, DWORD size, PDWORD required) {
  std::lock_guard held(sets_lock);
  const PortEntry* port = find_device(set, data);
  if (port == nullptr) return FALSE;
  DWORD value_type = REG_SZ;
  const std::string value = property_value(*port, property, value_type);
  if (value.empty()) return fail(ERROR_INVALID_DATA);
  if (type != nullptr) *type = value_type;
  return copy_out(value, buffer, size, required);
}

BOOL WINAPI SetupDiGetDeviceInstanceIdA(HDEVINFO set, PSP_DEVINFO_DATA data, PSTR buffer, DWORD size, PDWORD required) {
  std::lock_guard held(sets_lock);
  const PortEntry* port = find_device(set, data);
  if (port == nullptr) return FALSE;
  return copy_out(instance_id(*port) + '\0', reinterpret_cast<PBYTE>(buffer), size, required);
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set) {
  std::lock_guard held(sets_lock);
  const auto found = find_set(set);
  if (found == open_sets.end()) return FALSE;
  open_sets.erase(found);
  return TRUE;
}
