// Identification of the interface, and closing the window while it goes on:
// the program in this process against velmorant-sim's scenarios.
#include <gtest/gtest.h>

#include "main_window.h"
#include "program_harness.h"

namespace {

using namespace program_test;

// Scenario never-id: "ati\r" is answered, but never with "Velmorant".
TEST(NeverIdentifies, AtiIsRepeatedAbout100MsApartAndNoConnectRequestIsSent) {
  SentRequests sent;
  Script script;
  script.act("press Connect", press_connect).wait_until("six identification requests", [] {
    return requests(simulator_log(), "ati\\r").size() >= 6;
  });
  RUN_PROGRAM(run, script, 10s);

  const std::vector<Received> log = simulator_log();
  const std::vector<double> gaps = sent.gaps_ms("ati\r");
  EXPECT_GE(gaps.size(), 5u);
  for (double gap : gaps) {
    EXPECT_GE(gap, 90) << "each request waits its pause";
    EXPECT_LE(gap, 1000) << "and is repeated without stopping";
  }
  for (const Received& entry : log) EXPECT_EQ(entry.what.find("atd"), std::string::npos) << entry.what;
  EXPECT_EQ(run.log_at_end, "") << "nothing is shown while identifying";
  EXPECT_TRUE(simulator_saw_close());
}

// Closing while identifying ends the wait at once, closing the port.
TEST(NeverIdentifies, ClosingWhileIdentifyingEndsTheProgramPromptly) {
  Script script;
  script.act("press Connect", press_connect).wait_until("identification under way", [] {
    return requests(simulator_log(), "ati\\r").size() >= 2;
  });
  RUN_PROGRAM(run, script, 10s);
  // Generous: a wait that is not ended by the close would never end.
  EXPECT_LT(run.closing_time(), 2s);
  EXPECT_TRUE(simulator_saw_close());
}

// Scenario split-id: "Velm" answers the first "ati\r", "orant ..." the second.
TEST(SplitIdentification, IsRecognisedAcrossTwoAnswersAndTheProgramConnects) {
  Script script;
  script.act("press Connect", press_connect).wait_until("the first polling request", [] {
    return !requests(simulator_log(), "0805\\r").empty();
  });
  RUN_PROGRAM(run, script, 10s);

  std::vector<std::string> order;
  for (const Received& entry : simulator_log()) order.push_back(entry.what);
  ASSERT_GE(order.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(order.begin(), order.begin() + 5),
            (std::vector<std::string>{"# opened", "ati\\r", "ati\\r", "atd01\\r", "0805\\r"}));
}

// Scenario silent: nothing is ever answered.
TEST(SilentInterface, ClosingWhileNothingAnswersEndsTheProgramPromptlyWithThePortClosed) {
  Script script;
  script.act("press Connect", press_connect).wait_until("three identification requests", [] {
    return requests(simulator_log(), "ati\\r").size() >= 3;
  });
  RUN_PROGRAM(run, script, 10s);
  EXPECT_LT(run.closing_time(), 2s);
  EXPECT_TRUE(simulator_saw_close());
}

}  // namespace
