// The modal message box, with the calling thread's other windows disabled
// while it shows.
#pragma once

#include <windows.h>

// Shows the box (caption first, then text, unlike MessageBoxA) and returns
// the button that closed it, or 0 when it could not be shown.
int message_requester(const char* caption, const char* text, UINT flags = 0);
