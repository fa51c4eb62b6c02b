// The value log's rows: fields, escapes, events, and points in every locale.
#include "value_log.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

TEST(ValueLog, RowsHoldTheirFieldsInRfc4180) {
  RowTime time{2026, 12, 9, 8, 5, 3, 7, 61042};
  const struct {
    ValueRecord record;
    const char* row;
  } cases[] = {
      {{LineEvent::ReadOut, "COM17", "05", 50, "0805 07 64 32"},
       "2026-12-09 08:05:03.007,61.042,COM17,05,50,0805 07 64 32,\r\n"},
      {{LineEvent::ReadOut, "COM17", "07", std::nullopt, "0807 01 02"},
       "2026-12-09 08:05:03.007,61.042,COM17,07,,0807 01 02,\r\n"},
      {{LineEvent::ReadOut, "COM17", "05", -3, "a,b \"c\"\r\n\x01"},
       "2026-12-09 08:05:03.007,61.042,COM17,05,-3,\"a,b \"\"c\"\"\\r\\n\\x01\",\r\n"},
      {{LineEvent::ReadOut, "x y", "05", 0, " 07 00 00 "},
       "2026-12-09 08:05:03.007,61.042,x y,05,0,\" 07 00 00 \",\r\n"},
      {{LineEvent::Connected, "ttyUSB0", "", std::nullopt, "Velmorant VD-1"},
       "2026-12-09 08:05:03.007,61.042,ttyUSB0,,,Velmorant VD-1,connected\r\n"},
      {{LineEvent::Lost, "COM17", "", std::nullopt, ""}, "2026-12-09 08:05:03.007,61.042,COM17,,,,lost\r\n"},
      {{LineEvent::Back, "COM17", "", std::nullopt, "V"}, "2026-12-09 08:05:03.007,61.042,COM17,,,V,back\r\n"},
      {{LineEvent::Closed, "COM17", "", std::nullopt, ""}, "2026-12-09 08:05:03.007,61.042,COM17,,,,closed\r\n"},
      {{LineEvent::Stopped, "COM17", "", std::nullopt, ""}, "2026-12-09 08:05:03.007,61.042,COM17,,,,stopped\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(value_row(time, c.record), c.row);
  time.since_start_ms = 5;
  EXPECT_TRUE(value_row(time, cases[0].record).starts_with("2026-12-09 08:05:03.007,0.005,"));
}

std::string file_text(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// A German locale writes decimal commas with printf's %f; the log never does.
// The header goes only into a new or empty file.
TEST(ValueLog, AppendsWithOneHeaderAndPointsInAGermanLocale) {
  const char* german = std::setlocale(LC_ALL, "de_DE.UTF-8");
  if (german == nullptr) german = std::setlocale(LC_ALL, "German_Germany.1252");  // the Windows C runtime's name
  ASSERT_NE(german, nullptr) << "scripts/setup.sh adds the de_DE.UTF-8 locale";
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 1.5);
  ASSERT_STREQ(probe, "1,5");
  const std::string path = testing::TempDir() + "value_log_test.csv";
  std::remove(path.c_str());
  for (int run = 0; run < 2; ++run) {
    ValueLog log;
    ASSERT_TRUE(log.open(path));
    log.take({LineEvent::ReadOut, "COM17", "05", 1234, "07 64 32"});
    EXPECT_FALSE(log.failed());
  }
  std::setlocale(LC_ALL, "C");
  const std::string text = file_text(path);
  std::remove(path.c_str());
  EXPECT_TRUE(text.starts_with(std::string(VALUE_LOG_HEADER) + "\r\n")) << text;
  EXPECT_EQ(text.find("time,", 1), std::string::npos) << text;
  std::istringstream rows(text.substr(VALUE_LOG_HEADER.size() + 2));
  int count = 0;
  for (std::string row; std::getline(rows, row); ++count) {
    // "YYYY-MM-DD HH:MM:SS.mmm,S.mmm,COM17,05,1234,07 64 32,\r"
    ASSERT_GE(row.size(), 24u) << row;
    EXPECT_EQ(row[4], '-');
    EXPECT_EQ(row[19], '.');
    const std::size_t seconds_end = row.find(',', 24);
    ASSERT_NE(seconds_end, std::string::npos) << row;
    EXPECT_EQ(row[seconds_end - 4], '.') << row;
    EXPECT_EQ(row.substr(seconds_end), ",COM17,05,1234,07 64 32,\r") << row;
  }
  EXPECT_EQ(count, 2);
}

#ifndef _WIN32  // Windows has no device that takes nothing
// A file that takes nothing: said once, and the log goes on without it.
TEST(ValueLog, AFailedWriteIsSaidOnce) {
  ValueLog log;
  int told = 0;
  std::string said;
  log.on_failure([&](const std::string& text) {
    ++told;
    said = text;
  });
  ASSERT_TRUE(log.open("/dev/full"));
  for (int i = 0; i < 3; ++i) log.take({LineEvent::ReadOut, "COM17", "05", 1, "r"});
  EXPECT_TRUE(log.failed());
  EXPECT_EQ(told, 1);
  EXPECT_EQ(said, "The value log /dev/full cannot be written: later values are not logged.");
}
#endif

}  // namespace
