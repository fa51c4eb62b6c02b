// The line that the connection talks through, on a pseudo-terminal whose
// other end the test holds: what loses the line (a failed count, read or
// write, a hang-up) and what does not (silence, bytes), and that closing and
// opening it again leave no handle behind.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <functional>
#include <string>

#include "comm_pty.h"
#include "line.h"
#include "main_window.h"

namespace {

std::string settings_of(const std::string& name) { return name + std::string(SERIAL_SETTINGS_SUFFIX); }

int descriptors_now() {
  return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}

// The count once the device's bytes have reached the port, or 0 after 5 s.
DWORD count_when_in(Line& line) {
  for (int i = 0; i < 500; ++i) {
    if (const DWORD count = line.input_count(); count > 0) return count;
    Sleep(10);
  }
  return 0;
}

// Refused: a handle that is no port (a timer), which every comm function refuses.
enum class Device { Quiet, SendsA, HungUp, Refused };

struct Row {
  const char* what;
  Device device;
  std::function<bool(Line&, PtyPair&)> act;  // what the call returned, as true or false
  bool result, lost;
};

TEST(Line, LostOnlyWhenTheSystemReportsAFailure) {
  const Row rows[] = {
      {"a quiet line counts nothing", Device::Quiet, [](Line& l, PtyPair&) { return l.input_count() > 0; }, false,
       false},
      {"a write reaches the device", Device::Quiet,
       [](Line& l, PtyPair& pty) {
         l.write("ati\r");
         return pty.receive(4) == "ati\r";
       },
       true, false},
      {"a byte that came is counted and read", Device::SendsA,
       [](Line& l, PtyPair&) {
         char byte = 0;
         return count_when_in(l) == 1 && l.read(&byte) && byte == 'A';
       },
       true, false},
      {"a write to a line hung up", Device::HungUp, [](Line& l, PtyPair&) { return l.write("ati\r"), true; }, true,
       true},
      {"a read of a line hung up", Device::HungUp,
       [](Line& l, PtyPair&) {
         char byte = 0;
         return l.read(&byte);
       },
       false, true},
      {"a count the system refuses", Device::Refused, [](Line& l, PtyPair&) { return l.input_count() > 0; }, false,
       true},
      {"a read the system refuses", Device::Refused,
       [](Line& l, PtyPair&) {
         char byte = 0;
         return l.read(&byte);
       },
       false, true},
      {"a write the system refuses", Device::Refused, [](Line& l, PtyPair&) { return l.write("ati\r"), true; }, true,
       true},
  };
  for (const Row& row : rows) {
    PtyPair pty;
    const SerialPort port = row.device == Device::Refused
                                ? CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS)
                                : serial_open(settings_of(pty.name()).c_str(), HANDSHAKE_NONE, QUEUE_SIZE, QUEUE_SIZE);
    ASSERT_NE(port, nullptr) << row.what;
    if (row.device == Device::SendsA) pty.send("A");
    if (row.device == Device::HungUp) pty.hang_up();
    Line line(port);
    EXPECT_EQ(row.act(line, pty), row.result) << row.what;
    EXPECT_EQ(line.lost(), row.lost) << row.what;
    line.close();
  }
}

TEST(Line, ClosedAndOpenedAgainItHoldsOneHandleAndIsNoLongerLost) {
  PtyPair pty;
  const int before = descriptors_now();
  Line line(serial_open(settings_of(pty.name()).c_str(), HANDSHAKE_NONE, QUEUE_SIZE, QUEUE_SIZE));
  ASSERT_NE(line.port(), nullptr);
  line.note_hang_up();
  EXPECT_TRUE(line.lost());
  line.close();
  line.close();
  EXPECT_EQ(line.port(), nullptr);
  EXPECT_EQ(descriptors_now(), before) << "the handle was closed";
  EXPECT_TRUE(line.reopen(settings_of(pty.name())));
  EXPECT_NE(line.port(), nullptr);
  EXPECT_FALSE(line.lost());
  EXPECT_TRUE(line.reopen(settings_of(pty.name())));
  line.note_hang_up();
  EXPECT_FALSE(line.reopen(settings_of("pts/999")));
  EXPECT_EQ(line.port(), nullptr);
  EXPECT_EQ(descriptors_now(), before) << "each open closed the handle before it";
}

}  // namespace
