// The program's command line: what it prints, where, and its exit codes.
#include "command_line.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Answer {
  int code;
  std::string out, err;
};

std::string contents(std::FILE* file) {
  std::string text;
  std::rewind(file);
  for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
  std::fclose(file);
  return text;
}

Answer run(std::vector<const char*> arguments) {
  arguments.insert(arguments.begin(), "velmorant-demo");
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  const int code = run_command_line(static_cast<int>(arguments.size()), arguments.data(), out, err);
  return {code, contents(out), contents(err)};
}

TEST(CommandLine, OptionsAnswerWithTheirExitCodes) {
  const struct {
    std::vector<const char*> arguments;
    int code;
    const char* out_starts;
    const char* err_starts;
  } cases[] = {
      {{"--help"}, 0, "Usage: velmorant-demo [", ""},
      {{"--version"}, 0, "velmorant-demo 1.", ""},
      {{"--list-ports"}, 0, "", ""},
      {{"--bogus"}, EXIT_USAGE, "", "velmorant-demo: unknown option or wrong arguments: --bogus\nUsage:"},
      {{"--help", "x"}, EXIT_USAGE, "", "velmorant-demo: unknown option"},
      {{"--link-port", "COM5"}, EXIT_USAGE, "", "velmorant-demo: unknown option"},
      {{"--link-port", "LPT1", "/dev/ttyUSB0"}, EXIT_USAGE, "", "velmorant-demo: LPT1 is not a COM name"},
      {{"--link-port", "COM0", "/dev/ttyUSB0"}, EXIT_USAGE, "", "velmorant-demo: COM0 is not a COM name"},
      {{"--link-port", "COM1x", "/dev/ttyUSB0"}, EXIT_USAGE, "", "velmorant-demo: COM1x is not a COM name"},
  };
  for (const auto& c : cases) {
    const Answer answer = run(c.arguments);
    EXPECT_EQ(answer.code, c.code) << c.arguments[0];
    EXPECT_TRUE(answer.out.starts_with(c.out_starts)) << answer.out;
    EXPECT_TRUE(answer.err.starts_with(c.err_starts)) << answer.err;
    EXPECT_EQ(answer.out.empty(), c.code != 0) << "output, or an error, never both";
  }
}

TEST(CommandLine, ComNamesAreCom1ToCom9999InAnyCase) {
  for (const char* name : {"COM1", "com9999", "cOm42"}) EXPECT_TRUE(is_com_name(name)) << name;
  for (const char* name : {"COM", "COM0", "COM01", "COM10000", "COX1", "CXM1", "XOM1", "COMx1", "COM1x", "CO M1"})
    EXPECT_FALSE(is_com_name(name)) << name;
}

// The system's own ports (here the machine's, under Wine the COM ports Wine
// maps): one line each, the name, the device, what it is, and whether it
// can be opened now in the error box's words.
TEST(CommandLine, ListPortsGivesEachPortsNameDeviceAndState) {
  const Answer answer = run({"--list-ports"});
  ASSERT_EQ(answer.code, 0);
  const std::regex line_form(
      "(\\S{1,7} *|\\S{8,}) \\S+(; USB [0-9a-f]{4}:[0-9a-f]{4}[^;]*)?(; also \\S+)?"
      "; (can be opened now|cannot be opened now: .*[.])");
  std::istringstream lines(answer.out);
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    if (line == "No serial port was found.") continue;
    EXPECT_TRUE(std::regex_match(line, line_form)) << line;
  }
  EXPECT_GE(count, 1);
}

}  // namespace
