// A transcript on a full disk (a small tmpfs of its own, in_small_tmpfs.sh):
// the first line lost is told once, every line is whole or absent, and once
// writing works again the count of lost lines comes first.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "transcript.h"

namespace {

std::string file_text(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(TranscriptOnAFullDisk, LostLinesAreToldOnceCountedAndNeverCutOrGlued) {
  const char* folder = std::getenv("VELMORANT_SMALL_FOLDER");
  ASSERT_NE(folder, nullptr) << "run me through in_small_tmpfs.sh";
  const std::string path = std::string(folder) + "/trace.txt", filler = std::string(folder) + "/filler";
  TranscriptWriter writer;
  std::vector<std::string> told;
  writer.on_failure([&](const std::string& problem) { told.push_back(problem); });
  ASSERT_TRUE(writer.open(path, "full disk"));
  writer.piece(Direction::Sent, "ati\r");
  {
    std::ofstream fill(filler, std::ios::binary);
    const std::string block(512, 'f');
    while (fill.write(block.data(), block.size()) && fill.flush()) {
    }
  }
  // The file's last page still has room: fill it too, line by line.
  int pads = 0;
  while (writer.lost() == 0 && pads < 100000) {
    writer.note("pad");
    ++pads;
  }
  ASSERT_EQ(writer.lost(), 1u);
  for (int i = 0; i < 3; ++i) writer.piece(Direction::Sent, "0805\r");
  EXPECT_EQ(told, std::vector<std::string>{"No space left on device"});
  EXPECT_EQ(writer.lost(), 4u);
  const std::string before = file_text(path);
  ASSERT_FALSE(before.empty());
  EXPECT_EQ(before.back(), '\n') << "a line was cut";

  ASSERT_EQ(std::remove(filler.c_str()), 0);
  writer.piece(Direction::Sent, "0805\r");
  writer.note("end");
  EXPECT_EQ(writer.lost(), 0u);
  EXPECT_EQ(told.size(), 1u);
  const std::string after = file_text(path);
  std::istringstream input(after);
  const TranscriptResult result = read_transcript(input, path);
  ASSERT_EQ(result.error, "");
  const std::size_t lost_at = 2 + static_cast<std::size_t>(pads - 1);
  ASSERT_EQ(result.lines.size(), lost_at + 3) << after;
  EXPECT_EQ(result.lines[1].piece.bytes, "ati\r");
  EXPECT_EQ(result.lines[lost_at - 1].piece.bytes, "pad");
  EXPECT_EQ(result.lines[lost_at].note, TranscriptNote::Lost);
  EXPECT_EQ(result.lines[lost_at].piece.bytes, "lost 4 lines");
  EXPECT_EQ(result.lines[lost_at + 1].piece.bytes, "0805\r");
  EXPECT_EQ(result.lines[lost_at + 2].piece.bytes, "end");
  writer.close();
  EXPECT_EQ(std::remove(path.c_str()), 0);
}

}  // namespace
