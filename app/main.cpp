// The program's entry. Without arguments it opens its window; the command
// line (command_line.h, options.h) may give the fields' texts, press Connect,
// log the values, run without a window, or ask something else and end
// without one. Exit code 0; 1 when the asked thing fails; 2 when the
// arguments are refused (before any window opens).
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "command_line.h"
#include "main_window.h"
#include "trace.h"
#include "value_log.h"
#include "views.h"

namespace {

// Says why the arguments cannot be used; on Windows also in a box, since a
// program started from a shortcut or Explorer has nowhere to show its
// standard error (a headless run is one started from a console).
int refuse(const std::string& why, const ProgramOptions& options) {
  const std::string message = "velmorant-demo: " + why;
  std::fprintf(stderr, "%s\n", message.c_str());
#ifdef _WIN32
  if (options.display == Display::Window) MessageBoxA(nullptr, message.c_str(), "Error", MB_OK | MB_ICONERROR);
#else
  (void)options;
#endif
  return EXIT_USAGE;
}

}  // namespace

int main(int argc, char** argv) {
  ProgramOptions options;
  const int answered = run_command_line(argc, argv, stdout, stderr, &options);
  if (answered != PROGRAM_RUNS) return answered;

  TraceFile trace;
  std::string trace_refusal;
  if (!options.trace.empty() && !trace.start(options.trace, &trace_refusal)) {
    return refuse(trace_refusal.empty() ? "cannot write the trace file " + options.trace : trace_refusal, options);
  }
  std::vector<ValueView*> views;
  ValueLog value_log;
  if (!options.csv.empty()) {
    // Said once, on standard error and in the window's log as the lost interface is.
    value_log.on_failure([](const std::string& text) {
      std::fprintf(stderr, "velmorant-demo: %s\n", text.c_str());
      log_problem(text);
    });
    if (!value_log.open(options.csv)) return refuse("cannot write the value log " + options.csv, options);
    views.push_back(&value_log);
  }
  const bool log_takes_output = options.csv == "-";
  ReadOutPrinter printer(log_takes_output ? nullptr : stdout);
  if (options.display == Display::Headless) views.push_back(&printer);

  const int code = run_program(options, views);
  if (options.display == Display::Headless && code == 0) std::fprintf(stderr, "%s\n", printer.rate().c_str());
  return code;
}
