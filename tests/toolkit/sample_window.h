// The application's main window, built with the toolkit as the program
// builds it: window 0, its eight gadgets and the large font of the result.
#pragma once

#include "registry.h"

constexpr ObjectNumber GADGET_CONNECT = 1;
constexpr ObjectNumber GADGET_PORT = 2;
constexpr ObjectNumber GADGET_PROGRESS = 3;
constexpr ObjectNumber GADGET_LOG = 4;
constexpr ObjectNumber GADGET_GROUP = 5;
constexpr ObjectNumber GADGET_RESULT = 6;
constexpr ObjectNumber GADGET_PORT_LABEL = 7;
constexpr ObjectNumber GADGET_GROUP_LABEL = 8;
constexpr ObjectNumber WINDOW_MAIN = 0;
constexpr ObjectNumber FONT_RESULT = 0;

// False when the window could not be opened.
bool build_sample_main_window();
