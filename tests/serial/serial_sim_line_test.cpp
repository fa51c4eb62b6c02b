// The line between the port layer and velmorant-sim across opens and closes,
// Linux only: with_sim.sh starts the simulator (scenario slow-connect, three
// tenths of a second, with its log) linked as COM17 before this runs.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "comm_pty.h"
#include "serial_port.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr char settings_text[] = ": baud=19200 parity=N Data=8 stop=1";

// The simulator's notes about the port ("opened", "closed"), in order.
std::vector<std::string> port_notes() {
  std::vector<std::string> notes;
  std::ifstream log(std::getenv("VELMORANT_SIM_LOG"));
  for (std::string line; std::getline(log, line);) {
    const std::size_t mark = line.find(" # ");
    if (mark != std::string::npos) notes.push_back(line.substr(mark + 3));
  }
  return notes;
}

// Waits until the simulator has noted count opens and closes, or 5 s passed.
std::vector<std::string> wait_for_notes(std::size_t count) {
  std::vector<std::string> notes = port_notes();
  for (auto deadline = Clock::now() + 5s; notes.size() < count && Clock::now() < deadline; notes = port_notes()) {
    std::this_thread::sleep_for(10ms);
  }
  return notes;
}

// "pts/N", the simulator's terminal behind COM17.
std::string simulator_terminal() {
  const std::string target =
      std::filesystem::read_symlink(std::string(std::getenv("VELMORANT_DOSDEVICES")) + "/com17").string();
  return target.substr(5);
}

TEST(SimulatorLine, LogsEveryOpenAndCloseOnceInOrder) {
  const std::size_t before = wait_for_notes(0).size();
  for (int pair = 0; pair < 5; ++pair) {
    SerialPort port = serial_open((std::string("COM17") + settings_text).c_str(), HANDSHAKE_NONE, 255, 255);
    ASSERT_NE(port, nullptr);
    ASSERT_NE(serial_close(port), 0);
  }
  const std::vector<std::string> notes = wait_for_notes(before + 10);
  ASSERT_GE(notes.size(), before);
  const std::vector<std::string> expected = {"opened", "closed", "opened", "closed", "opened",
                                             "closed", "opened", "closed", "opened", "closed"};
  EXPECT_EQ(std::vector<std::string>(notes.begin() + static_cast<long>(before), notes.end()), expected);
}

// A program that closed the line while its connect answer was still to come
// does not leave that answer to the next one.
TEST(SimulatorLine, AnswerToAClosedConnectionIsNotSentToTheNextOne) {
  const std::string settings = std::string("COM17") + settings_text;
  SerialPort first = serial_open(settings.c_str(), HANDSHAKE_NONE, 255, 255);
  ASSERT_NE(first, nullptr);
  ASSERT_EQ(serial_write(first, "atd01\r", 6), 1);
  std::this_thread::sleep_for(50ms);  // the request has arrived; its answer is due in 300 ms
  ASSERT_NE(serial_close(first), 0);

  SerialPort next = serial_open(settings.c_str(), HANDSHAKE_NONE, 255, 255);
  ASSERT_NE(next, nullptr);
  std::this_thread::sleep_for(600ms);  // past the time the old answer was due
  EXPECT_EQ(serial_input_count(next), 0u);
  EXPECT_NE(serial_close(next), 0);
}

// Sends a request and collects its answer up to the prompt.
std::string exchange(SerialPort port, const std::string& request) {
  EXPECT_EQ(serial_write(port, request.data(), static_cast<DWORD>(request.size())), 1);
  std::string reply;
  for (auto deadline = Clock::now() + 10s; reply.find("\r>") == std::string::npos && Clock::now() < deadline;) {
    char byte = 0;
    if (serial_input_count(port) > 0 && serial_read(port, &byte, 1))
      reply += byte;
    else
      std::this_thread::sleep_for(1ms);
  }
  return reply;
}

TEST(SimulatorLine, SlowConnectAnswersTheConnectRequestAfterItsWaitAndTheRestAtOnce) {
  SerialPort port = serial_open((std::string("COM17") + settings_text).c_str(), HANDSHAKE_NONE, 255, 255);
  ASSERT_NE(port, nullptr);
  auto start = Clock::now();
  EXPECT_EQ(exchange(port, "atd01\r"), "CONNECT 01\r>");
  EXPECT_GE(Clock::now() - start, 300ms);
  start = Clock::now();
  EXPECT_EQ(exchange(port, "ati\r"), "Velmorant VD-1 simulator\r>");
  EXPECT_LT(Clock::now() - start, 300ms) << "only the connect answer waits";
  EXPECT_NE(serial_close(port), 0);
}

// Exclusive use as an ordinary user (root passes over it): a second program
// is refused while the first holds the line, and a holder killed with
// SIGKILL, which closes nothing itself, does not keep the line locked while
// the simulator goes on serving it.
TEST(SimulatorLine, KilledHolderDoesNotLeaveTheLineLocked) {
  const std::string terminal = simulator_terminal();
  ASSERT_EQ(chmod(("/dev/" + terminal).c_str(), 0666), 0);
  const std::string settings = terminal + settings_text;
  auto try_open = [&]() -> std::string {
    SetLastError(0);
    SerialPort port = serial_open(settings.c_str(), HANDSHAKE_NONE, 255, 255);
    if (port != nullptr) return "opened";
    return "refused with " + std::to_string(GetLastError());
  };
  auto unprivileged = [&](auto body) {
    return [body]() -> std::string {
      if (std::string failure = become_unprivileged(); !failure.empty()) return failure;
      return body();
    };
  };

  Child holder(unprivileged(try_open), true);
  ASSERT_EQ(holder.report(), "opened");
  Child second(unprivileged(try_open));
  EXPECT_EQ(second.report(), "refused with " + std::to_string(ERROR_SHARING_VIOLATION));
  EXPECT_TRUE(second.finished());

  holder.kill_now();
  Child next(unprivileged([&]() -> std::string {
    // The simulator sees the close a moment after the kill.
    std::string result = try_open();
    for (auto deadline = Clock::now() + 5s; result != "opened" && Clock::now() < deadline; result = try_open()) {
      std::this_thread::sleep_for(10ms);
    }
    return result;
  }));
  EXPECT_EQ(next.report(), "opened");
  EXPECT_TRUE(next.finished());
}

}  // namespace
