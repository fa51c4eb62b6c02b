// The close signals: the console's control events reach the program's window
// as a close request, whatever the program is doing at the time.
#pragma once

#include <windows.h>

// Makes the console control events (Ctrl+C, Ctrl+Break, closing the console;
// on Linux SIGINT, SIGTERM and SIGHUP) ask the window to close, as its close
// box does, whatever the program is doing: a message box that is open is
// closed first. Installed first thing, so that an event that comes while the
// program starts is kept until the window exists.
void install_close_signals();
// The window that the console control events ask to close from now on; an
// event that came before it is acted on at once.
void close_signals_reach(HWND window);
