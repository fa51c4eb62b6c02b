// An interface that is unplugged while polling and plugged in again: the
// simulator hangs up (as a removed adapter's line does) and comes back on a
// new terminal under the same name. The loss is told at once and never shown
// as a speed, the dead handle is closed, and the program finds the interface
// again by itself and polls on.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "gadgets.h"
#include "heap_usage.h"
#include "main_window.h"
#include "program_harness.h"
#include "toolkit_windows.h"

namespace {

using namespace program_test;

bool log_says(const char* what) { return text_of(GADGET_LOG).find(what) != std::string::npos; }

double seconds_now() { return std::chrono::duration<double>(Clock::now().time_since_epoch()).count(); }

// The simulator's log times of its notes ("hung up", "back") since the run began.
std::vector<double> note_times(const char* note) {
  std::vector<double> times;
  for (const Received& line : requests(simulator_log(), std::string("# ") + note)) times.push_back(line.seconds);
  return times;
}

#ifndef _WIN32
int open_descriptors() {
  return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}
#else
int open_descriptors() { return 0; }
#endif

// Scenario hang-up, two blocks a plug, back 0.3 s after each hang-up.
TEST(InterfaceReplugged, TheLossIsToldAndTheProgramPollsAgainWhenItIsBack) {
  double lost_seen = 0, back_seen = 0;
  int descriptors_polling = 0, descriptors_lost = 0;
  bool speed_while_lost = false;
  std::vector<int> bar_while_away;
  int bar_when_back = 0;  // the last step seen before the interface was said to be back
  std::string log_back;
  Script script;
  script.act("press Connect", press_connect)
      .wait_until("the speed",
                  [&] {
                    descriptors_polling = open_descriptors();
                    return text_of(GADGET_RESULT) == "50 km/h";
                  })
      .wait_until("the loss in the log",
                  [&] {
                    lost_seen = seconds_now();
                    descriptors_lost = open_descriptors();
                    return log_says("Interface lost on COM17\r");
                  })
      .wait_until("the interface back",
                  [&] {
                    speed_while_lost = speed_while_lost || !text_of(GADGET_RESULT).empty();
                    bar_while_away.push_back(progress_position());
                    if (log_says("Interface back on COM17\r")) {
                      log_back = text_of(GADGET_LOG);
                    } else {
                      bar_when_back = bar_while_away.back();
                    }
                    return !log_back.empty();
                  })
      .wait_until("the speed again", [&] {
        back_seen = seconds_now();
        return text_of(GADGET_RESULT) == "50 km/h";
      });
  RUN_PROGRAM(run, script, 20s);

  EXPECT_FALSE(speed_while_lost) << "no speed is shown while the interface is away";
#ifndef _WIN32
  EXPECT_EQ(descriptors_lost, descriptors_polling - 1) << "the dead port is closed as the loss is told";
#endif
  EXPECT_GT(std::count_if(bar_while_away.begin(), bar_while_away.end(), [](int at) { return at > 0; }), 0)
      << "the bar steps while the port is tried again";
  // The port is tried after every fifth step, and the interface is back after 0.3 s.
  EXPECT_TRUE(bar_when_back > 0 && bar_when_back % 5 == 0) << bar_when_back;
  // Each news is a line of its own, after whatever of the last reply came before the loss.
  const std::size_t lost_at = log_back.find("Interface lost on COM17\r");
  ASSERT_NE(lost_at, std::string::npos) << log_back;
  EXPECT_TRUE(lost_at == 0 || log_back[lost_at - 1] == '\r') << log_back;
  EXPECT_EQ(log_back.find("\r\r"), std::string::npos) << "no empty lines: " << log_back;
  EXPECT_LT(lost_at, log_back.find("\rInterface back on COM17\r")) << log_back;
  // What the line saw: the old port closed when the hang-up was noticed, then
  // the same requests as at the first Connect on the new terminal.
  const std::vector<Received> log = simulator_log();
  const auto back = std::find_if(log.begin(), log.end(), [](const Received& line) { return line.what == "# back"; });
  ASSERT_NE(back, log.end());
  std::vector<std::string> after_back;
  for (auto line = back + 1; line != log.end() && after_back.size() < 4; ++line) {
    if (after_back.empty() || after_back.back() != line->what) after_back.push_back(line->what);
  }
  EXPECT_EQ(after_back, (std::vector<std::string>{"# opened", "ati\\r", "atd01\\r", "0805\\r"}));
  const std::vector<double> hung_up = note_times("hung up"), returned = note_times("back");
  ASSERT_FALSE(hung_up.empty());
  std::printf("loss shown %.0f ms after the hang-up, speed again %.0f ms after the return\n",
              1000 * (lost_seen - hung_up.front()), 1000 * (back_seen - returned.front()));
}

struct Resources {
  DWORD handles = 0;
  int descriptors = 0;
  test_support::HeapUsage heap;
  bool operator==(const Resources&) const = default;
};

Resources resources_now() {
  Resources now;
  GetProcessHandleCount(GetCurrentProcess(), &now.handles);
  now.descriptors = open_descriptors();
  now.heap = test_support::heap_usage(main_heap);
  return now;
}

// Scenario hang-up, one block a plug, back at once: 100 losses and returns,
// each counted when the speed is shown again. What the program holds while
// it polls is the same after the last as after the first.
TEST(InterfaceRepluggedOften, HandlesDescriptorsAndHeapStayFlat) {
  constexpr int cycles = 100;
  int returns = 0;
  bool was_lost = false;
  Resources first, last;
  double worst_loss = 0, worst_return = 0;
  Script script;
  script.act("press Connect", press_connect).wait_until("100 returns", [&] {
    const bool speed = text_of(GADGET_RESULT) == "50 km/h";
    if (!speed && log_says("Interface lost on COM17")) {
      if (!was_lost) {
        const std::vector<double> hung_up = note_times("hung up");
        if (!hung_up.empty()) worst_loss = std::max(worst_loss, seconds_now() - hung_up.back());
      }
      was_lost = true;
    }
    if (speed && was_lost) {
      was_lost = false;
      const std::vector<double> returned = note_times("back");
      if (!returned.empty()) worst_return = std::max(worst_return, seconds_now() - returned.back());
      if (++returns == 1) first = resources_now();
      if (returns == cycles) last = resources_now();
    }
    return returns == cycles;
  });
  // About a second a cycle; many more under the sanitizers on a busy machine.
  RUN_PROGRAM(run, script, 900s) << " after " << returns << " returns";
  EXPECT_EQ(last.handles, first.handles);
  EXPECT_EQ(last.descriptors, first.descriptors);
  EXPECT_EQ(last.heap, first.heap);
  std::printf("%d returns; slowest: loss shown %.0f ms after a hang-up, speed again %.0f ms after a return\n", cycles,
              1000 * worst_loss, 1000 * worst_return);
}

}  // namespace
