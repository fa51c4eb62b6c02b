#include "program_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "events.h"
#include "fonts.h"
#include "gadgets.h"
#include "main_window.h"
#include "test_support.h"
#include "toolkit_internal.h"
#include "toolkit_windows.h"

namespace program_test {
namespace {

// Start-up runs once per process, as in the program; the windows and fonts
// are closed after every run. The program remembers what connected: in the
// Windows build this process's HKEY_CURRENT_USER is a key of the tests' own,
// so that the programs that other tests start in the same Wine prefix start
// as on a first start (on Linux each test has a config folder of its own).
class ProgramEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
#ifdef _WIN32
    HKEY tests_own = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Velmorant\\ProgramTests", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &tests_own, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, tests_own), ERROR_SUCCESS);
    RegCloseKey(tests_own);
#endif
    start_support_layers();
  }
  void TearDown() override { stop_support_layers(); }
};

[[maybe_unused]] ::testing::Environment* const program_environment =
    ::testing::AddGlobalTestEnvironment(new ProgramEnvironment);

constexpr UINT tick_ms = 10;

struct Driving {
  Script* script = nullptr;
  ProgramRun* run = nullptr;
  Clock::time_point started{};
  Clock::duration limit{};
  bool closing = false;
  bool in_tick = false;
};
Driving driving;

// Several runs share one simulator: each looks only at what arrived since it began.
std::size_t log_lines_before_run = 0;

std::vector<Received> whole_simulator_log();

void ask_to_close() {
  driving.closing = true;
  driving.run->close_asked_at = Clock::now();
  PostMessageA(main_window(), WM_CLOSE, 0, 0);
}

// A program that does not end after a close request would hold the test
// until its time-out; this ends it with a message instead.
constexpr auto closing_limit = 10s;

void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD) {
  if (driving.closing && Clock::now() - driving.run->close_asked_at > closing_limit) {
    std::fprintf(stderr, "the program did not end within 10 s of the close request (script step: %s)\n",
                 driving.script->current_step().c_str());
    std::fflush(stderr);
    std::_Exit(1);
  }
  if (driving.closing || driving.in_tick) return;
  driving.in_tick = true;
  if (driving.script->advance()) {
    driving.run->script_finished = true;
    ask_to_close();
  } else if (Clock::now() - driving.started > driving.limit) {
    driving.run->stuck_at = driving.script->current_step();
    ask_to_close();
  }
  driving.in_tick = false;
}

std::string log_path() {
  const char* path = std::getenv("VELMORANT_SIM_LOG");
  if (path == nullptr) return {};
  std::string text = path;
#ifdef _WIN32
  if (text.starts_with("/")) text = "Z:" + text;  // Wine's drive for the Unix root
#endif
  return text;
}

}  // namespace

Script& Script::wait_until(std::string what, std::function<bool()> condition) {
  steps_.push_back({std::move(what), std::move(condition)});
  return *this;
}

Script& Script::act(std::string what, std::function<void()> action) {
  steps_.push_back({std::move(what), [action = std::move(action)] {
                      action();
                      return true;
                    }});
  return *this;
}

Script& Script::wait_for(Clock::duration time) {
  auto until = std::make_shared<Clock::time_point>();
  steps_.push_back({"a pause", [until, time] {
                      if (*until == Clock::time_point{}) *until = Clock::now() + time;
                      return Clock::now() >= *until;
                    }});
  return *this;
}

bool Script::advance() {
  while (next_ < steps_.size() && steps_[next_].done()) ++next_;
  return next_ == steps_.size();
}

std::string Script::current_step() const { return next_ < steps_.size() ? steps_[next_].what : "(none)"; }

ProgramRun run_program_window(Script& script, Clock::duration limit, const StartValues& start) {
  ProgramRun run;
  if (!build_main_window(start)) {
    ADD_FAILURE() << "the main window did not open";
    return run;
  }
  test_support::bring_to_front(main_window());
  // The run before may still be closing its port; the simulator's note of that
  // belongs to that run, so it is waited for before this run's lines begin.
  log_lines_before_run = 0;
  if (!whole_simulator_log().empty()) simulator_saw_close(2s);
  log_lines_before_run = whole_simulator_log().size();
  driving = Driving{&script, &run, Clock::now(), limit};
  const UINT_PTR timer = SetTimer(nullptr, 0, tick_ms, tick);
  EXPECT_NE(timer, 0u);
  run_event_loop();
  run.loop_ended_at = Clock::now();
  run.result_at_end = text_of(GADGET_RESULT);
  run.log_at_end = text_of(GADGET_LOG);
  KillTimer(nullptr, timer);
  driving = Driving{};
  // A close retrieved while idle leaves the toolkit's own close event queued
  // behind the message (the program ends there); it belongs to this run.
  while (event_poll() != EV_NONE) {
  }
  windows_close_all();
  free_all_fonts();
  return run;
}

std::string text_of(ObjectNumber gadget) { return get_gadget_text(gadget); }

int progress_position() { return get_gadget_state(GADGET_PROGRESS); }

HWND main_window() { return window_handle(WINDOW_MAIN); }

void press_connect() {
  RECT button;
  GetWindowRect(gadget_record(GADGET_CONNECT)->control, &button);
  test_support::click_screen({(button.left + button.right) / 2, (button.top + button.bottom) / 2});
}

#ifndef _WIN32
void send_close_signal(int number) { EXPECT_EQ(kill(getpid(), number), 0); }
#endif

namespace {

std::vector<Received> whole_simulator_log() {
  std::vector<Received> entries;
  std::ifstream file(log_path());
  for (std::string line; std::getline(file, line);) {
    const std::size_t blank = line.find(' ');
    if (blank == std::string::npos) continue;
    entries.push_back({std::strtod(line.substr(0, blank).c_str(), nullptr), line.substr(blank + 1)});
  }
  return entries;
}

}  // namespace

std::vector<Received> simulator_log() {
  std::vector<Received> entries = whole_simulator_log();
  entries.erase(entries.begin(),
                entries.begin() + static_cast<std::ptrdiff_t>(std::min(log_lines_before_run, entries.size())));
  return entries;
}

std::vector<Received> requests(const std::vector<Received>& log, const std::string& escaped) {
  std::vector<Received> found;
  for (const Received& entry : log) {
    if (entry.what == escaped) found.push_back(entry);
  }
  return found;
}

bool simulator_saw_close(Clock::duration within) {
  for (auto deadline = Clock::now() + within;;) {
    const std::vector<Received> log = simulator_log();
    for (auto it = log.rbegin(); it != log.rend(); ++it) {
      if (it->what == "# closed") return true;
      if (it->what == "# opened") break;
    }
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
}

std::vector<double> SentRequests::gaps_ms(std::string_view request) const {
  std::vector<double> gaps;
  const Clock::time_point* last = nullptr;
  for (const auto& [at, bytes] : sent_) {
    if (bytes != request) continue;
    if (last != nullptr) gaps.push_back(std::chrono::duration<double, std::milli>(at - *last).count());
    last = &at;
  }
  return gaps;
}

}  // namespace program_test
