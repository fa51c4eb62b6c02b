// CreateFileA on device paths and CloseHandle, against real pseudo-terminals.
#include <gtest/gtest.h>
#include <platform_ext.h>
#include <windows.h>

#include "comm_pty.h"

namespace {

HANDLE open_device(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

TEST(CommOpen, OpensATerminalByItsDeviceName) {
  PtyPair pty;
  HANDLE port = open_device(pty.device_path());
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  EXPECT_NE(port, nullptr);
  EXPECT_GE(platform_handle_fd(port), 0);
  EXPECT_TRUE(CloseHandle(port));
  EXPECT_EQ(platform_handle_fd(port), -1) << "a closed handle has no descriptor";
}

TEST(CommOpen, HandleIsNeitherZeroNorMinusOneWhenTheDescriptorIsZero) {
  PtyPair pty;
  const int saved_stdin = dup(0);
  close(0);  // the next descriptor the open gets is 0
  HANDLE port = open_device(pty.device_path());
  const int fd = platform_handle_fd(port);
  EXPECT_NE(port, nullptr);
  EXPECT_NE(port, INVALID_HANDLE_VALUE);
  EXPECT_EQ(fd, 0);
  EXPECT_TRUE(CloseHandle(port));
  dup2(saved_stdin, 0);
  close(saved_stdin);
}

TEST(CommOpen, SecondOpenOfAnOpenPortIsRefusedUntilItIsClosed) {
  PtyPair pty;
  HANDLE first = open_device(pty.device_path());
  ASSERT_NE(first, INVALID_HANDLE_VALUE);

  SetLastError(0);
  EXPECT_EQ(open_device(pty.device_path()), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

  EXPECT_TRUE(CloseHandle(first));
  HANDLE again = open_device(pty.device_path());
  EXPECT_NE(again, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(again));
}

TEST(CommOpen, NamesOutsideDevAreRefused) {
  for (const char* path : {"\\\\.\\../etc/passwd", "\\\\.\\pts/../../etc/passwd", "\\\\.\\/dev/null",
                           "\\\\.\\/etc/passwd", "\\\\.\\..", "\\\\.\\pts\\0", "\\\\.\\"}) {
    SetLastError(0);
    EXPECT_EQ(open_device(path), INVALID_HANDLE_VALUE) << path;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME)) << path;
  }
}

TEST(CommOpen, OnlyDevicePathsAreOpened) {
  SetLastError(0);
  EXPECT_EQ(open_device("/dev/null"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(CreateFileA(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
}

TEST(CommOpen, MissingDeviceIsNotFound) {
  SetLastError(0);
  EXPECT_EQ(open_device("\\\\.\\ttyVELMORANT9"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(CommOpen, OverlappedAndCreatingOpensAreRefused) {
  PtyPair pty;
  EXPECT_EQ(CreateFileA(pty.device_path().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                        nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(CreateFileA(pty.device_path().c_str(), GENERIC_READ, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
            INVALID_HANDLE_VALUE);
}

TEST(CommOpen, ComNameFollowsItsLinkInTheLinkFolder) {
  PtyPair pty;
  ComLinkFolder links;
  links.link("com17", pty.dev_path());
  HANDLE port = open_device("\\\\.\\COM17");
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(port, "via com17", 9, &written, nullptr));
  EXPECT_EQ(pty.receive(9), "via com17");
  EXPECT_TRUE(CloseHandle(port));

  HANDLE lower_case = open_device("\\\\.\\com17");
  EXPECT_NE(lower_case, INVALID_HANDLE_VALUE) << "COM names are case-insensitive";
  CloseHandle(lower_case);
}

TEST(CommOpen, ComNameWithoutLinkIsTheBuiltInUart) {
  ComLinkFolder links;  // empty: COM200 is /dev/ttyS199, which no machine has
  SetLastError(0);
  EXPECT_EQ(open_device("\\\\.\\COM200"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(CommOpen, DeviceThatIsNoTerminalOpensButIsNoSerialPort) {
  HANDLE null_device = open_device("\\\\.\\null");
  ASSERT_NE(null_device, INVALID_HANDLE_VALUE);
  DCB dcb{};
  SetLastError(0);
  EXPECT_FALSE(GetCommState(null_device, &dcb));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  COMMTIMEOUTS timeouts{};
  EXPECT_FALSE(SetCommTimeouts(null_device, &timeouts));
  EXPECT_TRUE(CloseHandle(null_device));
}

TEST(CommOpen, InvalidAndClosedHandlesAreRefused) {
  DCB dcb{};
  COMSTAT status{};
  DWORD value = 0;
  char byte = 0;
  for (HANDLE handle : {INVALID_HANDLE_VALUE, static_cast<HANDLE>(nullptr)}) {
    SetLastError(0);
    EXPECT_FALSE(GetCommState(handle, &dcb));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(ClearCommError(handle, &value, &status));
    EXPECT_FALSE(ReadFile(handle, &byte, 1, &value, nullptr));
    EXPECT_FALSE(WriteFile(handle, &byte, 1, &value, nullptr));
    EXPECT_FALSE(EscapeCommFunction(handle, SETDTR));
    EXPECT_FALSE(CloseHandle(handle));
  }
  PtyPair pty;
  HANDLE port = open_device(pty.device_path());
  ASSERT_TRUE(CloseHandle(port));
  SetLastError(0);
  EXPECT_FALSE(CloseHandle(port)) << "closing twice";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
