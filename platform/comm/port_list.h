// The serial ports this machine has, as the kernel lists them under sysfs
// (/sys/class/tty), and the COMn links of the link folder.
#pragma once

#include <string>
#include <vector>

// The environment variable that moves the sysfs root (tests use a made-up tree).
inline constexpr const char* SYSFS_ROOT_VARIABLE = "VELMORANT_SYSFS";

struct PortEntry {
  std::string name;    // what to type: "ttyUSB0", "COM5"
  std::string device;  // "/dev/ttyUSB0"; for a COM link, where it points
};

// Every terminal with a device behind it, by name; a built-in UART slot
// (ttyS) that has no UART behind it is left out. Then the COMn links.
std::vector<PortEntry> list_serial_ports();
