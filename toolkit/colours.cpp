// Gadget colours are not built yet. Until they are, the colour, attribute,
// message-hook and free slots stay null: gadgets are drawn by default
// processing and their colour requests go to the default handling.
#include "colours.h"

void fill_colour_slots(GadgetKind*) {}
