// The program's trace of the line, and the window fed from transcripts: what
// the window shows against one interface is written down, and a later run
// against a replay of that interface's transcript must show the same.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "gadgets.h"
#include "main_window.h"
#include "program_harness.h"
#include "toolkit_internal.h"
#include "trace.h"
#include "transcript.h"

namespace {

using namespace program_test;

std::string environment_path(const char* name) {
  const char* value = std::getenv(name);
  std::string path = value != nullptr ? value : "";
#ifdef _WIN32
  if (path.starts_with("/")) path = "Z:" + path;  // Wine's drive for the Unix root
#endif
  return path;
}

// Every text the result field is given, in order: the read-outs. The
// program sets a text only when it changes, so none is counted twice.
std::vector<std::string> readouts;
WNDPROC result_procedure = nullptr;

LRESULT CALLBACK note_readout(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_SETTEXT && lparam != 0) readouts.emplace_back(reinterpret_cast<const char*>(lparam));
  return CallWindowProcA(result_procedure, window, message, wparam, lparam);
}

void watch_readouts() {
  readouts.clear();
  const HWND control = gadget_record(GADGET_RESULT)->control;
  result_procedure =
      reinterpret_cast<WNDPROC>(SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&note_readout)));
}

// The bytes of one direction, and the notes, of a transcript file.
struct Transcript {
  std::string sent, received;
  std::vector<std::string> notes;
};

Transcript read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  const TranscriptResult result = read_transcript(file, path);
  EXPECT_EQ(result.error, "");
  Transcript transcript;
  for (const TranscriptLine& line : result.lines) {
    if (line.note != TranscriptNote::None) {
      transcript.notes.push_back(line.piece.bytes);
    } else {
      (line.piece.direction == Direction::Sent ? transcript.sent : transcript.received) += line.piece.bytes;
    }
  }
  return transcript;
}

// What the simulator's log says the program sent, as bytes.
std::string requests_in_simulator_log() {
  std::string sent;
  for (const Received& entry : simulator_log()) {
    if (!entry.what.starts_with("#")) sent += unescape_bytes(entry.what).value_or("(bad escape)");
  }
  return sent;
}

std::size_t block_requests() { return requests(simulator_log(), "0805\\r").size(); }

std::string repeated(const std::string& text, std::size_t times) {
  std::string all;
  for (std::size_t i = 0; i < times; ++i) all += text;
  return all;
}

const std::string IDENTIFIED = "Velmorant VD-1 simulator\r>CONNECT 01\r>";
const std::string BLOCK_50 = "01 0A 64 07 64 32 03 20 14\r>";

// Against the fixed scenario: the trace holds, line by line as it happened,
// every byte sent and received and the port's opening and closing, whether
// the window is closed or the program is ended by a signal. It is read while
// the trace is still open: what a killed program leaves is already there.
TEST(Trace, HoldsEveryByteAndThePortsOpenAndCloseHoweverTheProgramEnds) {
  struct Ending {
    const char* what;
    int signal;  // 0: the close box
  };
  std::vector<Ending> endings = {{"the close box", 0}};
#ifndef _WIN32
  endings.push_back({"SIGTERM", SIGTERM});
#endif
  for (const Ending& ending : endings) {
    SCOPED_TRACE(ending.what);
    const std::string path = std::string("trace_test_") + (ending.signal ? "signal" : "close") + ".txt";
    std::remove(path.c_str());
    {
      TraceFile trace;
      ASSERT_TRUE(trace.start(path));
      Script script;
      script.act("press Connect", press_connect).wait_until("four blocks", [] { return block_requests() >= 4; });
#ifndef _WIN32
      if (ending.signal != 0) {
        script.act("send the signal", [&] { send_close_signal(ending.signal); })
            .wait_until("the program ending by itself", [] { return false; });
      }
#endif
      const ProgramRun run = run_program_window(script, 20s);
      ASSERT_EQ(run.stuck_at, "");
      ASSERT_TRUE(simulator_saw_close());

      const Transcript traced = read_file(path);
      EXPECT_EQ(traced.sent, requests_in_simulator_log());
      EXPECT_EQ(traced.received, IDENTIFIED + repeated(BLOCK_50, block_requests()));
      ASSERT_EQ(traced.notes.size(), 3u);
      EXPECT_TRUE(traced.notes[0].starts_with("start velmorant-demo trace, 20")) << traced.notes[0];
      EXPECT_EQ(traced.notes[1], "opened COM17: baud=19200 parity=N Data=8 stop=1");
      EXPECT_EQ(traced.notes[2], "closed");
    }
    EXPECT_EQ(read_file(path).notes.back(), "end");
    std::remove(path.c_str());
  }
}

// Against the hang-up scenario (three blocks): the trace holds every byte the
// program received before the interface was lost, while the program still
// runs. The line may drop the end of the last block with the hang-up, so of
// that block a beginning is traced, and the port's closing is noted when the
// loss is told.
TEST(TraceOfALostInterface, HoldsEveryByteUpToTheEnd) {
  const std::string path = "trace_test_lost.txt";
  std::remove(path.c_str());
  TraceFile trace;
  ASSERT_TRUE(trace.start(path));
  Script script;
  script.act("press Connect", press_connect).wait_until("the third block", [] { return block_requests() >= 3; });
  script.wait_until("the loss in the log", [] { return text_of(GADGET_LOG).ends_with("Interface lost on COM17\r"); });
  script.act("read the trace", [&] {
    const Transcript traced = read_file(path);
    const std::string before_last = IDENTIFIED + repeated(BLOCK_50, 2);
    ASSERT_TRUE(traced.received.starts_with(before_last)) << traced.received;
    EXPECT_TRUE(BLOCK_50.starts_with(traced.received.substr(before_last.size()))) << traced.received;
    // A request written just before the hang-up went out, though the simulator never read it.
    const std::string read = requests_in_simulator_log();
    EXPECT_TRUE(traced.sent == read || traced.sent == read + "0805\r") << traced.sent;
    ASSERT_GE(traced.notes.size(), 3u);
    EXPECT_EQ(traced.notes[1], "opened COM17: baud=19200 parity=N Data=8 stop=1");
    EXPECT_EQ(traced.notes[2], "closed");
  });
  RUN_PROGRAM(run, script, 20s) << ", the log: " << escape_bytes(run.log_at_end);
  std::remove(path.c_str());
}

#ifndef _WIN32
// On a full disk (a small tmpfs of its own, in_small_tmpfs.sh) the trace's
// stop is told in the log as the lost interface is, the program goes on
// polling, and once there is room again the trace says how many lines it lost.
TEST(TraceOnAFullDisk, IsToldInTheLogAndTheLostLinesAreCounted) {
  const std::string folder = environment_path("VELMORANT_SMALL_FOLDER");
  ASSERT_FALSE(folder.empty()) << "run me through in_small_tmpfs.sh";
  const std::string path = folder + "/trace.txt", filler = folder + "/filler";
  const std::string told = "Trace stopped: cannot write " + path + ": No space left on device\r";
  const auto trace_text = [&] {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
  };
  TraceFile trace;
  ASSERT_TRUE(trace.start(path));
  std::size_t blocks_when_told = 0;
  Script script;
  script.act("press Connect", press_connect).wait_until("two blocks", [] { return block_requests() >= 2; });
  script.act("fill the disk", [&] {
    std::ofstream fill(filler, std::ios::binary);
    const std::string block(512, 'f');
    while (fill.write(block.data(), block.size()) && fill.flush()) {
    }
  });
  script.wait_until("the stop in the log", [&] { return text_of(GADGET_LOG).find(told) != std::string::npos; });
  script.act("count the blocks", [&] { blocks_when_told = block_requests(); });
  script.wait_until("two blocks more", [&] { return block_requests() >= blocks_when_told + 2; });
  script.act("make room", [&] { std::remove(filler.c_str()); });
  script.wait_until("the count in the trace", [&] { return trace_text().find("\n# lost ") != std::string::npos; });
  RUN_PROGRAM(run, script, 30s) << ", the log: " << escape_bytes(run.log_at_end);
  const std::string text = trace_text();
  EXPECT_EQ(text.back(), '\n');
  read_file(path);  // every line whole
  std::remove(path.c_str());
}
#endif

// What the window showed: the read-outs, and the log when the program ended.
struct Shown {
  std::vector<std::string> readouts;
  std::string log;
};

void write_shown(const std::string& path, const Shown& shown) {
  std::ofstream file(path, std::ios::binary);
  for (const std::string& readout : shown.readouts) file << escape_bytes(readout) << "\n";
  file << "log " << escape_bytes(shown.log) << "\n";
}

Shown read_shown(const std::string& path) {
  Shown shown;
  std::ifstream file(path, std::ios::binary);
  for (std::string line; std::getline(file, line);) {
    const std::string bytes = unescape_bytes(line.starts_with("log ") ? line.substr(4) : line).value_or("?");
    if (line.starts_with("log ")) {
      shown.log = bytes;
    } else {
      shown.readouts.push_back(bytes);
    }
  }
  return shown;
}

// What the program traced and what velmorant-sim --tap recorded of the same
// run (VELMORANT_TRACE, VELMORANT_RECORD; round_trip.sh): the same bytes each
// way, however differently they were cut into pieces.
TEST(RoundTrip, TheTraceAndTheTapsRecordHoldTheSameBytes) {
  const std::string trace_path = environment_path("VELMORANT_TRACE");
  const std::string record_path = environment_path("VELMORANT_RECORD");
  if (trace_path.empty() || record_path.empty()) GTEST_SKIP() << "run by round_trip.sh";
  const Transcript traced = read_file(trace_path);
  const Transcript recorded = read_file(record_path);
  EXPECT_TRUE(traced.sent.starts_with("ati\r")) << traced.sent.substr(0, 20);
  EXPECT_NE(traced.received.find("07 64 "), std::string::npos);
  EXPECT_EQ(traced.sent, recorded.sent);
  EXPECT_EQ(traced.received, recorded.received);
  EXPECT_EQ(recorded.notes.size(), 3u);  // start, opened, closed
}

// The log up to its last prompt: a reply that the close cut short depends on
// when the window was closed.
std::string whole_replies(const std::string& log) {
  const std::size_t prompt = log.rfind("\r>");
  return prompt == std::string::npos ? "" : log.substr(0, prompt + 2);
}

// Runs the program against whatever serves COM17 until the window has shown
// VELMORANT_READOUTS read-outs (for VELMORANT_RUN_SECONDS, 2 by default, when
// there are none to wait for),
// then closes it. What the window showed is written to VELMORANT_WINDOW_SHOWS,
// or, with VELMORANT_WINDOW_COMPARE set, compared with what that file holds:
// the same read-outs in the same order, and, where both runs showed as many,
// logs of which one begins the other (a run may have gone on a little longer).
TEST(WindowShows, WhatTheRecordedRunShowed) {
  const std::string path = environment_path("VELMORANT_WINDOW_SHOWS");
  if (path.empty()) GTEST_SKIP() << "run by replay_fixture.sh and round_trip.sh";
  const char* wanted_text = std::getenv("VELMORANT_READOUTS");
  const std::size_t wanted = wanted_text != nullptr ? std::strtoul(wanted_text, nullptr, 10) : 0;
  TraceFile trace;
  const std::string trace_path = environment_path("VELMORANT_TRACE");
  if (!trace_path.empty()) {
    ASSERT_TRUE(trace.start(trace_path));
  }
  Script script;
  script.act("watch the read-outs", watch_readouts).act("press Connect", press_connect);
  if (wanted > 0) {
    script.wait_until("the read-outs", [&] { return readouts.size() >= wanted; });
  } else {
    const char* seconds = std::getenv("VELMORANT_RUN_SECONDS");
    script.wait_for(std::chrono::seconds(seconds != nullptr ? std::atoi(seconds) : 2));
  }
  // A read-out comes every 100 ms and a little: three times that is plenty.
  RUN_PROGRAM(run, script, std::max<Clock::duration>(30s, wanted * 300ms));
  const Shown shown{readouts, run.log_at_end};
  if (std::getenv("VELMORANT_WINDOW_COMPARE") == nullptr) {
    write_shown(path, shown);
    return;
  }
  const Shown recorded = read_shown(path);
  const std::size_t common = std::min(shown.readouts.size(), recorded.readouts.size());
  EXPECT_GE(common, wanted);
  EXPECT_EQ(std::vector<std::string>(shown.readouts.begin(), shown.readouts.begin() + common),
            std::vector<std::string>(recorded.readouts.begin(), recorded.readouts.begin() + common));
  if (shown.readouts.size() == recorded.readouts.size()) {
    const std::string log = whole_replies(shown.log);
    const std::string recorded_log = whole_replies(recorded.log);
    const bool one_begins_the_other = log.starts_with(recorded_log) || recorded_log.starts_with(log);
    EXPECT_TRUE(one_begins_the_other) << escape_bytes(log) << "\nrecorded:\n" << escape_bytes(recorded_log);
  }
}

}  // namespace
