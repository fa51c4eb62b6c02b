// The program's frame: start-up of the support layers, the one window with its
// eight gadgets and the large result font, the event loop, Connect, and the exit.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "options.h"
#include "registry.h"
#include "value_view.h"
#include "start_values.h"

inline constexpr ObjectNumber WINDOW_MAIN = 0;
inline constexpr ObjectNumber FONT_RESULT = 0;

inline constexpr ObjectNumber GADGET_CONNECT = 1;
inline constexpr ObjectNumber GADGET_PORT = 2;
inline constexpr ObjectNumber GADGET_PROGRESS = 3;
inline constexpr ObjectNumber GADGET_LOG = 4;
inline constexpr ObjectNumber GADGET_GROUP = 5;
inline constexpr ObjectNumber GADGET_RESULT = 6;
inline constexpr ObjectNumber GADGET_PORT_LABEL = 7;
inline constexpr ObjectNumber GADGET_GROUP_LABEL = 8;

void start_support_layers();
// False when the window could not be opened. Once built, the window also
// answers the console's close events (see close_signals_reach).
bool build_main_window(const StartValues& start = StartValues{});
// What the fields show at start: the remembered port and group (start_values.h).
// Options given on the command line go over them here.
StartValues start_values();
void on_connect();
void stop_support_layers();

// Adds text as a line of its own to the window's log, as the lost interface is said.
void log_problem(const std::string& text);

// Gives the port field the focus, then waits for events and handles Connect
// (the button, or Enter in either field) until the window is closed.
void run_event_loop();

// The whole program: start, window, event loop, exit, with the options and
// the views besides the result field that the values go to. Returns the
// program's exit code: 0, or 1 when a headless run could not open its port.
int run_program(const ProgramOptions& options, const std::vector<ValueView*>& views);
