// The program's entry: no arguments, no configuration, exit code 0.
#include "main_window.h"

int main() { return run_program(); }
