// The conversation with the interface once its port is open: identify it,
// connect to control unit 01, then poll the chosen group every 100 ms (or
// as --interval says) and hand each reply to the views, until the window is closed.
#pragma once

#include <string_view>

#include "echo.h"
#include "options.h"
#include "protocol.h"
#include "serial_port.h"
#include "value_view.h"

inline constexpr int PROGRESS_WRAP = 101;

// A close request during polling lets the reply that is arriving complete
// for this long before the port is closed anyway.
inline constexpr int CLOSE_GRACE_MS = 500;

// A lost interface is looked for again this often, by opening its port anew.
inline constexpr int REOPEN_INTERVAL_MS = 500;

// How the conversation goes: the pause before each poll, and the views that
// each read-out and each event of the line are handed to.
struct Conversation {
  int interval_ms = POLL_INTERVAL_MS;
  const ValueViews* views = nullptr;
};

// Runs the whole sequence on the port opened with the settings text and
// closes it. Returns once the window has been asked to close.
void run_connection(SerialPort port, std::string_view settings, const Conversation& conversation);

// A line for the log field from outside the conversation (the trace's
// trouble): shown before the next request is sent, and kept while the log
// is emptied for each reply of the polling. Said once: it stays.
void tell_in_log(std::string_view text);
