// Extensions of our own beside the Win32 subset, for Linux only. The program
// itself needs none of them: it waits for a serial byte and a window message
// together with MsgWaitForMultipleObjects on the port's handle, which this
// layer signals while input waits (platform/README.md, departures). The
// platform tests use them to look behind a handle and to wait on descriptors.
#pragma once

#include <windows.h>

// The file descriptor behind a handle from CreateFileA (a serial device), or
// -1 when the handle is not one of ours.
int platform_handle_fd(HANDLE handle);

// Blocks until one of the descriptors is readable, a message is waiting in the
// calling thread's queue (posted, input, paint or timer, as QS_ALLINPUT), or the
// timeout (milliseconds, INFINITE for none) has passed. Returns WAIT_OBJECT_0 + i
// for the first readable descriptor i, WAIT_OBJECT_0 + count for a message,
// WAIT_TIMEOUT otherwise. Like MsgWaitForMultipleObjects, it does not remove
// anything from the queue.
DWORD platform_wait_for_input(const int* fds, DWORD count, DWORD timeout_ms);
