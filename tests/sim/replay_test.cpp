// velmorant-sim --replay: which reply each request gets, in which order and
// with which timing, and how a transcript is refused.
#include "replay.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "transcript.h"

namespace {

using std::chrono::microseconds;

std::unique_ptr<Replay> load_text(const std::string& text, ReplayTiming timing = ReplayTiming::LineRate) {
  const char* path = "replay_test.txt";
  std::ofstream(path, std::ios::binary) << text;
  std::unique_ptr<Replay> replay = Replay::load(path, timing);
  std::remove(path);
  return replay;
}

std::string bytes_of(const std::optional<Answer>& answer) { return answer ? answer->bytes : "(silence)"; }

const char* const RAMP =
    "# start velmorant-sim tap /dev/ttyUSB0\n"
    "# opened\n"
    "0.1 < stray\n"  // before any request: belongs to none
    "1.0 > ati\\r\n"
    "1.002 < Velm\n"
    "1.010 < orant\\r>\n"
    "2.0 > 08\n"  // a request cut into pieces
    "2.001 > 05\\r\n"
    "2.020 < A\\r>\n"
    "3.0 > 0805\\r\n"
    "3.020 < B\n"
    "3.500 < \\r>\n"
    "4.0 > 0805\\r\n"
    "4.0 > atz\\r\n"  // asked, never answered
    "4.1 > 08\n"
    "# closed\n"  // the closing takes the half request with it
    "# opened\n"
    "5.0 > 05\\r\n"
    "5.1 < C\\r>\n";

TEST(Replay, EachRequestGetsItsRecordedRepliesInOrderAndThenAgain) {
  std::unique_ptr<Replay> replay = load_text(RAMP);
  const struct {
    std::string request, reply;
  } exchanges[] = {
      {"ati\r", "Velmorant\r>"}, {"0805\r", "A\r>"}, {"0805\r", "B\r>"}, {"atz\r", "(silence)"},
      {"0805\r", "(silence)"},   {"05\r", "C\r>"},   {"0805\r", "A\r>"}, {"ati\r", "Velmorant\r>"},
      {"08\r", "?\r>"},          {"0805", "?\r>"},
  };
  for (const auto& exchange : exchanges) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(bytes_of(replay->answer(exchange.request)), exchange.reply);
    const std::string told = testing::internal::GetCapturedStderr();
    const bool unknown = exchange.request == "08\r" || exchange.request == "0805";
    EXPECT_EQ(told, unknown ? "velmorant-sim: not in the transcript: " + escape_bytes(exchange.request) +
                                  " (answered \"?\")\n"
                            : "");
  }
}

TEST(Replay, AtTheRecordedTimingEachPieceKeepsItsTimeAfterTheRequest) {
  std::unique_ptr<Replay> replay = load_text(RAMP, ReplayTiming::Recorded);
  std::optional<Answer> answer = replay->answer("ati\r");
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->bytes, "Velm");
  EXPECT_EQ(answer->delay, microseconds(2000));
  ASSERT_EQ(answer->later.size(), 1u);
  EXPECT_EQ(answer->later[0], std::make_pair(microseconds(10000), std::string("orant\r>")));
  replay->answer("0805\r");
  answer = replay->answer("0805\r");
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->delay, microseconds(20000));
  ASSERT_EQ(answer->later.size(), 1u);
  EXPECT_EQ(answer->later[0].first, microseconds(500000));

  std::unique_ptr<Replay> at_line_rate = load_text(RAMP);
  answer = at_line_rate->answer("ati\r");
  EXPECT_EQ(answer->delay, microseconds(0));
  EXPECT_TRUE(answer->later.empty());
}

TEST(Replay, AHangUpEndsTheLineAfterItsReply) {
  std::unique_ptr<Replay> replay =
      load_text("0.0 > ati\\r\n0.1 < V\\r>\n# hang-up\n# start\n0.0 > atd01\\r\n# hang-up\n0.5 > 0805\\r\n0.6 < x\n");
  std::optional<Answer> answer = replay->answer("ati\r");
  ASSERT_TRUE(answer);
  EXPECT_TRUE(answer->hang_up_after);
  EXPECT_EQ(answer->bytes, "V\r>");
  answer = replay->answer("atd01\r");
  ASSERT_TRUE(answer);
  EXPECT_TRUE(answer->hang_up_after);
  EXPECT_EQ(answer->bytes, "");
  answer = replay->answer("0805\r");
  ASSERT_TRUE(answer);
  EXPECT_FALSE(answer->hang_up_after);
}

TEST(Replay, ARequestThatNeverEndsIsCutAsTheSimulatorCutsIt) {
  std::unique_ptr<Replay> replay = load_text("0.0 > " + std::string(300, 'a') + "\n0.1 < x\n");
  EXPECT_EQ(bytes_of(replay->answer(std::string(256, 'a'))), "x");
  EXPECT_EQ(bytes_of(replay->answer(std::string(44, 'a'))), "?\r>") << "the rest of it was never whole";
}

TEST(Replay, TranscriptsThatCannotBeReplayedAreRefusedWithTheirFileAndLine) {
  const struct {
    std::string text, error;
  } cases[] = {
      {"0.1 > ati\\r\n0.2 < \\y\n", "replay_test.txt:2: bad escape \"\\y\""},
      {"0.1 > ati\\r\n0.2 ! x\n", "replay_test.txt:2: unknown direction \"!\" (\">\" sent, \"<\" received)"},
      {"0.3 > ati\\r\n0.2 < x\n", "replay_test.txt:2: the time goes back"},
      {"# nothing\n0.1 < x\n", "replay_test.txt: holds no request to answer"},
  };
  for (const auto& c : cases) {
    try {
      load_text(c.text);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const std::runtime_error& error) {
      EXPECT_EQ(std::string(error.what()), c.error);
    }
  }
  EXPECT_THROW(Replay::load("no/such/transcript.txt", ReplayTiming::LineRate), std::runtime_error);
}

}  // namespace
