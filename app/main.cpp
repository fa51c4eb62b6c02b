// The program's entry. Without arguments it opens its window; "--trace FILE"
// also writes a transcript of the line to FILE. Exit code 0, or 2 when the
// arguments are refused (before the window opens).
#include <cstdio>

#include "main_window.h"
#include "trace.h"

int main(int argc, char** argv) {
  TraceFile trace;
  const std::string refused = take_arguments(argc, argv, trace);
  if (!refused.empty()) {
    std::fprintf(stderr, "velmorant-demo: %s\n", refused.c_str());
    return 2;
  }
  return run_program();
}
