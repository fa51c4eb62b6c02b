// velmorant-sim --replay FILE: the interface of a transcript. Each request is
// answered with the reply that the transcript holds for the same request, the
// replies to one request in their recorded order (so a recorded speed ramp
// plays back as it was, and again from its start once it has run out).
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "scenario.h"

enum class ReplayTiming {
  LineRate,  // each reply whole, at the line's baud rate as any scenario
  Recorded,  // each piece of a reply as long after the request as recorded
};

class Replay : public Interface {
 public:
  // Reads the transcript at path; throws std::runtime_error saying the file
  // and line when it cannot be read or is malformed.
  static std::unique_ptr<Replay> load(const std::string& path, ReplayTiming timing);
  // Throws as load does when path cannot be read or is not a regular file,
  // without waiting: a FIFO is refused, never opened for good.
  static void check_file(const std::string& path);

  std::optional<Answer> answer(std::string_view request) override;

 private:
  struct Reply {
    std::vector<std::pair<std::chrono::microseconds, std::string>> pieces;  // after the request
    bool hang_up = false;
  };
  struct Replies {
    std::vector<Reply> replies;
    std::size_t next = 0;
  };

  explicit Replay(ReplayTiming timing) : timing_(timing) {}

  ReplayTiming timing_;
  std::map<std::string, Replies> recorded_;
};
