// The value log: one CSV row (RFC 4180, UTF-8, comma-separated, points
// whatever the locale) per read-out and per event of the line:
//   time,seconds,port,group,speed_kmh,reply,event
// time is the local wall-clock time "YYYY-MM-DD HH:MM:SS.mmm", seconds the
// time since the log started with three decimals (monotonic), reply the
// bytes in the transcript's escapes. The header row is written only into a
// new or empty file; rows are appended, each written whole and flushed as it
// happens, so that the file holds every row however the program ends.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "value_view.h"

inline constexpr std::string_view VALUE_LOG_HEADER = "time,seconds,port,group,speed_kmh,reply,event";

// The row's times: the local wall-clock time as broken down and its
// milliseconds, and the milliseconds since the log started.
struct RowTime {
  int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0, millisecond = 0;
  long long since_start_ms = 0;
};

// The local time of a wall-clock instant, to the millisecond.
RowTime local_row_time(std::chrono::system_clock::time_point wall);

// One field as RFC 4180 wants it: quoted (with doubled quotes) when it holds
// a comma, a quote, a line break or leading or trailing spaces.
std::string csv_field(std::string_view text);

// The word of the event column; empty for a read-out.
std::string_view event_word(LineEvent event);

// A whole row, line end included (CRLF, as RFC 4180 says).
std::string value_row(const RowTime& time, const ValueRecord& record);

class ValueLog final : public ValueView {
 public:
  // Told once, with what went wrong, when a write fails.
  using FailureReport = std::function<void(const std::string&)>;

  ValueLog() = default;
  ~ValueLog() override;
  ValueLog(const ValueLog&) = delete;
  ValueLog& operator=(const ValueLog&) = delete;

  // Opens path for appending ("-": standard output) and writes the header
  // when the file is new or empty. False when it cannot be opened; a write
  // that fails, the header's too, is reported (once) and the log goes on.
  bool open(const std::string& path);
  void on_failure(FailureReport report) { report_ = std::move(report); }

  // A row timed from the record's clocks, seconds counted from the opening.
  void take(const ValueRecord& record) override;
  // A row with times given by the caller (a transcript's).
  void write_row(const RowTime& time, const ValueRecord& record);
  bool failed() const { return failed_; }

 private:
  void write_text(const std::string& text);

  std::FILE* file_ = nullptr;
  bool owned_ = false;
  bool failed_ = false;
  std::string path_;
  bool to_standard_output_ = false;
  std::chrono::steady_clock::time_point started_{};
  FailureReport report_;
};
