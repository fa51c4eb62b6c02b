#include "options.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <vector>

#include "velmorant_version.h"

namespace {

void print_help() {
  std::cout << "Usage: velmorant-sim [options]\n"
               "\n"
               "Simulates the Velmorant diagnostic interface on a pseudo-terminal, so that\n"
               "the program can be tried without a car. It prints the port name to type\n"
               "into the program's port field (e.g. pts/4) and answers \"ati\", \"atd01\" and\n"
               "\"08\" + group requests until stopped with Ctrl+C (SIGINT) or SIGTERM.\n"
               "\n"
               "Options (each with a value also as --option=VALUE):\n"
               "  --scenario NAME  how the interface answers (see below); default ramp\n"
               "  --link COMn      also make the port reachable as COMn (a link in\n"
               "                   $VELMORANT_DOSDEVICES, else ~/.velmorant/dosdevices;\n"
               "                   removed again when the simulator stops; refused\n"
               "                   while another simulator serves COMn)\n"
               "  --log FILE       append every request to FILE, one line each:\n"
               "                   monotonic seconds, then the request with C escapes;\n"
               "                   \"# opened\" and \"# closed\" when the program opens\n"
               "                   and closes the port (also told on stdout)\n"
               "  --fast           answer at once instead of at the line's baud rate\n"
               "  --replay FILE    answer as the transcript FILE recorded instead of a\n"
               "                   scenario (man velmorant-sim tells the format)\n"
               "  --replay-timing linerate|recorded\n"
               "                   send each reply at the line's baud rate (default), or\n"
               "                   each piece as long after the request as recorded\n"
               "  --tap DEVICE     pass every byte to and from the interface on DEVICE\n"
               "                   (e.g. /dev/ttyUSB0) instead of answering; needs --record\n"
               "  --record FILE    append the transcript of what --tap passed to FILE\n"
               "  --replug-after SECONDS\n"
               "                   after hanging up (see hang-up), come back after SECONDS\n"
               "                   (0 to 60, e.g. 0.5) on a new terminal under the same\n"
               "                   link, as a device that is unplugged and plugged in\n"
               "                   again; \"# hung up\" and \"# back\" go to the log\n"
               "  --speed KMH      speed of the fixed scenario (0..255); default 50\n"
               "  --cycles N       measuring replies before hang-up hangs up; default 5\n"
               "  --gap MS         pause between bytes of the trickle scenario; default 30\n"
               "  --connect-wait TENTHS\n"
               "                   tenths of a second before the slow-connect scenario\n"
               "                   answers \"atd01\"; default 25\n"
               "  --flood-seconds N\n"
               "                   how long the flood scenario floods instead of\n"
               "                   identifying; default 5\n"
               "  --seed N         seed of the garbage scenario; default 1\n"
               "  --fields LIST    speed field values of the fields scenario, comma\n"
               "                   separated, e.g. \"64 32,01 96,FF FF\"; default 64 32\n"
               "  --version        the simulator's version\n"
               "  --help           this text\n"
               "\n"
               "Scenarios:\n";
  for (const ScenarioInfo& info : scenarios()) {
    std::string name(info.name);
    name.resize(14, ' ');
    std::cout << "  " << name << info.summary << "\n";
  }
}

int number_argument(const std::string& option, const char* value, int low, int high) {
  char* end = nullptr;
  errno = 0;
  const long number = std::strtol(value, &end, 10);
  if (errno != 0 || end == value || *end != '\0' || number < low || number > high) {
    throw std::invalid_argument(option + " wants a number from " + std::to_string(low) + " to " + std::to_string(high));
  }
  return static_cast<int>(number);
}

std::chrono::milliseconds seconds_argument(const std::string& option, const char* value) {
  char* end = nullptr;
  errno = 0;
  const double seconds = std::strtod(value, &end);
  if (errno != 0 || end == value || *end != '\0' || !(seconds >= 0 && seconds <= 60)) {
    throw std::invalid_argument(option + " wants seconds from 0 to 60");
  }
  return std::chrono::milliseconds(std::lround(seconds * 1000));
}

// "64 32,01 96": each item two hexadecimal pairs as they stand in a reply.
std::vector<std::string> field_list(const std::string& text) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(',', start);
    const std::string field = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    const bool well_formed =
        field.size() == 5 && field[2] == ' ' && std::isxdigit(static_cast<unsigned char>(field[0])) &&
        std::isxdigit(static_cast<unsigned char>(field[1])) && std::isxdigit(static_cast<unsigned char>(field[3])) &&
        std::isxdigit(static_cast<unsigned char>(field[4]));
    if (!well_formed) throw std::invalid_argument("--fields wants items like \"64 32\", not \"" + field + "\"");
    fields.push_back(field);
    if (end == std::string::npos) return fields;
    start = end + 1;
  }
}

ReplayTiming replay_timing(const std::string& value) {
  if (value == "linerate") return ReplayTiming::LineRate;
  if (value == "recorded") return ReplayTiming::Recorded;
  throw std::invalid_argument("--replay-timing wants linerate or recorded, not \"" + value + "\"");
}

Options parse_options(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      print_help();
      std::exit(0);
    }
    if (option == "--version") {
      std::cout << "velmorant-sim " VELMORANT_VERSION "\n";
      std::exit(0);
    }
    if (option == "--fast") {
      options.fast = true;
      continue;
    }
    if (i + 1 >= argc) throw std::invalid_argument("unknown option or missing value: " + option);
    const char* value = argv[++i];
    if (option == "--scenario")
      options.scenario = value;
    else if (option == "--link")
      options.link = value;
    else if (option == "--log")
      options.log = value;
    else if (option == "--replay")
      options.replay = value;
    else if (option == "--replay-timing")
      options.replay_timing = replay_timing(value);
    else if (option == "--tap")
      options.tap = value;
    else if (option == "--record")
      options.record = value;
    else if (option == "--speed")
      options.scenario_options.speed = number_argument(option, value, 0, 255);
    else if (option == "--cycles")
      options.scenario_options.cycles = number_argument(option, value, 1, 1000000);
    else if (option == "--gap")
      options.scenario_options.gap_ms = number_argument(option, value, 0, 60000);
    else if (option == "--connect-wait") {
      options.scenario_options.connect_tenths = number_argument(option, value, 0, 6000);
    } else if (option == "--flood-seconds") {
      options.scenario_options.flood_seconds = number_argument(option, value, 0, 86400);
    } else if (option == "--replug-after") {
      options.replug_after = seconds_argument(option, value);
    } else if (option == "--fields")
      options.scenario_options.fields = field_list(value);
    else if (option == "--seed") {
      options.scenario_options.seed = static_cast<std::uint32_t>(number_argument(option, value, 0, 0x7fffffff));
    } else {
      throw std::invalid_argument("unknown option: " + option);
    }
  }
  if (find_scenario(options.scenario) == nullptr) {
    std::string names;
    for (const ScenarioInfo& info : scenarios()) names += (names.empty() ? "" : ", ") + std::string(info.name);
    throw std::invalid_argument("unknown scenario: " + options.scenario + "; the scenarios are " + names);
  }
  if (options.tap.empty() != options.record.empty()) throw std::invalid_argument("--tap and --record go together");
  if (!options.tap.empty() && !options.replay.empty()) throw std::invalid_argument("--tap or --replay, not both");
  if (options.replay_timing && options.replay.empty()) throw std::invalid_argument("--replay-timing needs --replay");
  return options;
}

// "--speed=50" is taken as "--speed 50", so every option has both forms.
std::vector<std::string> split_assignments(int argc, char** argv) {
  std::vector<std::string> words;
  for (int i = 0; i < argc; ++i) {
    const std::string word = argv[i];
    const std::size_t equals = word.find('=');
    if (!word.starts_with("--") || equals == std::string::npos) {
      words.push_back(word);
    } else {
      words.push_back(word.substr(0, equals));
      words.push_back(word.substr(equals + 1));
    }
  }
  return words;
}

}  // namespace

Options read_options(int argc, char** argv) {
  std::vector<std::string> words = split_assignments(argc, argv);
  std::vector<char*> arguments;
  for (std::string& word : words) arguments.push_back(word.data());
  return parse_options(static_cast<int>(arguments.size()), arguments.data());
}
