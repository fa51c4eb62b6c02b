// Gadgets: child controls on a toolkit window, known by number. Each kind has
// a table of operation slots; the generic operations call a kind's slot when
// it is filled and otherwise fall back to the plain control messages.
#pragma once

#include <windows.h>

#include <string>

#include "registry.h"

// Creation flags with a meaning of their own (all flags are also OR-ed into the style).
constexpr DWORD TEXT_CENTER = 0x1;            // SS_CENTER
constexpr DWORD TEXT_BORDER = 0x20000;        // adds a sunken edge
constexpr DWORD STRING_BORDERLESS = 0x20000;  // leaves the sunken edge out
// A text gadget that keeps its whole text but shows only the newest lines
// that its box holds whole (not a style: it stays out of the control's).
constexpr DWORD TEXT_NEWEST_LINES = 0x10000;

void gadgets_init();
HWND set_gadget_parent(HWND window);

// Each gives the control's handle for a number, the identifier for
// ANY_NUMBER, and 0 when the control cannot be created.
ObjectNumber create_text_gadget(ObjectNumber number, int x, int y, int width, int height, const char* text,
                                DWORD flags = 0);
ObjectNumber create_string_gadget(ObjectNumber number, int x, int y, int width, int height, const char* text,
                                  DWORD flags = 0);
ObjectNumber create_button_gadget(ObjectNumber number, int x, int y, int width, int height, const char* text,
                                  DWORD flags = 0);
ObjectNumber create_progress_bar(ObjectNumber number, int x, int y, int width, int height, int minimum, int maximum,
                                 DWORD flags = 0);

void set_gadget_text(ObjectNumber gadget, const char* text);
std::string get_gadget_text(ObjectNumber gadget);
void set_gadget_state(ObjectNumber gadget, int state);
int get_gadget_state(ObjectNumber gadget);
// gadget -1 changes the default font of later gadgets; font -1 is the stock GUI font.
void set_gadget_font(ObjectNumber gadget, HFONT font);
void free_gadget(ObjectNumber gadget);
// Gives a gadget the keyboard focus as Tab does (an input field's text is
// selected); the gadget that has it, or -1 when none has.
void activate_gadget(ObjectNumber gadget);
ObjectNumber active_gadget();
