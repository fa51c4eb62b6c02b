// The program's entry. Without arguments it opens its window; "--trace FILE"
// also writes a transcript of the line to FILE. Exit code 0, or 2 when the
// arguments are refused (before the window opens).
#include <windows.h>

#include <cstdio>

#include "main_window.h"
#include "trace.h"

int main(int argc, char** argv) {
  TraceFile trace;
  const std::string refused = take_arguments(argc, argv, trace);
  if (!refused.empty()) {
    const std::string message = "velmorant-demo: " + refused;
    std::fprintf(stderr, "%s\n", message.c_str());
#ifdef _WIN32
    // A Windows program started from a shortcut or Explorer has nowhere to
    // show its standard error.
    MessageBoxA(nullptr, message.c_str(), "Error", MB_OK | MB_ICONERROR);
#endif
    return 2;
  }
  return run_program();
}
