// Polling: what the log and the result show from reply to reply, and what the
// interface is asked, against velmorant-sim's scenarios.
#include <gtest/gtest.h>

#include <algorithm>

#include "gadgets.h"
#include "main_window.h"
#include "program_harness.h"
#include "toolkit_internal.h"

namespace {

using namespace program_test;

const std::string connect_line = "CONNECT 01\r>\r";

std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
  return count;
}

// Scenario groups: group 01 gives 40 km/h, 02 gives 200 km/h, 05 gives
// 50 km/h; every other group (and none) gives a block without a speed field.
TEST(Polling, TheLogShowsTheConnectAnswerAndACarriageReturnWhenPollingBegins) {
  std::string at_start;
  Script script;
  script.act("press Connect", press_connect)
      .wait_until("the connect answer in the log",
                  [&] {
                    at_start = text_of(GADGET_LOG);
                    return at_start.starts_with(connect_line);
                  })
      .wait_until("the first speed", [] { return text_of(GADGET_RESULT) == "50 km/h"; });
  RUN_PROGRAM(run, script, 10s);
  // The first polling reply may already be arriving behind it.
  EXPECT_TRUE(std::string("07 64 32 04 10 10\r>").starts_with(at_start.substr(connect_line.size()))) << at_start;
  EXPECT_TRUE(simulator_saw_close());
}

// Group 05's reply, "07 64 32 04 10 10\r>", is 19 bytes: 9.9 ms on the wire
// at 19200 baud and 10 bits a byte. The pause of 100 ms follows the reply, so
// the requests come that much more than 100 ms apart; a pause counted from the
// request instead would bring them 100 ms apart.
TEST(Polling, EachRequestFollowsThePreviousReplyAfterAWholePause) {
  SentRequests sent;
  Script script;
  script.act("press Connect", press_connect).wait_until("nine polls", [] {
    return requests(simulator_log(), "0805\\r").size() >= 9;
  });
  RUN_PROGRAM(run, script, 10s);

  std::vector<double> gaps = sent.gaps_ms("0805\r");
  ASSERT_GE(gaps.size(), 8u);
  for (double gap : gaps) EXPECT_GE(gap, 90) << "each request waits its pause";
  std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
  EXPECT_GE(gaps[gaps.size() / 2], 105) << "the pause begins once the reply is in";
}

TEST(Polling, AnEditedGroupIsAskedForInTheNextCycleAndAnEmptyGroupSends08Cr) {
  Script script;
  script.act("press Connect", press_connect)
      .wait_until("group 05's speed", [] { return text_of(GADGET_RESULT) == "50 km/h"; })
      .act("type group 02", [] { set_gadget_text(GADGET_GROUP, "02"); })
      .wait_until("group 02's speed", [] { return text_of(GADGET_RESULT) == "200 km/h"; })
      .act("empty the group", [] { set_gadget_text(GADGET_GROUP, ""); })
      .wait_until("two requests without a group", [] { return requests(simulator_log(), "08\\r").size() >= 2; })
      .wait_until("their replies in the log",
                  [] { return count_of(text_of(GADGET_LOG), "0B 20 30 0C 40 50\r>") >= 2; });
  RUN_PROGRAM(run, script, 10s);

  std::vector<std::string> asked;
  for (const Received& entry : simulator_log()) {
    if (entry.what.starts_with("08") && (asked.empty() || asked.back() != entry.what)) asked.push_back(entry.what);
  }
  EXPECT_EQ(asked, (std::vector<std::string>{"0805\\r", "0802\\r", "08\\r"}));
  EXPECT_EQ(run.result_at_end, "200 km/h") << "a reply without a speed leaves the speed shown";
}

TEST(Polling, RepliesWithoutASpeedAccumulateInTheLogUntilTheNextSpeedEmptiesIt) {
  const std::string no_speed = "0B 20 30 0C 40 50\r>";
  std::string log_at_new_speed;
  Script script;
  script.act("press Connect", press_connect)
      .wait_until("group 05's speed", [] { return text_of(GADGET_RESULT) == "50 km/h"; })
      .act("type group 03", [] { set_gadget_text(GADGET_GROUP, "03"); })
      .wait_until("three replies without a speed in the log",
                  [&] { return count_of(text_of(GADGET_LOG), no_speed) >= 3; })
      .act("type group 01", [] { set_gadget_text(GADGET_GROUP, "01"); })
      .wait_until("group 01's speed", [&] {
        log_at_new_speed = text_of(GADGET_LOG);
        return text_of(GADGET_RESULT) == "40 km/h";
      });
  RUN_PROGRAM(run, script, 10s);
  // Emptied with the speed; at most the next reply has begun since.
  EXPECT_EQ(log_at_new_speed.find("0B 20 30"), std::string::npos) << log_at_new_speed;
  EXPECT_TRUE(std::string("01 0A 64 07 64 28 02 1E 10\r>").starts_with(log_at_new_speed)) << log_at_new_speed;
}

// Texts set on the result and the log and their repaints, counted by a
// subclass of each control. Either shows a repaint: a static control paints
// when asked (WM_PAINT) or, under some window systems, at once when its text
// is set.
struct PaintCount {
  HWND control = nullptr;
  WNDPROC procedure = nullptr;
  int paints = 0;
};
PaintCount result_paints, log_paints;

LRESULT CALLBACK count_paints(HWND control, UINT message, WPARAM wparam, LPARAM lparam) {
  PaintCount& count = control == result_paints.control ? result_paints : log_paints;
  if (message == WM_PAINT || message == WM_SETTEXT) ++count.paints;
  return CallWindowProcA(count.procedure, control, message, wparam, lparam);
}

void start_counting(PaintCount& count, ObjectNumber gadget) {
  count = PaintCount{gadget_record(gadget)->control};
  count.procedure = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(count.control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(count_paints)));
}

TEST(Repainting, WhileTheSpeedStaysTheSameNeitherResultNorLogIsRepainted) {
  std::size_t polls_at_start = 0;
  int result_paints_while_same = -1, log_paints_while_same = -1;
  Script script;
  script.act("press Connect", press_connect)
      .wait_until("group 05's speed", [] { return text_of(GADGET_RESULT) == "50 km/h"; })
      .wait_for(300ms)
      .act("count the paints",
           [&] {
             polls_at_start = requests(simulator_log(), "0805\\r").size();
             start_counting(result_paints, GADGET_RESULT);
             start_counting(log_paints, GADGET_LOG);
           })
      .wait_until("five more polls", [&] { return requests(simulator_log(), "0805\\r").size() >= polls_at_start + 5; })
      .act("type group 02",
           [&] {
             result_paints_while_same = result_paints.paints;
             log_paints_while_same = log_paints.paints;
             set_gadget_text(GADGET_GROUP, "02");
           })
      .wait_until("group 02's speed shown", [] { return result_paints.paints > 0; });
  RUN_PROGRAM(run, script, 10s);
  EXPECT_EQ(result_paints_while_same, 0);
  EXPECT_EQ(log_paints_while_same, 0);
  EXPECT_EQ(run.result_at_end, "200 km/h");
}

BOOL CALLBACK note_visible_window(HWND window, LPARAM count) {
  if (IsWindowVisible(window)) ++*reinterpret_cast<int*>(count);
  return TRUE;
}

int visible_windows() {
  int count = 0;
  EnumThreadWindows(GetCurrentThreadId(), note_visible_window, reinterpret_cast<LPARAM>(&count));
  return count;
}

TEST(Polling, PressingConnectWhilePollingChangesNothing) {
  std::size_t polls_at_press = 0;
  int windows_after_press = 0;
  Script script;
  script.act("press Connect", press_connect)
      .wait_until("the speed", [] { return text_of(GADGET_RESULT) == "50 km/h"; })
      .act("press Connect again",
           [&] {
             polls_at_press = requests(simulator_log(), "0805\\r").size();
             press_connect();
           })
      .wait_until("five more polls", [&] { return requests(simulator_log(), "0805\\r").size() >= polls_at_press + 5; })
      .act("count the windows", [&] { windows_after_press = visible_windows(); });
  RUN_PROGRAM(run, script, 10s);

  ASSERT_TRUE(simulator_saw_close());
  const std::vector<Received> log = simulator_log();
  EXPECT_EQ(requests(log, "atd01\\r").size(), 1u);
  EXPECT_EQ(log.size(), requests(log, "ati\\r").size() + 1 + requests(log, "0805\\r").size() + 2)
      << "nothing but identification, one connect, polls, and the port opened and closed";
  EXPECT_EQ(windows_after_press, 1) << "no other window (such as a requester) appeared";
}

// Scenario zero-byte: the connect answer is "CONNECT\0 01\r>".
// On a busy line the rest of the identification may come first, as the
// connect answer, and "CONNECT\0 01\r>" then as a reply of its own: either
// way its bytes after the zero byte are shown, the zero byte nowhere.
TEST(ZeroByte, IsKeptOutOfTheLogAndTheBytesAfterItAreShown) {
  bool zero_byte_shown = false;
  Script script;
  script.act("press Connect", press_connect)
      .wait_until("the connect answer in the log",
                  [&] {
                    const std::string log = text_of(GADGET_LOG);
                    zero_byte_shown = zero_byte_shown || log.find('\0') != std::string::npos;
                    return log.find("CONNECT 01\r>") != std::string::npos;
                  })
      .wait_until("the speed", [] { return text_of(GADGET_RESULT) == "50 km/h"; });
  RUN_PROGRAM(run, script, 10s);
  EXPECT_FALSE(zero_byte_shown);
}

// Scenario after-prompt, answering at once: "OK" is waiting behind every
// block's prompt, so it belongs to that block's reply and goes with it.
TEST(AfterPrompt, BytesWaitingBehindThePromptBelongToTheSameReply) {
  std::vector<std::string> logs;
  Script script;
  script.act("press Connect", press_connect).wait_until("ten polls", [&] {
    const std::string log = text_of(GADGET_LOG);
    if (!log.empty() && (logs.empty() || logs.back() != log)) logs.push_back(log);
    return requests(simulator_log(), "0805\\r").size() >= 10 && text_of(GADGET_RESULT) == "50 km/h";
  });
  RUN_PROGRAM(run, script, 10s);
  for (const std::string& log : logs) EXPECT_FALSE(log.starts_with("O") || log.starts_with("K")) << log;
}

// Scenario no-speed, answering at once: no block has a speed field.
TEST(NoSpeed, TheLogAccumulatesRepliesAndKeepsItsNewest4096Bytes) {
  const std::string block = "01 0A 64 02 1E 10 03 20 14\r>";
  std::string full_log;
  Script script;
  script.act("press Connect", press_connect)
      .wait_until("three replies in the log",
                  [&] { return text_of(GADGET_LOG) == connect_line + block + block + block; })
      .wait_until("a log of 4096 bytes", [] { return text_of(GADGET_LOG).size() >= 4096; })
      .wait_for(500ms)
      .act("read the log", [&] { full_log = text_of(GADGET_LOG); });
  RUN_PROGRAM(run, script, 40s);
  EXPECT_EQ(full_log.size(), 4096u);
  // The newest bytes are kept: the last complete reply stands at the end,
  // or just before a reply that is arriving.
  EXPECT_GE(full_log.rfind(block), full_log.size() - 2 * block.size());
  EXPECT_EQ(run.result_at_end, "");
}

// Whether the text, laid out as the log's static control lays it out, fits its box.
bool fits_the_log_box(HWND log, const std::string& text) {
  RECT client, bounds;
  GetClientRect(log, &client);
  bounds = RECT{0, 0, client.right, 0};
  HDC dc = GetDC(log);
  HGDIOBJ old_font = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(log, WM_GETFONT, 0, 0)));
  DrawTextA(dc, text.c_str(), -1, &bounds, DT_LEFT | DT_EXPANDTABS | DT_WORDBREAK | DT_CALCRECT);
  SelectObject(dc, old_font);
  ReleaseDC(log, dc);
  return bounds.bottom <= client.bottom;
}

TEST(NoSpeed, TheLogShowsTheNewestLinesThatFitItsBox) {
  const std::string block = "01 0A 64 02 1E 10 03 20 14\r>";
  std::string log, shown;
  bool shown_fits = false, one_line_more_fits = true;
  Script script;
  script.act("press Connect", press_connect).wait_for(3s).act("read the log and what it shows", [&] {
    HWND box = GetDlgItem(main_window(), GADGET_LOG);
    log = text_of(GADGET_LOG);
    char text[8192] = {};
    GetWindowTextA(box, text, sizeof text);
    shown = text;
    shown_fits = fits_the_log_box(box, shown);
    if (log.size() >= shown.size() + block.size()) {
      one_line_more_fits = fits_the_log_box(box, log.substr(log.size() - shown.size() - block.size()));
    }
  });
  RUN_PROGRAM(run, script, 20s);
  ASSERT_GE(count_of(log, block), 15u) << log;
  // What is shown is the log's tail: its newest lines, all of them whole in
  // the box, the newest complete reply among them, and a line more would not fit.
  ASSERT_TRUE(log.ends_with(shown)) << shown;
  EXPECT_GE(shown.rfind(block), shown.size() - 2 * block.size()) << shown;
  EXPECT_GE(count_of(shown, block), 3u) << shown;
  EXPECT_TRUE(shown_fits) << shown;
  EXPECT_FALSE(one_line_more_fits) << shown;
}

}  // namespace
