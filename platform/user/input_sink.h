// Where the display delivers a person's input into user32: the display's
// events and the test driver's made-up ones take the same way in.
#pragma once

#include <windows.h>

#include "display/display.h"

namespace user {

// input.cpp: the sink that queues mouse and keyboard input as it arrives.
display::InputSink& input_sink();
DWORD input_queue_bits();  // QS_ bits of the input waiting

}  // namespace user
