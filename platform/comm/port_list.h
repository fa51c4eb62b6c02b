// The serial ports this machine has, as the kernel lists them under sysfs
// (/sys/class/tty), and the COMn links of the link folder.
#pragma once

#include <string>
#include <vector>

// The environment variables that move the sysfs root and the folder of the
// stable USB names (tests use a made-up tree).
inline constexpr const char* SYSFS_ROOT_VARIABLE = "VELMORANT_SYSFS";
inline constexpr const char* SERIAL_BY_ID_VARIABLE = "VELMORANT_SERIAL_BY_ID";

// What a USB adapter says of itself (its device's descriptors in sysfs).
struct UsbFacts {
  std::string vendor_id;                             // "0403", four lowercase hex digits; empty: not USB
  std::string product_id;                            // "6001"
  std::string manufacturer, product, serial_number;  // empty when the device has none
  std::string device_folder;                         // the USB device's own folder name: "1-1.2"
};

struct PortEntry {
  std::string name;         // what to type: "ttyUSB0", "COM5"
  std::string device;       // "/dev/ttyUSB0"; for a COM link, where it points
  std::string stable_name;  // the /dev/serial/by-id link to the device, if any
  UsbFacts usb;
};

// Every terminal with a device behind it, by name; a built-in UART slot
// (ttyS) that has no UART behind it is left out. Then the COMn links.
std::vector<PortEntry> list_serial_ports();
