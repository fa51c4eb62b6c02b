// Numbered objects: every window, gadget and font is known by a number that
// the application picks, or by an identifier that the registry hands out.
#pragma once

#include <windows.h>

#include <cstdint>

// Numbers and identifiers share one signed, pointer-sized space: an identifier
// is the address of an unnumbered record, so it needs the width of a pointer.
using ObjectNumber = std::intptr_t;

// Asks the registry for a new unnumbered record instead of a numbered slot.
constexpr ObjectNumber ANY_NUMBER = -1;

// The private heap that the program creates at start-up; the toolkit takes its
// registries and process-wide records from it.
extern HANDLE main_heap;

// Starts the heap of the toolkit's lists; once, before anything else of the toolkit.
void list_heap_init();
