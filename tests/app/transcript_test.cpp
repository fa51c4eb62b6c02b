// The transcript format: escapes both ways, lines, and every way a file can
// be malformed, each refused with its line.
#include "transcript.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

TEST(Transcript, EscapesAreTheSimulatorLogs) {
  const struct {
    std::string bytes, text;
  } cases[] = {
      {"ati\r", "ati\\r"},
      {"a\nb", "a\\nb"},
      {"\\", "\\\\"},
      {std::string(1, '\0'), "\\x00"},
      {"\x7f\xff\x1b", "\\x7f\\xff\\x1b"},
      {" 01 0A>", " 01 0A>"},
      {"\t", "\\x09"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(escape_bytes(c.bytes), c.text);
    EXPECT_EQ(unescape_bytes(c.text), c.bytes) << c.text;
  }
  std::string every;
  for (int i = 0; i < 256; ++i) every += static_cast<char>(i);
  EXPECT_EQ(unescape_bytes(escape_bytes(every)), every);
  EXPECT_EQ(unescape_bytes("\\x4A\\x4b\\t"), "JK\t");
}

TEST(Transcript, BadEscapesAndRawBytesAreNamed) {
  const struct {
    std::string text, problem;
  } cases[] = {
      {"a\\q", "bad escape \"\\q\""},    {"\\x4", "bad escape \"\\x4\""}, {"\\xg0", "bad escape \"\\xg0\""},
      {"\\x0g", "bad escape \"\\x0g\""}, {"ab\\", "bad escape \"\\\""},   {"a\tb", "a byte that is not text (\\x09)"},
  };
  for (const auto& c : cases) {
    std::string problem;
    EXPECT_EQ(unescape_bytes(c.text, &problem), std::nullopt) << c.text;
    EXPECT_EQ(problem, c.problem);
  }
}

TEST(Transcript, LinesCarryMicroseconds) {
  EXPECT_EQ(transcript_line({1234567, Direction::Sent, "ati\r"}), "1.234567 > ati\\r");
  EXPECT_EQ(transcript_line({5, Direction::Received, "\r>"}), "0.000005 < \\r>");
  EXPECT_EQ(transcript_line({12000000, Direction::Received, "x"}), "12.000000 < x");
}

TranscriptResult read(const std::string& text) {
  std::istringstream input(text);
  return read_transcript(input, "t.txt");
}

TEST(Transcript, ReadsPiecesAndNotes) {
  const TranscriptResult result = read(
      "# start velmorant-demo trace\n0.5 > ati\\r\r\n\n0.75 < Velm\\x00\n1.012345678 < x\n"
      "#hang-up\n# start again\n0.000001 > 08\n2 < y\n#closed\n");
  ASSERT_EQ(result.error, "");
  ASSERT_EQ(result.lines.size(), 9u);
  const TranscriptLine& first = result.lines[1];
  EXPECT_EQ(first.note, TranscriptNote::None);
  EXPECT_EQ(first.piece.microseconds, 500000);
  EXPECT_EQ(first.piece.direction, Direction::Sent);
  EXPECT_EQ(first.piece.bytes, "ati\r");
  EXPECT_EQ(result.lines[2].piece.direction, Direction::Received);
  EXPECT_EQ(result.lines[2].piece.bytes, std::string("Velm\0", 5));
  EXPECT_EQ(result.lines[3].piece.microseconds, 1012345);
  EXPECT_EQ(result.lines[7].piece.microseconds, 2000000);
  const TranscriptNote notes[] = {TranscriptNote::Start, TranscriptNote::HangUp, TranscriptNote::Start,
                                  TranscriptNote::Other};
  EXPECT_EQ(result.lines[0].note, notes[0]);
  EXPECT_EQ(result.lines[4].note, notes[1]);
  EXPECT_EQ(result.lines[5].note, notes[2]);
  EXPECT_EQ(result.lines[5].piece.bytes, "start again");
  EXPECT_EQ(result.lines[8].note, notes[3]);
  EXPECT_EQ(result.lines[8].piece.bytes, "closed");
}

TEST(Transcript, MalformedFilesAreRefusedAtTheirLine) {
  const std::string long_line = "0.1 > " + std::string(10 * 1024 * 1024, 'a') + "\n";
  const struct {
    std::string text, error;
  } cases[] = {
      {"0.1 > a\\q\n", "t.txt:1: bad escape \"\\q\""},
      {"0.1 > ok\n# note\n0.2 = x\n", "t.txt:3: unknown direction \"=\" (\">\" sent, \"<\" received)"},
      {"0.1 > ok\n0.2\n", "t.txt:2: unknown direction \"\" (\">\" sent, \"<\" received)"},
      {"0.2 > a\n0.1 < b\n", "t.txt:2: the time goes back"},
      {"0.2 > a\n#start\n0.1 < b\n0.05 < c\n", "t.txt:4: the time goes back"},
      {"x > a\n", "t.txt:1: not a time in seconds: \"x\""},
      {"1.2.3 > a\n", "t.txt:1: not a time in seconds: \"1.2.3\""},
      {"1. > a\n", "t.txt:1: not a time in seconds: \"1.\""},
      {"1.0123456789 > a\n", "t.txt:1: not a time in seconds: \"1.0123456789\""},
      {"1234567890123 > a\n", "t.txt:1: not a time in seconds: \"1234567890123\""},
      {"-1 > a\n", "t.txt:1: not a time in seconds: \"-1\""},
      {"0.1 >a\n", "t.txt:1: no bytes after the direction"},
      {"0.1 > \n", "t.txt:1: no bytes after the direction"},
      {"# a\n\n" + long_line, "t.txt:3: a line longer than 65536 characters"},
      {std::string("\x7f"
                   "ELF\x02\x01\0\0",
                   8),
       "t.txt:1: byte \\x7f in column 1: not a text file"},
      {"0.1 > a\n0.2 < \xc3\xa9\n", "t.txt:2: byte \\xc3 in column 7: not a text file"},
  };
  for (const auto& c : cases) {
    const TranscriptResult result = read(c.text);
    EXPECT_EQ(result.error, c.error) << c.text.substr(0, 40);
  }
  EXPECT_EQ(read(std::string(65536 - 6, 'b').insert(0, "0.1 > ") + "\n").error, "");
}

std::string file_text(const char* path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

TEST(Transcript, WriterAppendsLinesThatReadBack) {
  const char* path = "transcript_test.txt";
  std::remove(path);
  for (int run = 0; run < 2; ++run) {
    TranscriptWriter writer;
    ASSERT_TRUE(writer.open(path, "test"));
    writer.piece(Direction::Sent, "ati\r");
    writer.note("opened");
    writer.piece(Direction::Received, std::string("V\0>", 3));
  }
  const std::string text = file_text(path);
  EXPECT_EQ(text.rfind("# start test, ", 0), 0u) << text;
  std::istringstream input(text);
  const TranscriptResult result = read_transcript(input, path);
  ASSERT_EQ(result.error, "");
  ASSERT_EQ(result.lines.size(), 8u);
  EXPECT_EQ(result.lines[5].piece.bytes, "ati\r");
  EXPECT_EQ(result.lines[6].piece.bytes, "opened");
  EXPECT_EQ(result.lines[7].piece.bytes, std::string("V\0>", 3));
  EXPECT_LE(result.lines[5].piece.microseconds, result.lines[7].piece.microseconds);
  EXPECT_LT(result.lines[7].piece.microseconds, 10000000);  // counted from the opening, not the epoch
  std::remove(path);

  TranscriptWriter refused;
  EXPECT_FALSE(refused.open(".", "a folder"));
  EXPECT_FALSE(refused.is_open());
#ifndef _WIN32
  EXPECT_FALSE(refused.open("/dev/full", "a file that takes nothing"));
#endif
}

}  // namespace
