// What the system knows of its serial ports: the list of them (the name to
// type and the device behind it), a USB adapter's details (setupapi's "Ports"
// class), whether a port can be opened now, and who holds one that is in use.
// The words for the user are the callers'.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

// A serial port the system lists (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM): the
// name to type and the device behind it.
struct SerialPortEntry {
  std::string name;
  std::string device;
};

// The serial ports the system lists, in the system's order; empty when it
// lists none.
std::vector<SerialPortEntry> serial_ports();
std::vector<std::string> serial_port_names();
// The names of those that can be serial lines at all: not the system console
// or a terminal (an open that fails with ERROR_BAD_DEVICE).
std::vector<std::string> usable_serial_port_names();

struct PortDetails {
  std::string usb_id;  // "0403:6001" (vendor:product, lowercase hex); empty: not USB
  std::string manufacturer, product, serial_number;
  std::string stable_name;  // a path that names the device whatever its kernel name
};

// The details of every device of the "Ports" class, by the name to type.
std::map<std::string, PortDetails> port_details();

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

// ERROR_SUCCESS when the port could be opened now, else the error an open
// leaves. The port is asked with query access, for which our Linux layer
// opens nothing, so that no modem line moves.
DWORD port_open_error(const std::string& name);

// Who holds a port, "minicom (process 1234)", where the system can tell
// (the Restart Manager); empty where it cannot. The program's name is shown
// in printable ASCII only: another program chooses it, and a newline or an
// escape sequence in it must not reach the user's text.
std::string port_holder(std::string_view port_name);

// What is wrong with the lock file that stopped the last open of a port
// ("the lock file /run/lock/LCK..ttyUSB0 is not a lock file: remove it"),
// where the system keeps lock files and can tell: the Restart Manager's entry
// without a process. Empty elsewhere; Windows keeps no lock files.
std::string port_lock_problem(std::string_view port_name);

// A text the system gives (a program's name, a device's maker, product or
// serial number) in plain letters only: anything else becomes ?, so that no
// terminal escape or right-to-left mark reaches the user's terminal.
std::string plain_letters(std::string_view text);
