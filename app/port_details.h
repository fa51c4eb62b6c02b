// What the system knows of each serial port besides its name, for
// "velmorant-demo --list-ports": a USB adapter's ids, maker, product and
// serial number (setupapi's "Ports" class), a stable name for the device,
// and whether the port can be opened now.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "open_failure.h"

struct PortDetails {
  std::string usb_id;  // "0403:6001" (vendor:product, lowercase hex); empty: not USB
  std::string manufacturer, product, serial_number;
  std::string stable_name;  // a path that names the device whatever its kernel name
};

// The details of every device of the "Ports" class, by the name to type.
std::map<std::string, PortDetails> port_details();

// Empty when the port could be opened now, else why not, in the words of the
// open-failure message. The port is asked with query access, for which our
// Linux layer opens nothing, so that no modem line moves.
std::string port_open_problem(const std::string& name, const std::vector<std::string>& ports);

// One line of the listing: the name to type, the device, the details, and
// whether it can be opened.
std::string port_line(const SerialPortEntry& port, const PortDetails* details, const std::string& problem);

// The pieces, on their own:
// "0403:6001" from a hardware id "USB\VID_0403&PID_6001&REV_0600"; empty
// when it names no USB ids.
std::string usb_id_of(std::string_view hardware_id);
// The name in the brackets that end a friendly name: "COM5" for
// "USB Serial Port (COM5)"; empty when there are none.
std::string port_of_friendly_name(std::string_view friendly_name);
// The serial number that ends an instance id "USB\VID_0403&PID_6001\A50285BI";
// empty when the system made that part up ("5&2f2e3e4&0&1").
std::string serial_of_instance_id(std::string_view instance_id);
