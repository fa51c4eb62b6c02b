// The program's entry: without arguments the window; with them, the command
// line's answer.
#include <cstdio>

#include "command_line.h"
#include "main_window.h"

int main(int argc, char** argv) {
  if (argc > 1) return run_command_line(argc, argv, stdout, stderr);
  return run_program();
}
