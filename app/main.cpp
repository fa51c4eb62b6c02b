// The program's entry. Without arguments it opens its window; "--trace FILE"
// opens it too and writes a transcript of the line to FILE; other options are
// the command line's (ports, help, version) and end without a window. Exit
// code 0, or 2 when the arguments are refused (before any window opens).
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "command_line.h"
#include "main_window.h"
#include "trace.h"

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--trace") != 0) return run_command_line(argc, argv, stdout, stderr);
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
