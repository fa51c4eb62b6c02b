// Closing the window while polling: the reply under way is completed and
// shown, then the port is closed; a line that went quiet does not hold the
// program.
#include <gtest/gtest.h>

#include "gadgets.h"
#include "main_window.h"
#include "program_harness.h"

namespace {

using namespace program_test;

// Scenario trickle: every answer byte by byte, 15 ms apart, so that a block
// takes about half a second to arrive. The answers to the repeated "ati\r"
// pile up and arrive as replies of their own first; the first block with a
// speed field follows.
TEST(ClosingWhilePolling, TheReplyUnderWayIsCompletedAndShownThenThePortIsClosed) {
  std::size_t polls_at_close = 0;
  Script script;
  script.act("press Connect", press_connect)
      .wait_until("the first block with a speed arriving",
                  [] {
                    return text_of(GADGET_RESULT).empty() &&
                           text_of(GADGET_LOG).find("01 0A 64 07 6") != std::string::npos;
                  })
      .act("count the requests", [&] { polls_at_close = requests(simulator_log(), "0805\\r").size(); });
  RUN_PROGRAM(run, script, 30s);

  EXPECT_EQ(run.result_at_end, "50 km/h") << "the block that was arriving was decoded";
  EXPECT_TRUE(simulator_saw_close());
  EXPECT_EQ(requests(simulator_log(), "0805\\r").size(), polls_at_close) << "no request after the close";
}

// Scenario stall: three blocks are answered, the fourth request never is.
TEST(ClosingOnAQuietLine, EndsTheProgramPromptlyWithThePortClosed) {
  Script script;
  script.act("press Connect", press_connect)
      .wait_until("the speed", [] { return text_of(GADGET_RESULT) == "50 km/h"; })
      .wait_until("the unanswered request", [] { return requests(simulator_log(), "0805\\r").size() >= 4; })
      .wait_for(300ms);
  RUN_PROGRAM(run, script, 10s);
  // Generous: the program waits a moment for the reply, but not for ever.
  EXPECT_LT(run.closing_time(), 3s);
  EXPECT_TRUE(simulator_saw_close());
}

// Scenario hang-up: three blocks are answered, then the interface hangs up
// and is gone for good. The loss is told at once instead of the last speed,
// the program looks for the interface again meanwhile, the window stays
// served (the script, run from the window's timer, goes on and its edit is
// shown) and closing still ends the program promptly.
TEST(InterfaceHangsUp, TheLossIsToldTheWindowStaysServedAndClosingEndsTheProgram) {
  Script script;
  script.act("press Connect", press_connect)
      .wait_until("the third block", [] { return requests(simulator_log(), "0805\\r").size() >= 3; })
      .wait_until("the loss told", [] { return text_of(GADGET_LOG).ends_with("Interface lost on COM17\r"); })
      .act("type group 02", [] { set_gadget_text(GADGET_GROUP, "02"); })
      .wait_until("the edit shown", [] { return text_of(GADGET_GROUP) == "02"; })
      .wait_for(300ms);
  RUN_PROGRAM(run, script, 10s);
  EXPECT_EQ(run.result_at_end, "") << "no speed from an interface that is gone";
  EXPECT_LT(run.closing_time(), 3s);
}

}  // namespace
