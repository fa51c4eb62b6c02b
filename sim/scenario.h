// How the simulated interface answers. A scenario turns each request (the
// bytes up to and including its carriage return) into an answer; the
// protocol itself lives in Interface, and each scenario changes one thing.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct Answer {
  std::string bytes;
  std::chrono::microseconds delay{0};     // pause before the first byte
  std::chrono::milliseconds byte_gap{0};  // extra pause after every byte
  bool hang_up_after = false;             // close the line once this is sent
  // A device that floods the line: once the bytes are out, `flood` again and
  // again for flood_for (for ever by default), then after_flood.
  std::string flood{};
  std::chrono::milliseconds flood_for = std::chrono::milliseconds::max();
  std::string after_flood{};
  // Bytes that follow each at once this long after the request, as a replay
  // at the recorded timing sends them.
  std::vector<std::pair<std::chrono::microseconds, std::string>> later{};
};

struct ScenarioOptions {
  int speed = 50;           // km/h of the fixed scenario
  int cycles = 5;           // measuring replies before the hang-up or stall scenario stops
  int gap_ms = 30;          // pause between bytes of the trickle scenario
  int connect_tenths = 25;  // wait before the slow-connect scenario's connect answer
  int flood_seconds = 5;    // of the flood scenario's identification
  std::uint32_t seed = 1;   // of the garbage scenario
  // The values "aa bb" of the fields scenario's speed fields, in the order served.
  std::vector<std::string> fields = {"64 32"};
};

// The interface's protocol: "ati\r" identifies, "atd01\r" connects to control
// unit 01, "08" + group + "\r" asks for a measuring block. Every answer ends
// with the prompt "\r>".
class Interface {
 public:
  virtual ~Interface() = default;
  // The answer to one request, or nothing to stay silent.
  virtual std::optional<Answer> answer(std::string_view request);

 protected:
  static constexpr std::string_view prompt = "\r>";
  // An answer of text followed by the prompt.
  static Answer with_prompt(std::string text);

  virtual std::string identification();
  virtual std::string connect_answer();
  // The value triples of a group's measuring block, without the prompt.
  virtual std::string measuring_block(std::string_view group);
  // Everything the answer to a measuring request holds.
  virtual Answer measuring_answer(std::string_view group);

  // Value triples with the speed field "07 aa bb" for speed km/h (a = 100).
  static std::string speed_triple(int speed);

  int measuring_requests() const { return measuring_requests_; }

 private:
  int measuring_requests_ = 0;
};

struct ScenarioInfo {
  std::string_view name;
  std::string_view summary;
  std::unique_ptr<Interface> (*make)(const ScenarioOptions& options);
};

std::span<const ScenarioInfo> scenarios();
const ScenarioInfo* find_scenario(std::string_view name);
