// velmorant-sim's options: what the command line asks for, read and checked
// before anything is served. --help and --version print and end here.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "replay.h"
#include "scenario.h"

struct Options {
  std::string scenario = "ramp";
  ScenarioOptions scenario_options;
  std::string link;
  std::string log;
  bool fast = false;
  std::string replay;
  std::optional<ReplayTiming> replay_timing;
  std::string tap;
  std::string record;
  // After a hang-up the interface is away this long and then comes back
  // on a new terminal under the same link; without it the simulator ends.
  std::optional<std::chrono::milliseconds> replug_after;
};

// The options of the command line (argv[0] is the program). Throws
// std::invalid_argument for a command line not understood.
Options read_options(int argc, char** argv);
