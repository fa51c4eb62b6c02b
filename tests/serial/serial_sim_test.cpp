// The port layer in conversation with velmorant-sim on COM17: on Linux over
// our comm functions, under Wine over Win32's. with_sim.sh starts the
// simulator (scenario "fixed", 50 km/h) linked as COM17 before this runs.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "serial_port.h"
#include "serial_trace.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr char settings[] = "COM17: baud=19200 parity=N Data=8 stop=1";

// Sends a request and collects the answer byte by byte, reading only after a
// positive count, until it holds the prompt: the program's own way of talking.
std::string exchange(SerialPort port, const std::string& request) {
  EXPECT_EQ(serial_write(port, request.data(), static_cast<DWORD>(request.size())), 1);
  std::string reply;
  for (auto deadline = Clock::now() + 10s; reply.find("\r>") == std::string::npos && Clock::now() < deadline;) {
    if (serial_input_count(port) == 0) {
      std::this_thread::sleep_for(1ms);
      continue;
    }
    char byte = 0;
    if (serial_read(port, &byte, 1)) reply += byte;
  }
  return reply;
}

class OverTheSimulator : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = serial_open(settings, HANDSHAKE_NONE, 255, 255);
    ASSERT_NE(port_, nullptr) << "COM17 did not open: is velmorant-sim linked as COM17?";
  }
  void TearDown() override {
    if (port_ != nullptr) {
      EXPECT_NE(serial_close(port_), 0);
    }
  }
  SerialPort port_ = nullptr;
};

TEST_F(OverTheSimulator, IdentifiesConnectsAndReadsTheSpeed) {
  EXPECT_NE(exchange(port_, "ati\r").find("Velmorant"), std::string::npos);
  const std::string connected = exchange(port_, "atd01\r");
  EXPECT_GE(connected.size(), 2u);
  EXPECT_EQ(connected.substr(connected.size() - 2), "\r>");
  const std::string block = exchange(port_, "0805\r");
  EXPECT_NE(block.find("07 64 32"), std::string::npos) << block;
  EXPECT_EQ(serial_input_count(port_), 0u) << "nothing left over after the prompt";
}

TEST_F(OverTheSimulator, ReadOnAnEmptyQueueSucceedsAndLeavesTheBuffer) {
  char buffer = '#';
  const auto start = Clock::now();
  EXPECT_NE(serial_read(port_, &buffer, 1), 0);
  EXPECT_EQ(buffer, '#');
  EXPECT_GE(Clock::now() - start, 90ms) << "about 10 x 1 + 100 ms";
}

// Exclusive use while open is checked by the native tests only: Wine, unlike
// Windows, lets one process open the same COM port twice.
TEST_F(OverTheSimulator, PortOpensAgainAfterClose) {
  ASSERT_NE(serial_close(port_), 0);
  port_ = serial_open(settings, HANDSHAKE_NONE, 255, 255);
  ASSERT_NE(port_, nullptr);
  EXPECT_NE(exchange(port_, "ati\r").find("Velmorant"), std::string::npos);
}

TEST_F(OverTheSimulator, ErrorWordOfAQuietLineIsZero) {
  EXPECT_EQ(serial_error_flags(port_), 0u);
  EXPECT_EQ(serial_output_count(port_), 0u);
}

// ReadIntervalTimeout MAXDWORD with a constant alone: with nothing coming, the
// read waits for the constant and returns nothing. (Where bytes are waiting
// or arrive, Wine waits for the whole total, unlike the Windows driver that
// the documentation describes: those cases are tested on Linux alone.)
TEST_F(OverTheSimulator, MaxdwordIntervalWaitsForItsConstantWhenNothingComes) {
  ASSERT_TRUE(serial_set_timeouts(port_, MAXDWORD, 300, 0, 0, 0));
  char buffer[10] = {};
  DWORD read = 99;
  const auto start = Clock::now();
  ASSERT_TRUE(ReadFile(port_, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(read, 0u);
  EXPECT_GE(Clock::now() - start, 250ms);
}

// Scenario hang-up, one block (a run of its own): the interface hangs up once
// the block is sent, as the line of an unplugged adapter or of a killed
// simulator does. From then on every call that asks the line fails with a
// reason (under Wine, ERROR_NOT_READY), which tells a lost interface from a
// quiet one, and a read takes nothing.
TEST(HungUp, EveryCallFailsWithAReasonAndAReadTakesNothing) {
  const SerialPort port = serial_open(settings, HANDSHAKE_NONE, 255, 255);
  ASSERT_NE(port, nullptr);
  EXPECT_NE(exchange(port, "ati\r").find("Velmorant"), std::string::npos);
  exchange(port, "atd01\r");
  ASSERT_EQ(serial_write(port, "0805\r", 5), 1);
  // Whatever of the block comes before the hang-up is read first.
  for (const auto deadline = Clock::now() + 5s; Clock::now() < deadline; std::this_thread::sleep_for(1ms)) {
    SetLastError(ERROR_SUCCESS);
    const DWORD waiting = serial_input_count(port);
    if (waiting == 0 && GetLastError() != ERROR_SUCCESS) break;
    char byte = 0;
    if (waiting > 0) serial_read(port, &byte, 1);
  }
  const struct {
    const char* what;
    std::function<DWORD()> call;
  } calls[] = {
      {"serial_write", [&] { return static_cast<DWORD>(serial_write(port, "0805\r", 5)); }},
      {"serial_input_count", [&] { return serial_input_count(port); }},
      {"serial_output_count", [&] { return serial_output_count(port); }},
      {"serial_error_flags", [&] { return serial_error_flags(port); }},
  };
  for (const auto& call : calls) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(call.call(), 0u) << call.what;
    EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS)) << call.what;
  }
  char byte = '#';
  serial_read(port, &byte, 1);
  EXPECT_EQ(byte, '#');
  EXPECT_NE(serial_close(port), 0);
}

// What a trace is told: each open with its settings and result, the bytes
// each write put out and each read took in (nothing for a write of none or a
// read that found none), and each close; nothing once it is taken away.
class Observer : public SerialTrace {
 public:
  void opened(std::string_view settings_text, bool succeeded) override {
    told += "open " + std::string(settings_text) + (succeeded ? " ok;" : " failed;");
  }
  void sent(std::string_view bytes) override { told += "> " + std::string(bytes) + ";"; }
  void received(std::string_view bytes) override { told += "< " + std::string(bytes) + ";"; }
  void closed() override { told += "closed;"; }
  std::string told;
};

TEST(Traced, ATraceIsToldEveryOpenTransferAndClose) {
  Observer observer;
  serial_set_trace(&observer);
  EXPECT_EQ(serial_open("COM99: baud=19200", HANDSHAKE_NONE, 255, 255), nullptr);
  const SerialPort port = serial_open(settings, HANDSHAKE_NONE, 255, 255);
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(serial_write(port, "", 0), 1);
  char byte = 0;
  EXPECT_NE(serial_read(port, &byte, 1), 0);  // nothing waits: times out with none
  const std::string reply = exchange(port, "ati\r");
  EXPECT_NE(serial_close(port), 0);
  serial_set_trace(nullptr);
  serial_close(serial_open(settings, HANDSHAKE_NONE, 255, 255));

  std::string expected = "open COM99: baud=19200 failed;open " + std::string(settings) + " ok;> ati\r;";
  for (char c : reply) expected += "< " + std::string(1, c) + ";";
  EXPECT_EQ(observer.told, expected + "closed;");
}

}  // namespace
