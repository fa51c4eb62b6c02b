// The open-failure message's second paragraph: one cause per system error,
// the same on both systems.
#include "open_failure.h"

#include <gtest/gtest.h>

namespace {

TEST(OpenFailure, EachCauseSaysWhyAndWhatToDo) {
  const std::vector<std::string> ports = {"ttyUSB0", "COM5"};
  const struct {
    const char* name;
    DWORD error;
    std::vector<std::string> ports;
    const char* cause;
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
  };
  for (const auto& c : cases) EXPECT_EQ(open_failure_cause(c.name, c.error, c.ports), c.cause) << c.name;
}

TEST(OpenFailure, MessageKeepsItsFirstLineAndAddsTheCause) {
  const std::string message = open_failure_message("COM17", ERROR_SHARING_VIOLATION);
  EXPECT_EQ(message,
            "Error during open COM17: Port\n\nCOM17 is in use by another program. Close that program, then "
            "press Connect again.");
}

}  // namespace
