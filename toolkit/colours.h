// Gadget colours and the progress bar's range attributes.
#pragma once

#include "gadgets.h"

// Enters the colour, attribute, message-hook and free slots of a kind's
// table; called once, when the table is filled.
void fill_colour_slots(GadgetKind* kind);
