// Tab navigation is not built yet. Until it is, no accelerator table is
// applied, so Tab reaches the focused control like any other key, and the two
// Tab commands, should they arrive, move nothing.
#include "focus.h"

HACCEL window_accelerator_table(HWND) { return nullptr; }

void focus_tab_stop(int) {}
