// Gadget colours and the progress bar's range attributes: the colour answers
// that text and string gadgets give their parent window, the colour and
// attribute slots of the kinds, and the shared cache of background brushes.
#pragma once

#include "gadgets.h"

// Colour types: the text colour (the bar colour of a progress bar) and the background.
constexpr int COLOUR_FRONT = 1;
constexpr int COLOUR_BACK = 2;
// Progress-bar attributes: the two ends of its range.
constexpr int ATTR_MINIMUM = 1;
constexpr int ATTR_MAXIMUM = 2;

// Colours (-1 is the default) and attributes of a gadget by number. A number
// that names no gadget, or a kind without the slot, does nothing and gives 0.
void set_gadget_colour(ObjectNumber gadget, int colour_type, LONG colour);
LONG get_gadget_colour(ObjectNumber gadget, int colour_type);
void set_gadget_attribute(ObjectNumber gadget, int attribute, LONG_PTR value);
LONG_PTR get_gadget_attribute(ObjectNumber gadget, int attribute);
