// The program's command line: what it prints, where, and its exit codes.
#include "command_line.h"
#include "open_failure.h"

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
      {{"--help", "--headless"}, EXIT_USAGE, "", "velmorant-demo: unknown option or wrong arguments: --help\nUsage:"},
      {{"--trace"}, EXIT_USAGE, "", "velmorant-demo: --trace wants a file name\n"},
      {{"--trace", "a", "b"}, EXIT_USAGE, "", "velmorant-demo: unexpected argument b\n"},
      {{"--csv"}, EXIT_USAGE, "", "velmorant-demo: --csv wants a file name, or - for standard output\n"},
      {{"--csv="}, EXIT_USAGE, "", "velmorant-demo: --csv wants a file name, or - for standard output\n"},
      {{"--port", "COM1", "--port", "COM2"}, EXIT_USAGE, "", "velmorant-demo: --port is given more than once\n"},
      {{"--interval"},
       EXIT_USAGE,
       "",
       "velmorant-demo: --interval wants a whole number of milliseconds from 0 to 60000\n"},
      {{"--interval", "60001"},
       EXIT_USAGE,
       "",
       "velmorant-demo: --interval wants a whole number of milliseconds from 0 to 60000, not 60001\n"},
      {{"--interval=-1"},
       EXIT_USAGE,
       "",
       "velmorant-demo: --interval wants a whole number of milliseconds from 0 to 60000, not -1\n"},
      {{"--interval", "1.5"},
       EXIT_USAGE,
       "",
       "velmorant-demo: --interval wants a whole number of milliseconds from 0 to 60000, not 1.5\n"},
      {{"--duration", "0"},
       EXIT_USAGE,
       "",
       "velmorant-demo: --duration wants a whole number of seconds from 1 to 2147483, not 0\n"},
      {{"--duration=2147484"},
       EXIT_USAGE,
       "",
       "velmorant-demo: --duration wants a whole number of seconds from 1 to 2147483, not 2147484\n"},
      {{"--group", "5"}, EXIT_USAGE, "", "velmorant-demo: --group wants two hexadecimal digits, such as 05, not 5\n"},
      {{"--group=0G"}, EXIT_USAGE, "", "velmorant-demo: --group wants two hexadecimal digits, such as 05, not 0G\n"},
      {{"--port="}, EXIT_USAGE, "", "velmorant-demo: --port wants a port name\n"},
      {{"--port", "ttyUSB10"},
       EXIT_USAGE,
       "",
       "velmorant-demo: --port ttyUSB10: ttyUSB10 is too long for the port field (7 characters at most)."},
      // In each system's words: Windows has no /dev.
      {{"--port", "/dev/x1"},
       EXIT_USAGE,
       "",
       THIS_SYSTEM == PortTexts::Windows ? "velmorant-demo: --port /dev/x1: /dev/x1 is not a port name."
                                         : "velmorant-demo: --port /dev/x1: Type the name without /dev/: x1."},
      {{"--port", "a/../b"}, EXIT_USAGE, "", "velmorant-demo: --port a/../b: a/../b is not a port name."},
      {{"--headless"}, EXIT_USAGE, "", "velmorant-demo: --headless wants --port NAME: the port of the interface\n"},
      {{"--from-trace", "t.txt"},
       EXIT_USAGE,
       "",
       "velmorant-demo: --from-trace wants --csv FILE (or --csv - for standard output)\n"},
      {{"--from-trace", "t.txt", "--csv", "-", "--headless"},
       EXIT_USAGE,
       "",
       "velmorant-demo: --from-trace takes only --csv FILE beside it, not --headless\n"},
      {{"--from-trace", "no/such/trace.txt", "--csv", "-"},
       1,
       "",
       "velmorant-demo: cannot read the transcript no/such/trace.txt\n"},
  };
  for (const auto& c : cases) {
    const Answer answer = run(c.arguments);
    EXPECT_EQ(answer.code, c.code) << c.arguments[0];
    EXPECT_TRUE(answer.out.starts_with(c.out_starts)) << answer.out;
    EXPECT_TRUE(answer.err.starts_with(c.err_starts)) << answer.err;
    EXPECT_EQ(answer.out.empty(), c.code != 0) << "output, or an error, never both";
  }
}

// What is not a stand-alone option runs the program, with the values given
// either as --option value or --option=value.
TEST(CommandLine, TheProgramsOptionsReachIt) {
  const char* arguments[] = {"velmorant-demo", "--port", "ttyUSB0", "--group=0a", "--interval=0",
                             "--duration",     "5",      "--csv",   "-",          "--headless",
                             "--trace=t.txt"};
  ProgramOptions options;
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  ASSERT_EQ(run_command_line(static_cast<int>(std::size(arguments)), arguments, out, err, &options), PROGRAM_RUNS)
      << contents(err);
  EXPECT_EQ(contents(out), "");
  EXPECT_EQ(options.port, "ttyUSB0");
  EXPECT_EQ(options.group, "0a");
  EXPECT_EQ(options.interval_ms, 0);
  EXPECT_EQ(options.duration_seconds, 5);
  EXPECT_EQ(options.csv, "-");
  EXPECT_EQ(options.trace, "t.txt");
  EXPECT_EQ(options.display, Display::Headless);
  EXPECT_EQ(options.connect, ConnectAtStart::Yes);

  const char* none[] = {"velmorant-demo"};
  ProgramOptions plain;
  ASSERT_EQ(run_command_line(1, none, stdout, stderr, &plain), PROGRAM_RUNS);
  EXPECT_EQ(plain.interval_ms, POLL_INTERVAL_MS);
  EXPECT_EQ(plain.display, Display::Window);
  EXPECT_EQ(plain.connect, ConnectAtStart::No);
  EXPECT_FALSE(plain.port || plain.group || plain.duration_seconds);
  EXPECT_TRUE(plain.csv.empty() && plain.trace.empty());
}

#ifdef _WIN32
// A COM number is the driver's on Windows: --link-port links nothing there and
// says where the number is changed instead of claiming success.
TEST(CommandLine, LinkPortOnWindowsSendsTheUserToDeviceManager) {
  const Answer answer = run({"--link-port", "COM7", "\\\\.\\COM5"});
  EXPECT_EQ(answer.code, EXIT_USAGE);
  EXPECT_EQ(answer.out, "");
  EXPECT_EQ(answer.err, LINK_PORT_ON_WINDOWS);
  EXPECT_NE(answer.err.find("Device Manager"), std::string::npos);
}
#endif

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
