// CreateFileA on device paths and CloseHandle, against real pseudo-terminals.
#include <gtest/gtest.h>
#include <platform_ext.h>
#include <windows.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <thread>

#include "comm/com_links.h"
#include "comm/port_checks.h"
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

TEST(CommOpen, AccessIsWhatWasAskedFor) {
  PtyPair pty;
  char byte = 'x';
  DWORD count = 0;
  HANDLE reading = CreateFileA(pty.device_path().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reading, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(WriteFile(reading, &byte, 1, &count, nullptr));
  EXPECT_TRUE(CloseHandle(reading));
  HANDLE writing = CreateFileA(pty.device_path().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writing, INVALID_HANDLE_VALUE);
  COMMTIMEOUTS at_once{MAXDWORD, 0, 0, 0, 0};
  ASSERT_TRUE(SetCommTimeouts(writing, &at_once));
  EXPECT_FALSE(ReadFile(writing, &byte, 1, &count, nullptr));
  EXPECT_TRUE(WriteFile(writing, &byte, 1, &count, nullptr));
  EXPECT_EQ(pty.receive(1), "x");
  EXPECT_TRUE(CloseHandle(writing));
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
  EXPECT_EQ(fcntl(0, F_GETFD), -1) << "descriptor 0 is closed with its handle";
  dup2(saved_stdin, 0);
  close(saved_stdin);
}

TEST(CommOpen, SecondOpenOfAnOpenPortIsRefusedUntilItIsClosed) {
  PtyPair pty;
  HANDLE first = open_device(pty.device_path());
  ASSERT_NE(first, INVALID_HANDLE_VALUE);

  SetLastError(0);
  EXPECT_EQ(open_device(pty.device_path()), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

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

// A device named by a file path is a file's handle: looked at (a character
// device), never opened, and no port for the comm functions.
TEST(CommOpen, OnlyDevicePathsAreOpened) {
  HANDLE file = open_device("/dev/null");
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileType(file), static_cast<DWORD>(FILE_TYPE_CHAR));
  EXPECT_EQ(platform_handle_fd(file), -1);
  DCB dcb{};
  SetLastError(0);
  EXPECT_FALSE(GetCommState(file, &dcb));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  char byte = 0;
  DWORD count = 0;
  EXPECT_FALSE(ReadFile(file, &byte, 1, &count, nullptr));
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_EQ(CreateFileA(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
}

TEST(CommOpen, MissingDeviceIsNotFound) {
  SetLastError(0);
  EXPECT_EQ(open_device("\\\\.\\ttyVELMORANT9"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(CommOpen, OverlappedAndCreatingOpensAreRefused) {
  PtyPair pty;
  EXPECT_EQ(
      CreateFileA(pty.device_path().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr),
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

TEST(CommOpen, ComNamesAreCOMAndANumberFrom1To9999) {
  const struct {
    const char* name;
    std::optional<unsigned> number;
  } names[] = {
      {"COM1", 1u},
      {"com17", 17u},
      {"CoM9999", 9999u},
      {"COM0", std::nullopt},
      {"COM01", std::nullopt},
      {"COM", std::nullopt},
      {"COM10000", std::nullopt},
      {"XOM1", std::nullopt},
      {"CXM1", std::nullopt},
      {"COX1", std::nullopt},
      {"COM1a", std::nullopt},
      {"COM-1", std::nullopt},
      {"pts/1", std::nullopt},
      {"LPT1", std::nullopt},
  };
  for (const auto& n : names) EXPECT_EQ(com_port_number(n.name), n.number) << n.name;
  EXPECT_EQ(com_link_name(17), "com17");
}

// The settings text names the port first; here that may be a Linux device
// name, which needs its colon (Win32 knows only "COMn").
TEST(CommOpen, SettingsTextMayStartWithALinuxDeviceName) {
  for (const char* text : {"pts/9: baud=9600", "ttyS9:baud=9600", "ttyUSB0:  baud=9600", "acm0: baud=9600",
                           "a: baud=9600", "z_-.9/Z0: baud=9600", "A9: baud=9600"}) {
    DCB dcb{};
    EXPECT_TRUE(BuildCommDCBA(text, &dcb)) << text;
    EXPECT_EQ(dcb.BaudRate, 9600u) << text;
  }
  for (const char* text :
       {"9pts: baud=9600", "pts/9 baud=9600", "/dev/pts/9: baud=9600", "pts 9: baud=9600", "pts/9"}) {
    DCB dcb{};
    EXPECT_FALSE(BuildCommDCBA(text, &dcb)) << text;
  }
}

TEST(CommOpen, SettingsTextAndDcbAreBothNeeded) {
  DCB dcb{};
  SetLastError(0);
  EXPECT_FALSE(BuildCommDCBA("baud=9600", nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  SetLastError(0);
  EXPECT_FALSE(BuildCommDCBA(nullptr, &dcb));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(CommOpen, ComNameWithoutLinkIsTheBuiltInUart) {
  ComLinkFolder links;  // empty: COM200 is /dev/ttyS199, which no machine has
  SetLastError(0);
  EXPECT_EQ(open_device("\\\\.\\COM200"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// A terminal's settings as raw bytes, to tell that nothing at all changed.
std::string terminal_state(int fd) {
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) return "unreadable";
  return std::string(reinterpret_cast<const char*>(&settings), sizeof settings);
}

// Names that lead to a terminal someone is using, or to a device that is no
// serial line, from a program started in a shell: the child below is such a
// program, with its own pseudo-terminal as controlling terminal and standard
// streams, while another session holds a second one. Each name must be
// refused with its error, and neither terminal may change in any way.
TEST(CommOpen, NamesOfTerminalsInUseAndOfOtherDevicesAreRefusedWithoutTouchingThem) {
  Child other_session([] { return become_session_on_new_terminal(); }, true);
  const std::string other_terminal = other_session.report();
  ASSERT_FALSE(other_terminal.empty());
  ComLinkFolder links;
  const std::string shm_link = "shm/velmorant-test-" + std::to_string(getpid());
  const std::string regular_file = "/dev/shm/velmorant-test-file-" + std::to_string(getpid());
  std::ofstream(regular_file) << "not a device";

  // COM1 without a link is /dev/ttyS0: the kernel's console on many virtual
  // machines (this one's too, when its console list names it).
  std::string consoles;
  std::getline(std::ifstream("/sys/class/tty/console/active"), consoles);
  const bool com1_is_console = (" " + consoles + " ").find(" ttyS0 ") != std::string::npos;
  const bool com1_exists = access("/dev/ttyS0", F_OK) == 0;

  Child program([&]() -> std::string {
    const std::string own = become_session_on_new_terminal();
    if (own.empty()) return "no terminal";
    const int other_fd = open(("/dev/" + other_terminal).c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    const std::string own_before = terminal_state(0);
    const std::string other_before = terminal_state(other_fd);
    links.link("com5", "/dev/" + own);
    symlink(("/dev/" + own).c_str(), ("/dev/" + shm_link).c_str());
    symlink(regular_file.c_str(), ("/dev/" + shm_link + "-file").c_str());

    const struct {
      std::string name;
      DWORD error;
    } cases[] = {
        {"tty", ERROR_BAD_DEVICE},
        {"stdin", ERROR_BAD_DEVICE},
        {"stdout", ERROR_BAD_DEVICE},
        {"stderr", ERROR_BAD_DEVICE},
        {"fd/0", ERROR_BAD_DEVICE},
        {"fd/1", ERROR_BAD_DEVICE},
        {"fd/2", ERROR_BAD_DEVICE},
        {own, ERROR_BAD_DEVICE},
        {other_terminal, ERROR_BAD_DEVICE},
        {shm_link, ERROR_BAD_DEVICE},
        {shm_link + "-file", ERROR_FILE_NOT_FOUND},
        {"COM5", ERROR_BAD_DEVICE},
        {"console", ERROR_BAD_DEVICE},
        {"tty0", ERROR_BAD_DEVICE},
        {"tty1", ERROR_BAD_DEVICE},
        {"tty63", ERROR_BAD_DEVICE},
        {"ptmx", ERROR_BAD_DEVICE},
        {"pts/ptmx", ERROR_BAD_DEVICE},
        {"vcs", ERROR_FILE_NOT_FOUND},
        {"vcsa1", ERROR_FILE_NOT_FOUND},
        {"null", ERROR_FILE_NOT_FOUND},
        {"zero", ERROR_FILE_NOT_FOUND},
        {"pts", ERROR_FILE_NOT_FOUND},
        {"shm", ERROR_FILE_NOT_FOUND},
        {"COM1", com1_is_console ? DWORD{ERROR_BAD_DEVICE} : DWORD{ERROR_FILE_NOT_FOUND}},
    };
    std::string faults;
    for (const auto& c : cases) {
      if (c.name == "COM1" && com1_exists && !com1_is_console) continue;  // an ordinary UART: not ours to open
      SetLastError(0);
      HANDLE port = open_device("\\\\.\\" + c.name);
      if (port != INVALID_HANDLE_VALUE) {
        faults += c.name + " opened; ";
        CloseHandle(port);
      } else if (GetLastError() != c.error) {
        faults += c.name + " failed with " + std::to_string(GetLastError()) + "; ";
      }
    }
    if (terminal_state(0) != own_before) faults += "own terminal changed; ";
    if (terminal_state(other_fd) != other_before) faults += "other session's terminal changed; ";
    unlink(("/dev/" + shm_link).c_str());
    unlink(("/dev/" + shm_link + "-file").c_str());
    return faults.empty() ? "refused" : faults;
  });
  EXPECT_EQ(program.report(), "refused");
  EXPECT_TRUE(program.finished());
  std::remove(regular_file.c_str());
}

// Devices this machine may not have, by their numbers.
TEST(CommOpen, SystemTerminalsAndPseudoTerminalsAreKnownByTheirNumbers) {
  const struct {
    unsigned major, minor;
    bool system, pty;
  } devices[] = {
      {5, 0, true, false},    {5, 1, true, false},    {5, 2, true, false},   {4, 0, true, false},
      {4, 63, true, false},   {4, 64, false, false},  {4, 65, false, false}, {7, 0, true, false},
      {7, 129, true, false},  {6, 0, false, false},   {3, 0, false, false},  {8, 0, false, false},
      {135, 0, false, false}, {136, 0, false, true},  {143, 9, false, true}, {144, 0, false, false},
      {188, 0, false, false}, {166, 0, false, false},
  };
  for (const auto& d : devices) {
    EXPECT_EQ(is_system_terminal(d.major, d.minor), d.system) << d.major << ":" << d.minor;
    EXPECT_EQ(is_pty_terminal(d.major), d.pty) << d.major;
  }
}

TEST(CommOpen, ConsoleListAndProcessTerminalNumbersAreRead) {
  EXPECT_TRUE(list_holds("tty0 ttyS0\n", "ttyS0"));
  EXPECT_TRUE(list_holds("ttyS0", "ttyS0"));
  EXPECT_TRUE(list_holds("\tttyS0 ttyS1", "ttyS1"));
  EXPECT_TRUE(list_holds("  hvc0\n", "hvc0"));
  EXPECT_FALSE(list_holds("tty0 ttyS0\n", "ttyS"));
  EXPECT_FALSE(list_holds("tty0 ttyS01\n", "ttyS0"));
  EXPECT_FALSE(list_holds("xttyS0", "ttyS0"));
  EXPECT_FALSE(list_holds("", "ttyS0"));
  EXPECT_FALSE(list_holds("tty0", ""));
  // The kernel's encoding: minor bits 0-7, major bits 8-19, minor bits 8-19 at 20-31.
  EXPECT_EQ(device_of_tty_number(34817), makedev(136, 1));
  EXPECT_EQ(device_of_tty_number(1024 + 64), makedev(4, 64));
  EXPECT_EQ(device_of_tty_number((0x123ul << 20) | (137ul << 8) | 0x45), makedev(137, 0x12345));
  EXPECT_EQ(device_of_tty_number((0xfffu << 8)), makedev(0xfff, 0));
}

TEST(CommOpen, OrdinaryTerminalOpensByItsNameAndThroughLinks) {
  PtyPair pty;
  ComLinkFolder links;
  links.link("com9", pty.dev_path());
  const std::string shm_link = "shm/velmorant-test-pty-" + std::to_string(getpid());
  ASSERT_EQ(symlink(pty.dev_path().c_str(), ("/dev/" + shm_link).c_str()), 0);
  for (const std::string& name : {pty.name(), std::string("COM9"), shm_link}) {
    HANDLE port = open_device("\\\\.\\" + name);
    EXPECT_NE(port, INVALID_HANDLE_VALUE) << name;
    EXPECT_TRUE(CloseHandle(port)) << name;
  }
  unlink(("/dev/" + shm_link).c_str());
}

// Bytes that reached the line before the open are not the start of what the
// new holder reads. (A pseudo-terminal hands what is written straight to the
// other side, so it has no output queue to empty.)
TEST(CommOpen, OpeningEmptiesTheInputQueue) {
  PtyPair pty;
  pty.send("stale");
  std::this_thread::sleep_for(std::chrono::milliseconds(20));

  HANDLE port = open_device(pty.device_path());
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  COMSTAT status{};
  ASSERT_TRUE(ClearCommError(port, nullptr, &status));
  EXPECT_EQ(status.cbInQue, 0u);
  COMMTIMEOUTS at_once{MAXDWORD, 0, 0, 0, 0};
  ASSERT_TRUE(SetCommTimeouts(port, &at_once));
  char buffer[16] = {};
  DWORD count = 0;
  ASSERT_TRUE(ReadFile(port, buffer, sizeof buffer, &count, nullptr));
  EXPECT_EQ(count, 0u) << std::string(buffer, count);
  pty.send("fresh");
  COMMTIMEOUTS wait{0, 0, 2000, 0, 0};
  ASSERT_TRUE(SetCommTimeouts(port, &wait));
  ASSERT_TRUE(ReadFile(port, buffer, 5, &count, nullptr));
  EXPECT_EQ(std::string(buffer, count), "fresh");
  EXPECT_TRUE(CloseHandle(port));
}

// Exclusive use as an ordinary user (root passes over it): a second open
// through the layer is refused as on Windows, and so is any other program's
// open of the device, while the first holder lives.
TEST(CommOpen, OpenPortIsExclusiveForOtherProcessesToo) {
  PtyPair pty;
  chmod(pty.dev_path().c_str(), 0666);
  Child holder(
      [&]() -> std::string {
        if (std::string failure = become_unprivileged(); !failure.empty()) return failure;
        return open_device(pty.device_path()) != INVALID_HANDLE_VALUE ? "holding" : "cannot open";
      },
      true);
  ASSERT_EQ(holder.report(), "holding");
  // Refused here too; as root, past the terminal's exclusive use, whose
  // flag a refused open must not lift on its way out.
  SetLastError(0);
  EXPECT_EQ(open_device(pty.device_path()), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  Child second([&]() -> std::string {
    if (std::string failure = become_unprivileged(); !failure.empty()) return failure;
    SetLastError(0);
    if (open_device(pty.device_path()) != INVALID_HANDLE_VALUE) return "opened through the layer";
    if (GetLastError() != ERROR_SHARING_VIOLATION) return "error " + std::to_string(GetLastError());
    const int fd = open(pty.dev_path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) return "opened by another program";
    return errno == EBUSY ? "refused" : std::string("errno ") + std::strerror(errno);
  });
  EXPECT_EQ(second.report(), "refused");
  EXPECT_TRUE(second.finished());
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
