// The views the program feeds with values (see value_view.h): the window's
// result field, and the printer of a headless run.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "value_view.h"

// The speed read-out in the window: each reply's speed as "50 km/h"; emptied
// at once when the interface is lost. A reply without a speed field leaves
// it as it is.
class ResultField final : public ValueView {
 public:
  void take(const ValueRecord& record) override;
};

// A headless run's output: each new read-out as a line ("50 km/h") and the
// line's events in the words of the window's log, and at the end the rate.
class ReadOutPrinter final : public ValueView {
 public:
  // Read-outs go to out unless it is null (the value log has standard output).
  explicit ReadOutPrinter(std::FILE* out) : out_(out) {}
  void take(const ValueRecord& record) override;
  // "N read-outs in T s: R per second (this line allows about L per second)".
  std::string rate() const;

 private:
  void print(const std::string& line);

  std::FILE* out_;
  std::string shown_;
  long long read_outs_ = 0;
  long long line_bytes_ = 0;  // requests and replies of the read-outs, prompts included
  std::optional<std::chrono::steady_clock::time_point> first_, last_;
};

// The line's bytes per second at 19200 baud, 8N1: ten bits a byte.
inline constexpr long long LINE_BYTES_PER_SECOND = 1920;
