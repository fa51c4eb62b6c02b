// The open-failure message's second paragraph: one cause per system error,
// the same on both systems.
#include "command_line.h"
#include "open_failure.h"
#include "serial_port.h"
#include "system_ports.h"

#include <gtest/gtest.h>

namespace {

TEST(OpenFailure, EachCauseSaysWhyAndWhatToDo) {
  const std::vector<std::string> ports = {"ttyUSB0", "COM5"};
  const struct {
    const char* name;
    DWORD error;
    std::vector<std::string> ports;
    const char* cause;
    const char* detail = "";  // who holds the port, or what is wrong with its lock file
  } cases[] = {
      {"COM99", ERROR_FILE_NOT_FOUND, ports, "There is no port COM99. The serial ports here are: ttyUSB0, COM5."},
      {"COM99",
       ERROR_PATH_NOT_FOUND,
       {},
       "There is no port COM99. No serial port was found: check that the adapter is plugged in."},
      {"/dev/x1", ERROR_INVALID_NAME, ports,
       "Type the name without /dev/: x1. The serial ports here are: ttyUSB0, COM5."},
      {"a\\b", ERROR_INVALID_NAME, {"COM1"}, "a\\b is not a port name. The serial ports here are: COM1."},
      {"ttyUSB0", ERROR_ACCESS_DENIED, ports,
       "Access to ttyUSB0 was refused: another program may be using it, or your account may not use it. On Linux, "
       "join the device's group (usually dialout) with \"sudo adduser $USER dialout\", then log out and in again."},
      {"ttyUSB0", ERROR_SHARING_VIOLATION, ports,
       "ttyUSB0 is in use by another program. Close that program, then press Connect again."},
      {"pts/0", ERROR_BAD_DEVICE, ports,
       "pts/0 is a terminal or console, not a serial line. Type the name of the port the interface is on. The serial "
       "ports here are: ttyUSB0, COM5."},
      {"/dev/ttyUSB0", ERROR_FILENAME_EXCED_RANGE, ports,
       "/dev/ttyUSB0 is too long for the port field (7 characters at most). Type ttyUSB0 instead."},
      {"/dev/pts/0", ERROR_FILENAME_EXCED_RANGE, ports,
       "/dev/pts/0 is too long for the port field (7 characters at most). Type pts/0 instead."},
      {"ttyUSB10", ERROR_FILENAME_EXCED_RANGE, ports,
       "ttyUSB10 is too long for the port field (7 characters at most). Give the device a COM name with "
       "\"velmorant-demo --link-port COM5 /dev/ttyUSB10\", then type COM5."},
      {"/dev/serial/by-id/usb-FTDI", ERROR_FILENAME_EXCED_RANGE, ports,
       "/dev/serial/by-id/usb-FTDI is too long for the port field (7 characters at most). Give the device a COM "
       "name with \"velmorant-demo --link-port COM5 /dev/serial/by-id/usb-FTDI\", then type COM5."},
      {"/dev/ttyUSB10", ERROR_FILENAME_EXCED_RANGE, ports,
       "/dev/ttyUSB10 is too long for the port field (7 characters at most). Give the device a COM name with "
       "\"velmorant-demo --link-port COM5 /dev/ttyUSB10\", then type COM5."},
      {"COM1", ERROR_GEN_FAILURE, ports, "The system reported error 31 for COM1."},
      {"ttyUSB0", ERROR_LOCK_FAILED, ports,
       "ttyUSB0 cannot be opened: the lock file /run/lock/LCK..ttyUSB0 is not a lock file: remove it.",
       "the lock file /run/lock/LCK..ttyUSB0 is not a lock file: remove it"},
      {"COM17", ERROR_LOCK_FAILED, ports, "COM17 cannot be opened: its lock file cannot be used."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(open_failure_cause(c.name, c.error, c.ports, c.detail, PortTexts::Linux), c.cause) << c.name;
  }
}

// Every kind of name the port field can hold, in each system's words; the
// error is the one either system may leave for such a name.
TEST(OpenFailure, EveryNameGetsACauseInTheWordsOfItsSystem) {
  const std::vector<std::string> ports = {"COM5"};
  const std::string list = " The serial ports here are: COM5.";
  const std::string device_manager = " Device Manager lists them under \"Ports (COM & LPT)\".";
  const auto linux = PortTexts::Linux;
  const auto windows = PortTexts::Windows;
  const struct {
    PortTexts system;
    const char* name;
    DWORD error;
    std::string cause;
  } cases[] = {
      {linux, "", ERROR_PATH_NOT_FOUND,
       "Type the name of the port the interface is on, such as COM5 or ttyUSB0." + list},
      {windows, "", ERROR_INVALID_NAME, "Type the name of the port the interface is on, such as COM5." + list},
      {linux, "  ", ERROR_INVALID_PARAMETER,
       "Type the name of the port the interface is on, such as COM5 or ttyUSB0." + list},
      {linux, " COM5", ERROR_INVALID_NAME, "Type the name without spaces: COM5." + list},
      {windows, "COM5 ", ERROR_FILE_NOT_FOUND, "Type the name without spaces: COM5." + list},
      {linux, "/dev/x1", ERROR_INVALID_PARAMETER, "Type the name without /dev/: x1." + list},
      {windows, "/dev/x1", ERROR_PATH_NOT_FOUND, "/dev/x1 is not a port name." + list},
      {linux, "/x1", ERROR_INVALID_NAME, "/x1 is not a port name." + list},
      {windows, "/x1", ERROR_FILE_NOT_FOUND, "/x1 is not a port name." + list},
      {linux, "../x", ERROR_FILE_NOT_FOUND, "../x is not a port name." + list},
      {linux, "pts/../x", ERROR_INVALID_NAME, "pts/../x is not a port name." + list},
      {windows, "..\\x", ERROR_PATH_NOT_FOUND, "..\\x is not a port name." + list},
      {linux, "COM0", ERROR_INVALID_PARAMETER, "There is no port COM0." + list},
      {windows, "COM0", ERROR_FILE_NOT_FOUND, "There is no port COM0." + list + device_manager},
      {windows, "COM99", ERROR_FILE_NOT_FOUND, "There is no port COM99." + list + device_manager},
      {linux, "x1", ERROR_INVALID_PARAMETER, "x1 is not a port name." + list},
      {windows, "COM5", ERROR_ACCESS_DENIED,
       "COM5 is in use by another program. Close that program, then press Connect again."},
      {windows, "COM123456", ERROR_FILENAME_EXCED_RANGE,
       "COM123456 is too long for the port field (7 characters at most). Device Manager lists the serial ports under "
       "\"Ports (COM & LPT)\" with their COM names: type the one the interface is on."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(open_failure_cause(c.name, c.error, ports, {}, c.system), c.cause) << c.name;
  }
  // Windows' words never send the user to Linux's tools.
  for (const DWORD error : {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_FILENAME_EXCED_RANGE,
                            ERROR_FILE_NOT_FOUND, ERROR_INVALID_NAME, ERROR_BAD_DEVICE}) {
    for (const char* name : {"COM5", "/dev/ttyUSB0", "\\\\.\\COM5", "ttyUSB10"}) {
      const std::string cause = open_failure_cause(name, error, ports, {}, windows);
      for (const char* word : {"sudo", "dialout", "--link-port", "Type the name without /dev/"}) {
        EXPECT_EQ(cause.find(word), std::string::npos) << name << ": " << cause;
      }
    }
  }
  EXPECT_EQ(open_failure_cause("COM5", ERROR_ACCESS_DENIED, ports, "Terminal (process 42)", windows),
            "COM5 is in use by Terminal (process 42). Close that program, then press Connect again.");
}

// The port layer leaves the name to the open: its error is the open's, never
// the settings parser's refusal of a name; and what that error gives is the
// name's cause in this system's words.
TEST(OpenFailure, TheOpenJudgesTheNameNotTheSettingsParser) {
  const bool windows = THIS_SYSTEM == PortTexts::Windows;
  const std::string list = " The serial ports here are: COM5.";
  const std::string not_found_end = list + (windows ? " Device Manager lists them under \"Ports (COM & LPT)\"." : "");
  const struct {
    const char* name;
    std::string cause;
  } cases[] = {
      {"/dev/x1", windows ? "/dev/x1 is not a port name." + list : "Type the name without /dev/: x1." + list},
      {"/x1", "/x1 is not a port name." + list},
      {"../x", "../x is not a port name." + list},
      {"COM0", "There is no port COM0." + not_found_end},
      {" COM99", "Type the name without spaces: COM99." + list},
      {"", windows ? "Type the name of the port the interface is on, such as COM5." + list
                   : "Type the name of the port the interface is on, such as COM5 or ttyUSB0." + list},
  };
  for (const auto& c : cases) {
    const std::string settings = std::string(c.name) + ": baud=19200 parity=N Data=8 stop=1";
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(serial_open(settings.c_str(), HANDSHAKE_NONE, 0, 0), nullptr) << c.name;
    const DWORD error = GetLastError();
    EXPECT_NE(error, static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << c.name;
    EXPECT_NE(error, static_cast<DWORD>(ERROR_SUCCESS)) << c.name;
    EXPECT_EQ(open_failure_cause(c.name, error, {"COM5"}), c.cause) << c.name;
  }
}

TEST(OpenFailure, MessageKeepsItsFirstLineAndAddsTheCause) {
  const std::string message = open_failure_message("COM17", ERROR_SHARING_VIOLATION);
  EXPECT_EQ(message,
            "Error during open COM17: Port\n\nCOM17 is in use by another program. Close that program, then "
            "press Connect again.");
}

// What the port list reads out of the system's texts for a device, and how
// it prints a port.
TEST(PortDetails, IdsNamesAndSerialNumbersAreReadFromTheSystemsTexts) {
  const struct {
    const char* text;
    std::string (*read)(std::string_view);
    const char* result;
  } cases[] = {
      {"USB\\VID_0403&PID_6001&REV_0600", usb_id_of, "0403:6001"},
      {"FTDIBUS\\COMPORT&VID_1A86&PID_7523", usb_id_of, "1a86:7523"},
      {"USB\\VID_0403&PID_60", usb_id_of, ""},
      {"USB\\VID_04G3&PID_6001", usb_id_of, ""},
      {"USB\\VID_0403", usb_id_of, ""},
      {"ACPI\\PNP0501", usb_id_of, ""},
      {"USB Serial Port (COM5)", port_of_friendly_name, "COM5"},
      {"Port (A) (ttyUSB0)", port_of_friendly_name, "ttyUSB0"},
      {"Communications Port", port_of_friendly_name, ""},
      {"(COM5", port_of_friendly_name, ""},
      {"USB\\VID_0403&PID_6001\\A50285BI", serial_of_instance_id, "A50285BI"},
      {"USB\\VID_1A86&PID_7523\\5&2F2E3E4&0&1", serial_of_instance_id, ""},
      {"A50285BI", serial_of_instance_id, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.read(c.text), c.result) << c.text;
}

TEST(PortDetails, PortLineGivesWhatIsKnown) {
  const SerialPortEntry usb{"ttyUSB0", "/dev/ttyUSB0"};
  const PortDetails ftdi{"0403:6001", "FTDI", "FT232R", "A5", "/dev/serial/by-id/usb-FTDI"};
  const PortDetails bare{"1a86:7523", "", "", "", "/dev/ttyUSB0"};
  const PortDetails built_in{"", "", "", "", "/dev/ttyS0"};
  EXPECT_EQ(port_line(usb, &ftdi, ""),
            "ttyUSB0  /dev/ttyUSB0; USB 0403:6001, FTDI, FT232R, serial number A5; also /dev/serial/by-id/usb-FTDI; "
            "can be opened now");
  EXPECT_EQ(port_line(usb, &bare, "Why."), "ttyUSB0  /dev/ttyUSB0; USB 1a86:7523; cannot be opened now: Why.");
  EXPECT_EQ(port_line({"ttyS0", "/dev/ttyS0"}, &built_in, ""), "ttyS0    /dev/ttyS0; can be opened now");
  EXPECT_EQ(port_line({"COM12345", "\\Device\\Serial0"}, nullptr, ""), "COM12345 \\Device\\Serial0; can be opened now");
}

}  // namespace
