// How the bytes of the answers are divided between identification and the
// replies: zero bytes, bytes behind a prompt, the rest of an answer that
// arrives after its test has passed, and a device that never stops sending.
#include <gtest/gtest.h>

#include "gadgets.h"
#include "main_window.h"
#include "program_harness.h"
#include "transcript.h"

namespace {

using namespace program_test;

std::vector<std::string> request_order() {
  std::vector<std::string> order;
  for (const Received& entry : simulator_log()) order.push_back(entry.what);
  return order;
}

// Scenario zero-byte: the identification is "Velm\0orant VD-1 simulator".
TEST(ZeroByte, InsideTheIdentificationItAddsNothingAndTheInterfaceIsRecognisedAtOnce) {
  Script script;
  script.act("press Connect", press_connect).wait_until("the first polling request", [] {
    return !requests(simulator_log(), "0805\\r").empty();
  });
  RUN_PROGRAM(run, script, 10s);
  const std::vector<std::string> order = request_order();
  ASSERT_GE(order.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(order.begin(), order.begin() + 4),
            (std::vector<std::string>{"# opened", "ati\\r", "atd01\\r", "0805\\r"}));
}

// Scenario after-prompt, answering at once: "OK" waits behind every block's
// prompt. Group 03's blocks have no speed field, so the log keeps every
// reply: between replies it ends with the "OK" that belongs to the last one.
// A reply that ended at its prompt, or before its last byte, would leave the
// log ending in "\r>" or "\r>O" for the pause, and the rest to the next reply.
TEST(AfterPrompt, OnBlocksWithoutASpeedEachReplyIsShownWithTheBytesBehindItsPrompt) {
  const std::string block = "0B 20 30 0C 40 50\r>OK";
  std::vector<std::string> logs;
  Script script;
  script.act("type group 03", [] { set_gadget_text(GADGET_GROUP, "03"); })
      .act("press Connect", press_connect)
      .wait_until("six replies in the log", [&] {
        const std::string log = text_of(GADGET_LOG);
        if (logs.empty() || logs.back() != log) logs.push_back(log);
        return log.find(block + block + block + block + block + block) != std::string::npos;
      });
  RUN_PROGRAM(run, script, 10s);
  for (const std::string& log : logs) {
    EXPECT_FALSE(log.ends_with("\r>") || log.ends_with("\r>O")) << "a reply shown without its last bytes";
  }
}

// Scenario trickle, 15 ms between bytes: "Velmorant" has arrived in the
// answers while the rest of the identification is still on its way. That
// rest, up to its prompt, begins the connect answer that the log shows, ended
// by "\r". Bytes that already wait behind that prompt when the program looks
// (on a busy machine, the next answer's beginning) belong to the same reply,
// as behind any prompt.
TEST(ClosingWhilePolling, TheRestOfTheIdentificationAnswerBecomesTheConnectAnswer) {
  const std::string identification = "Velmorant VD-1 simulator\r>", connected = "CONNECT 01\r>";
  // Read before the simulator's log, which then shows the first request: the
  // connect answer had ended, and no reply with a speed can have emptied the log.
  std::string log;
  Script script;
  script.act("press Connect", press_connect).wait_until("the first polling request", [&] {
    log = text_of(GADGET_LOG);
    return !requests(simulator_log(), "0805\\r").empty();
  });
  // Trickled answers to the repeated "ati\r" pile up: on a busy machine the
  // identification alone may take seconds.
  RUN_PROGRAM(run, script, 30s);
  // Every line end of the answers begins a prompt; the first that does not ends the connect answer.
  std::size_t end = 0;
  while ((end = log.find('\r', end)) != std::string::npos && log.compare(end, 2, "\r>") == 0) ++end;
  ASSERT_NE(end, std::string::npos) << escape_bytes(log);
  const std::size_t prompt = log.find("\r>");
  ASSERT_LT(prompt, end) << escape_bytes(log);
  const std::string rest = log.substr(0, prompt + 2);
  EXPECT_TRUE(identification.ends_with(rest)) << escape_bytes(log);
  EXPECT_LE(rest.size(), identification.size() - 9) << "without the identification itself: " << escape_bytes(log);
  std::string waited = log.substr(prompt + 2, end - prompt - 2);
  while (waited.starts_with(identification)) waited.erase(0, identification.size());
  EXPECT_TRUE(identification.starts_with(waited) || connected.starts_with(waited)) << escape_bytes(log);
}

// Scenario flood: text without the identification or a prompt, without end.
// The window stays served, its timer every few milliseconds as the script
// sees it, and a close ends the program at once.
TEST(FloodWhileIdentifying, TheWindowIsServedAndACloseEndsTheProgramAtOnce) {
  std::vector<Clock::time_point> ticks;
  Script script;
  script.act("press Connect", press_connect)
      .wait_until("the flood under way", [] { return !requests(simulator_log(), "ati\\r").empty(); })
      .wait_until("3 s of it", [&] {
        ticks.push_back(Clock::now());
        return ticks.back() - ticks.front() >= 3s;
      });
  RUN_PROGRAM(run, script, 10s);
  EXPECT_LT(run.closing_time(), 1s);
  EXPECT_TRUE(simulator_saw_close());
  // Each time the program has read all there is, it asks again.
  for (const std::string& request : request_order()) EXPECT_EQ(request.find("atd"), std::string::npos);
  // The window is served every 20 ms, about 150 ticks in the 3 s; a reader
  // that left it for as long as the flood lasts would give none. A busy
  // machine may hold single ticks back, but not most of them.
  EXPECT_GE(ticks.size(), 10u);
}

// Scenario flood with a second of it before the identification; then the
// reply to the first polling request never ends.
TEST(FloodWhilePolling, ANeverEndingReplyKeepsTheWindowServedAndACloseEndsTheProgram) {
  Script script;
  script.act("press Connect", press_connect)
      .wait_until("the first polling request", [] { return !requests(simulator_log(), "0805\\r").empty(); })
      .wait_until("the log full", [] { return text_of(GADGET_LOG).size() == 4096; })
      .wait_for(1s);
  // A second of flood, then a log's worth of it: slow under the sanitizers on a busy machine.
  RUN_PROGRAM(run, script, 40s);
  EXPECT_LT(run.closing_time(), 1s);
  EXPECT_TRUE(simulator_saw_close());
  EXPECT_EQ(requests(simulator_log(), "0805\\r").size(), 1u);
}

}  // namespace
