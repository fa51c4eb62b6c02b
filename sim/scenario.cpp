// The scenarios. To add one: derive from Interface, override the one answer
// that differs, and add a line to the table at the end.
#include "scenario.h"

#include <algorithm>
#include <cstdio>
#include <random>

namespace {

std::string hex_byte(int value) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", value & 0xff);
  return text;
}

std::string_view trim_request(std::string_view request) {
  if (!request.empty() && request.back() == '\r') request.remove_suffix(1);
  return request;
}

// A speed that climbs from 0 to 200 km/h in steps of 5 and back down.
class Ramp : public Interface {
 protected:
  std::string measuring_block(std::string_view) override {
    const int step = measuring_requests() % 80;
    const int speed = 5 * (step <= 40 ? step : 80 - step);
    return "01 0A 64 " + speed_triple(speed) + " 03 20 14";
  }
};

class Fixed : public Interface {
 public:
  explicit Fixed(int speed) : speed_(speed) {}

 protected:
  std::string measuring_block(std::string_view) override { return "01 0A 64 " + speed_triple(speed_) + " 03 20 14"; }

 private:
  int speed_;
};

// Each group has triples of its own; only some carry a speed field.
class Groups : public Interface {
 protected:
  std::string measuring_block(std::string_view group) override {
    if (group == "01") return "01 0A 64 " + speed_triple(40) + " 02 1E 10";
    if (group == "02") return "02 11 20 03 30 40 07 C8 64";  // 200 × 0.01 × 100 = 200 km/h
    if (group == "05") return speed_triple(50) + " 04 10 10";
    return "0B 20 30 0C 40 50";
  }
};

// The identification text arrives in two answers: "Velm", then "orant ...".
class SplitIdentification : public Interface {
 public:
  std::optional<Answer> answer(std::string_view request) override {
    if (trim_request(request) != "ati") return Interface::answer(request);
    const bool first_half = requests_++ % 2 == 0;
    return first_half ? Answer{"Velm"} : with_prompt("orant VD-1 simulator");
  }

 private:
  int requests_ = 0;
};

class NeverIdentifies : public Interface {
 protected:
  std::string identification() override { return "Unknown adapter 0.9"; }
};

// A zero byte in the middle of the identification, the connect answer and
// every block.
class ZeroByte : public Interface {
 protected:
  std::string identification() override { return std::string("Velm\0orant VD-1 simulator", 25); }
  std::string connect_answer() override { return std::string("CONNECT\0 01", 11); }
  std::string measuring_block(std::string_view group) override {
    return std::string("01 0A\0 64 ", 10) + Interface::measuring_block(group);
  }
};

// Bytes that follow the prompt, as from an interface that sends a status line
// late. The blocks are those of the groups scenario, so that on the groups
// without a speed field the log shows every reply whole.
class AfterPrompt : public Groups {
 protected:
  Answer measuring_answer(std::string_view group) override {
    Answer answer = Groups::measuring_answer(group);
    answer.bytes += "OK";
    return answer;
  }
};

class NoSpeed : public Interface {
 protected:
  std::string measuring_block(std::string_view) override { return "01 0A 64 02 1E 10 03 20 14"; }
};

class Silent : public Interface {
 public:
  std::optional<Answer> answer(std::string_view) override { return std::nullopt; }
};

class Trickle : public Interface {
 public:
  explicit Trickle(int gap_ms) : gap_(gap_ms) {}
  std::optional<Answer> answer(std::string_view request) override {
    std::optional<Answer> answer = Interface::answer(request);
    if (answer) answer->byte_gap = gap_;
    return answer;
  }

 private:
  std::chrono::milliseconds gap_;
};

// Identifies and connects properly, then answers every block with random
// bytes (zero bytes and stray prompts included) and a final prompt.
class Garbage : public Interface {
 public:
  explicit Garbage(std::uint32_t seed) : random_(seed) {}

 protected:
  std::string measuring_block(std::string_view) override {
    std::uniform_int_distribution<int> length(1, 40);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string block(static_cast<std::size_t>(length(random_)), '\0');
    for (char& c : block) c = static_cast<char>(byte(random_));
    return block;
  }

 private:
  std::mt19937 random_;
};

// Answers --cycles measuring requests, then none: a line that went quiet.
class Stall : public Interface {
 public:
  explicit Stall(int cycles) : cycles_(cycles) {}
  std::optional<Answer> answer(std::string_view request) override {
    std::optional<Answer> answer = Interface::answer(request);
    if (trim_request(request).starts_with("08") && measuring_requests() > cycles_) return std::nullopt;
    return answer;
  }

 private:
  int cycles_;
};

// Serves the given speed fields one per block, then repeats the last one.
class Fields : public Interface {
 public:
  explicit Fields(std::vector<std::string> fields) : fields_(std::move(fields)) {}

 protected:
  std::string measuring_block(std::string_view) override {
    const std::size_t index = std::min<std::size_t>(static_cast<std::size_t>(measuring_requests()), fields_.size()) - 1;
    return "01 0A 64 07 " + fields_[index] + " 03 20 14";
  }

 private:
  std::vector<std::string> fields_;
};

// Connects only after a wait, as a control unit that is slow to wake: long
// enough to watch the program wait, or to close it while it does.
class SlowConnect : public Interface {
 public:
  explicit SlowConnect(int tenths) : delay_(100 * tenths) {}
  std::optional<Answer> answer(std::string_view request) override {
    std::optional<Answer> answer = Interface::answer(request);
    if (answer && trim_request(request) == "atd01") answer->delay = delay_;
    return answer;
  }

 private:
  std::chrono::milliseconds delay_;
};

// A wrong device, or a broken one, that talks without end: the first "ati\r"
// is answered by text without the identification or a prompt for
// --flood-seconds, then by the identification; every measuring request by a
// reply that never ends.
class Flood : public Interface {
 public:
  explicit Flood(int seconds) : identification_flood_(1000LL * seconds) {}
  std::optional<Answer> answer(std::string_view request) override {
    std::optional<Answer> answer = Interface::answer(request);
    if (!answer) return answer;
    const std::string_view text = trim_request(request);
    if (text == "ati" && !identified_) {
      identified_ = true;
      answer->flood = "Unknown adapter 0.9, line noise 0123456789 ";
      answer->flood_for = identification_flood_;
      answer->after_flood = answer->bytes;
      answer->bytes.clear();
    } else if (text.starts_with("08")) {
      answer->flood = "01 0A 64 02 1E 10 03 20 14 ";
      answer->bytes.clear();
    }
    return answer;
  }

 private:
  std::chrono::milliseconds identification_flood_;
  bool identified_ = false;
};

class HangUp : public Interface {
 public:
  explicit HangUp(int cycles) : cycles_(cycles) {}

 protected:
  Answer measuring_answer(std::string_view group) override {
    Answer answer = Interface::measuring_answer(group);
    answer.hang_up_after = measuring_requests() >= cycles_;
    return answer;
  }

 private:
  int cycles_;
};

const ScenarioInfo table[] = {
    {"ramp", "speed climbs 0..200 km/h in steps of 5 and back (default)",
     [](const ScenarioOptions&) -> std::unique_ptr<Interface> { return std::make_unique<Ramp>(); }},
    {"fixed", "always the speed of --speed",
     [](const ScenarioOptions& o) -> std::unique_ptr<Interface> { return std::make_unique<Fixed>(o.speed); }},
    {"groups", "groups 01, 02 and 05 with different triples (40, 200, 50 km/h); others without speed",
     [](const ScenarioOptions&) -> std::unique_ptr<Interface> { return std::make_unique<Groups>(); }},
    {"split-id", "identification split across the answers to two \"ati\" requests",
     [](const ScenarioOptions&) -> std::unique_ptr<Interface> { return std::make_unique<SplitIdentification>(); }},
    {"never-id", "answers \"ati\" without ever naming the Velmorant",
     [](const ScenarioOptions&) -> std::unique_ptr<Interface> { return std::make_unique<NeverIdentifies>(); }},
    {"zero-byte", "a zero byte inside the identification, the connect answer and every block",
     [](const ScenarioOptions&) -> std::unique_ptr<Interface> { return std::make_unique<ZeroByte>(); }},
    {"after-prompt", "\"OK\" follows the prompt of every block (blocks as in groups)",
     [](const ScenarioOptions&) -> std::unique_ptr<Interface> { return std::make_unique<AfterPrompt>(); }},
    {"no-speed", "blocks without a speed field",
     [](const ScenarioOptions&) -> std::unique_ptr<Interface> { return std::make_unique<NoSpeed>(); }},
    {"silent", "never answers",
     [](const ScenarioOptions&) -> std::unique_ptr<Interface> { return std::make_unique<Silent>(); }},
    {"trickle", "every answer byte by byte, --gap ms apart",
     [](const ScenarioOptions& o) -> std::unique_ptr<Interface> { return std::make_unique<Trickle>(o.gap_ms); }},
    {"garbage", "random bytes in every block (seeded by --seed)",
     [](const ScenarioOptions& o) -> std::unique_ptr<Interface> { return std::make_unique<Garbage>(o.seed); }},
    {"stall", "answers --cycles measuring requests, then falls silent",
     [](const ScenarioOptions& o) -> std::unique_ptr<Interface> { return std::make_unique<Stall>(o.cycles); }},
    {"fields", "the speed fields of --fields, one per block, then the last again",
     [](const ScenarioOptions& o) -> std::unique_ptr<Interface> { return std::make_unique<Fields>(o.fields); }},
    {"hang-up", "hangs up after --cycles measuring blocks",
     [](const ScenarioOptions& o) -> std::unique_ptr<Interface> { return std::make_unique<HangUp>(o.cycles); }},
    {"flood", "floods the line: --flood-seconds of text instead of the identification, then replies that never end",
     [](const ScenarioOptions& o) -> std::unique_ptr<Interface> { return std::make_unique<Flood>(o.flood_seconds); }},
    {"slow-connect", "answers \"atd01\" only after --connect-wait tenths of a second",
     [](const ScenarioOptions& o) -> std::unique_ptr<Interface> {
       return std::make_unique<SlowConnect>(o.connect_tenths);
     }},
};

}  // namespace

std::optional<Answer> Interface::answer(std::string_view request) {
  const std::string_view text = trim_request(request);
  if (text == "ati") return with_prompt(identification());
  if (text == "atd01") return with_prompt(connect_answer());
  if (text.starts_with("atd")) return with_prompt("NO ANSWER");
  if (text.starts_with("08")) {
    ++measuring_requests_;
    return measuring_answer(text.substr(2));
  }
  return with_prompt("?");
}

// Appends rather than prepends: GCC 12 at -O3 reports a false -Wrestrict
// overlap for a literal + std::string.
Answer Interface::with_prompt(std::string text) {
  text += prompt;
  return Answer{std::move(text)};
}

std::string Interface::identification() { return "Velmorant VD-1 simulator"; }

std::string Interface::connect_answer() { return "CONNECT 01"; }

std::string Interface::measuring_block(std::string_view) { return "01 0A 64 " + speed_triple(50) + " 03 20 14"; }

Answer Interface::measuring_answer(std::string_view group) { return with_prompt(measuring_block(group)); }

std::string Interface::speed_triple(int speed) { return "07 64 " + hex_byte(speed); }

std::span<const ScenarioInfo> scenarios() { return table; }

const ScenarioInfo* find_scenario(std::string_view name) {
  for (const ScenarioInfo& info : table) {
    if (info.name == name) return &info;
  }
  return nullptr;
}
