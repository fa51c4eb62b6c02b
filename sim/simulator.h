// The simulated interface at work: serves one plug of the interface on its
// pseudo-terminal, answering each request as the interface (a scenario or a
// replay) says, at the line's pace, and following the program's opening and
// closing of the port; and the time away between an unplug and the next plug.
#pragma once

#include <signal.h>

#include <chrono>

#include "port_watch.h"
#include "pty_port.h"
#include "request_log.h"
#include "scenario.h"

// Serves until stop is set (a signal, taken only inside the waits, which
// unblocked lets through) or the interface hangs up. fast sends every answer
// at once instead of at the line's baud rate.
void serve_interface(PtyPort& port, PortWatch& watch, Interface& interface, RequestLog& log, bool fast,
                     const volatile sig_atomic_t& stop, const sigset_t& unblocked);

// The time between an unplug and the next plug; false when a stop signal came.
bool stay_away(std::chrono::milliseconds time, const volatile sig_atomic_t& stop, const sigset_t& unblocked);
