// What the port and group fields show when the program starts: the port and
// group that last connected, remembered per user in the registry (on Linux,
// a file under the XDG config folder), else COM17 and 05.
#pragma once

#include "text.h"

struct StartValues {
  Text port = "COM17";
  Text group = "05";
};

// The remembered values; a value that is missing or cannot be read keeps its default.
StartValues remembered_start_values();
// Remembers the values for the next start. A failure is not told: the next
// start then shows what it finds.
void remember_start_values(const StartValues& values);
