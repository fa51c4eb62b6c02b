#include "sample_window.h"

#include "fonts.h"
#include "gadgets.h"
#include "toolkit_windows.h"

bool build_sample_main_window() {
  if (window_open(WINDOW_MAIN, 100, 150, 260, 330, "Velmorant Demo", 0xC80001) == 0) return false;
  set_gadget_parent(window_handle(WINDOW_MAIN));
  create_text_gadget(GADGET_PORT_LABEL, 20, 14, 30, 20, "Port:", 0);
  create_string_gadget(GADGET_PORT, 50, 10, 50, 20, "COM17", 0);
  create_text_gadget(GADGET_GROUP_LABEL, 120, 14, 40, 20, "Group:", 0);
  create_string_gadget(GADGET_GROUP, 160, 10, 30, 20, "05", 0);
  create_button_gadget(GADGET_CONNECT, 20, 40, 80, 20, "Connect", 0);
  create_progress_bar(GADGET_PROGRESS, 20, 70, 220, 20, 0, 100, 0);
  create_text_gadget(GADGET_LOG, 20, 100, 220, 140, "", TEXT_BORDER);
  create_text_gadget(GADGET_RESULT, 20, 260, 220, 280, "", TEXT_CENTER);
  if (load_font(FONT_RESULT, "Arial", 30, 0) != 0) set_gadget_font(GADGET_RESULT, font_handle(FONT_RESULT));
  return true;
}
