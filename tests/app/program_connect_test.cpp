// The wait for the connect answer: the bar's animation and a close during the
// wait, against velmorant-sim's slow-connect scenario.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include "gadgets.h"
#include "main_window.h"
#include "program_harness.h"
#include "waiting_cursor.h"
#include "toolkit_internal.h"

namespace {

using namespace program_test;

// Every position the program gives the bar, with its time, seen by a
// subclass of the control.
struct BarPosition {
  int position;
  Clock::time_point at;
};
std::vector<BarPosition> bar_positions;
WNDPROC bar_procedure = nullptr;

LRESULT CALLBACK record_bar(HWND control, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == PBM_SETPOS) bar_positions.push_back({static_cast<int>(wparam), Clock::now()});
  return CallWindowProcA(bar_procedure, control, message, wparam, lparam);
}

void start_recording_the_bar() {
  bar_positions.clear();
  bar_procedure = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(gadget_record(GADGET_PROGRESS)->control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(record_bar)));
}

// Scenario slow-connect, answering "atd01\r" after 20 s: long enough for the
// bar to pass 100 once, even when a busy machine stretches each pause by half.
// The cursor over the window (the mouse stays where it pressed Connect) shows
// the wait from half a second after the request, and the arrow once replies flow.
TEST(ConnectWait, TheBarStepsOnceEvery100MsFrom1To100ThenFrom0AndStaysWhenTheAnswerComes) {
  std::size_t steps_at_answer = 0;
  Clock::time_point pressed_at{}, wait_shown_at{};
  bool arrow_while_polling = false;
  Script script;
  script
      .act("record the bar and press Connect",
           [&] {
             start_recording_the_bar();
             pressed_at = Clock::now();
             press_connect();
           })
      .wait_until("the waiting cursor",
                  [&] {
                    wait_shown_at = Clock::now();
                    return GetCursor() == LoadCursorA(nullptr, IDC_APPSTARTING);
                  })
      .wait_until("the connect answer in the log",
                  [&] {
                    steps_at_answer = bar_positions.size();
                    return text_of(GADGET_LOG).starts_with("CONNECT 01\r>");
                  })
      .wait_for(300ms)
      .act("look at the cursor", [&] { arrow_while_polling = GetCursor() == LoadCursorA(nullptr, IDC_ARROW); });
  RUN_PROGRAM(run, script, 40s);
  EXPECT_GE(wait_shown_at - pressed_at, std::chrono::milliseconds(WAIT_SHOWN_AFTER_MS));
  EXPECT_TRUE(arrow_while_polling);

  // Connect sets 0 first; then one step per pause of the wait.
  ASSERT_GE(bar_positions.size(), 103u);
  EXPECT_EQ(bar_positions[0].position, 0);
  for (std::size_t i = 1; i < bar_positions.size(); ++i) {
    EXPECT_EQ(bar_positions[i].position, static_cast<int>(i % 101)) << "step " << i;
    if (i >= 2) {
      const auto gap = bar_positions[i].at - bar_positions[i - 1].at;
      EXPECT_GE(gap, 90ms) << "step " << i;
    }
  }
  EXPECT_EQ(bar_positions.size(), steps_at_answer) << "the bar stays once the answer has come";
}

// Scenario slow-connect, answering "atd01\r" after 5 s.
TEST(ClosingWhileConnecting, EndsTheProgramAtOnceWithThePortClosedAndNothingAsked) {
  Script script;
  script.act("press Connect", press_connect).wait_until("the bar at 3", [] { return progress_position() >= 3; });
  RUN_PROGRAM(run, script, 10s);
  EXPECT_LT(run.closing_time(), 1s) << "a wait that is not ended by the close lasts until the answer";
  EXPECT_TRUE(simulator_saw_close());
  EXPECT_TRUE(requests(simulator_log(), "0805\\r").empty());
}

}  // namespace
