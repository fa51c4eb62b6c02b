// Shows the program's main window, built as the program builds it, for a look at
// its layout: sample_main_window [milliseconds [--with-values]]. It ends when
// the window is closed or, when given, after that many milliseconds. With
// --with-values the log, progress bar and result show a reading.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "events.h"
#include "fonts.h"
#include "gadgets.h"
#include "main_window.h"
#include "toolkit_windows.h"

int main(int argc, char** argv) {
  long run_ms = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 0;
  bool with_values = argc > 2 && std::strcmp(argv[2], "--with-values") == 0;

  start_support_layers();

  if (build_main_window()) {
    if (with_values) {
      set_gadget_text(GADGET_LOG, "0805\r\n07 00 32\r\n>");
      set_gadget_state(GADGET_PROGRESS, 60);
      set_gadget_text(GADGET_RESULT, "50 km/h");
    }
    DWORD start = GetTickCount();
    for (;;) {
      int event = run_ms > 0 ? event_retrieve(50) : event_wait();
      if (event == EV_CLOSE) break;
      if (run_ms > 0 && GetTickCount() - start >= static_cast<DWORD>(run_ms)) break;
    }
  }
  windows_close_all();
  free_all_fonts();
  HeapDestroy(main_heap);
  return 0;
}
