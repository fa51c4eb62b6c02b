// Runs the program in this process as it runs on its own: the support layers
// started once, the main window built, the event loop waiting for events.
// A script acts on the window while the program's loop runs, from a timer of
// the program's own thread (as a person acts between its waits), and the
// simulator's request log tells what arrived on the line and when.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "registry.h"
#include "serial_trace.h"
#include "start_values.h"

namespace program_test {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Steps done one after the other, each checked every 10 ms until it holds.
class Script {
 public:
  // Waits until the condition holds.
  Script& wait_until(std::string what, std::function<bool()> condition);
  // Does something once.
  Script& act(std::string what, std::function<void()> action);
  // Lets time pass.
  Script& wait_for(Clock::duration time);

  // One tick: runs the current step and the ones after it that hold at once.
  // True when every step is done.
  bool advance();
  // The step that has not completed, for a failure message.
  std::string current_step() const;

 private:
  struct Step {
    std::string what;
    std::function<bool()> done;
  };
  std::vector<Step> steps_;
  std::size_t next_ = 0;
};

struct ProgramRun {
  bool script_finished = false;  // false: the time limit ended the run
  std::string stuck_at;          // the step that was waited for in vain
  Clock::time_point close_asked_at{};
  Clock::time_point loop_ended_at{};
  // What the window showed when the program's loop ended.
  std::string result_at_end;
  std::string log_at_end;
  Clock::duration closing_time() const { return loop_ended_at - close_asked_at; }
};

// Builds the main window, brings it to the front and runs the program's event
// loop while the script acts. When the script is done the window is asked to
// close as its close box does; so it is after the time limit, and the run
// then tells where the script was stuck. The window is closed afterwards.
// The fields start with the given values, COM17 and 05 unless a test says.
ProgramRun run_program_window(Script& script, Clock::duration limit, const StartValues& start = StartValues{});

// The start of almost every program test: declares the ProgramRun named run,
// the program run with the script for at most limit (run_program_window),
// and ends the test there, as ASSERT_TRUE does, when the script was stuck. A
// message streamed after it is added to the failure's.
#define RUN_PROGRAM(run, script, limit, ...)                                                                           \
  const ::program_test::ProgramRun run = ::program_test::run_program_window(script, limit __VA_OPT__(, ) __VA_ARGS__); \
  ASSERT_TRUE(run.script_finished) << "stuck at: " << run.stuck_at

// What the window shows.
std::string text_of(ObjectNumber gadget);
int progress_position();
HWND main_window();

// Presses Connect as a person does, with the mouse.
void press_connect();

#ifndef _WIN32
// Sends this process a close signal as the terminal or the session does
// (SIGINT, SIGTERM, SIGHUP).
void send_close_signal(int number);
#endif

// One line of the simulator's log: the request as written there (with C
// escapes, "ati\\r"), or "# opened" and "# closed" for the port. Only the
// lines written since the last run began.
struct Received {
  double seconds;
  std::string what;
};
std::vector<Received> simulator_log();
// The lines of the log that are exactly this request (escaped form).
std::vector<Received> requests(const std::vector<Received>& log, const std::string& escaped);
// Waits up to the given time for the simulator to see the port closed after
// its last opening.
bool simulator_saw_close(Clock::duration within = 3s);

// The times at which the program wrote its requests, taken as it wrote them
// for as long as this lasts. (The simulator's log times hold also how late
// the simulator read each request, which on a busy machine varies.)
class SentRequests : public SerialTrace {
 public:
  SentRequests() { serial_set_trace(this); }
  ~SentRequests() override { serial_set_trace(nullptr); }
  SentRequests(const SentRequests&) = delete;
  SentRequests& operator=(const SentRequests&) = delete;

  // The times between neighbouring writes of exactly these bytes, in milliseconds.
  std::vector<double> gaps_ms(std::string_view request) const;

  void opened(std::string_view, bool) override {}
  void sent(std::string_view bytes) override { sent_.push_back({Clock::now(), std::string(bytes)}); }
  void received(std::string_view) override {}
  void closed() override {}

 private:
  std::vector<std::pair<Clock::time_point, std::string>> sent_;
};

}  // namespace program_test
