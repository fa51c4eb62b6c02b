// Our wait for descriptors and messages together (Linux only: the program's
// serial waits use it, Windows waits for handles instead).
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform_ext.h"
#include "test_support.h"

namespace {

struct Pipe {
  int fds[2];
  Pipe() { EXPECT_EQ(pipe(fds), 0); }
  ~Pipe() {
    close(fds[0]);
    close(fds[1]);
  }
};

TEST(Wait, WakesForDataOnADescriptor) {
  test_support::pump_messages();
  Pipe a, b;
  ASSERT_EQ(write(b.fds[1], "x", 1), 1);
  int fds[2] = {a.fds[0], b.fds[0]};
  EXPECT_EQ(platform_wait_for_input(fds, 2, 5000), WAIT_OBJECT_0 + 1);
}

TEST(Wait, WakesForAMessageAndReportsItAfterTheDescriptors) {
  test_support::pump_messages();
  Pipe a;
  PostMessageA(nullptr, WM_APP + 9, 0, 0);
  EXPECT_EQ(platform_wait_for_input(&a.fds[0], 1, 5000), WAIT_OBJECT_0 + 1);
  MSG msg;
  EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_APP + 9, WM_APP + 9, PM_REMOVE)) << "the message is still there";
}

TEST(Wait, EndsAtTheTimeoutWhenNothingComes) {
  test_support::pump_messages();
  Pipe a;
  DWORD start = GetTickCount();
  EXPECT_EQ(platform_wait_for_input(&a.fds[0], 1, 80), WAIT_TIMEOUT);
  EXPECT_GE(GetTickCount() - start, 70u);
}

TEST(Wait, AHungUpDescriptorCountsAsReady) {
  test_support::pump_messages();
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[1]);
  EXPECT_EQ(platform_wait_for_input(&fds[0], 1, 5000), WAIT_OBJECT_0);
  close(fds[0]);
}

}  // namespace
