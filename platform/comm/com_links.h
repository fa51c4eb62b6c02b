// Where "COMn" ports live on Linux: a per-user folder of links named like
// Wine's dosdevices ("com17" -> "/dev/pts/4"), which the simulator and the
// user can set; without a link, COMn is the n-th built-in UART, /dev/ttyS(n-1).
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The environment variable that moves the link folder (tests use a temporary
// one, the Windows tests Wine's own dosdevices folder).
inline constexpr const char* COM_LINK_FOLDER_VARIABLE = "VELMORANT_DOSDEVICES";

// $VELMORANT_DOSDEVICES, else $HOME/.velmorant/dosdevices; empty when neither
// variable is set.
std::string com_link_folder();

// n for a port name "COMn" (any case, 1 <= n <= 9999, no leading zeros),
// nothing for any other name.
std::optional<unsigned> com_port_number(std::string_view name);

// The link's file name for port n: "com17".
std::string com_link_name(unsigned number);

// The device path a port name ("COM17", "ttyUSB0", "pts/4") stands for: the
// link of a COM name when there is one, else its UART; any other name, under
// /dev. Links are not followed.
std::string port_device_path(std::string_view name);
