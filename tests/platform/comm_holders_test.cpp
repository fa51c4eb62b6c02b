// Opening a line that another program holds, by any means, is refused before
// the device is opened, and nothing of the holder's line changes.
#include <gtest/gtest.h>
#include <restartmanager.h>
#include <windows.h>

#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <vector>

#include "comm/port_checks.h"
#include "comm/port_holders.h"
#include "comm/port_lock.h"
#include "comm_pty.h"

namespace {

HANDLE open_device(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

std::string lock_path(const PtyPair& pty) { return std::string(LOCK_FOLDER) + "/" + lock_file_name(pty.dev_path()); }

// In a child: runs as "nobody", as a program started by that user would
// (readable by its own user under /proc, which a mere setuid does not give).
std::string become_nobody() {
  std::string failure = become_unprivileged();
  prctl(PR_SET_DUMPABLE, 1);
  return failure;
}

std::string write_lock_file(const std::string& path, pid_t pid) {
  std::ofstream file(path);
  file << std::string(10 - std::to_string(pid).size(), ' ') << pid << "\n";
  return file ? "" : "cannot write " + path;
}

enum class Hold { plain, flock, exclusive, lock_file };
enum class Who { root, nobody };

// A program holding the line as `hold` says, with unread input waiting and
// its settings as it left them; a port opened by root or by nobody is
// refused with ERROR_SHARING_VIOLATION, and neither changes.
TEST(CommHolders, LineHeldByAnotherProgramIsRefusedUntouched) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as two users";
  const struct {
    Hold hold;
    Who holder, opener;
  } cases[] = {
      {Hold::plain, Who::nobody, Who::nobody},   {Hold::plain, Who::nobody, Who::root},
      {Hold::plain, Who::root, Who::root},       {Hold::flock, Who::nobody, Who::nobody},
      {Hold::flock, Who::root, Who::nobody},     {Hold::flock, Who::root, Who::root},
      {Hold::exclusive, Who::nobody, Who::root}, {Hold::exclusive, Who::root, Who::root},
      {Hold::exclusive, Who::root, Who::nobody}, {Hold::lock_file, Who::nobody, Who::root},
      {Hold::lock_file, Who::root, Who::nobody}, {Hold::lock_file, Who::root, Who::root},
  };
  for (const auto& c : cases) {
    const std::string label = std::to_string(static_cast<int>(c.hold)) + "/" +
                              std::to_string(static_cast<int>(c.holder)) + "/" +
                              std::to_string(static_cast<int>(c.opener));
    PtyPair pty;
    ASSERT_EQ(chmod(pty.dev_path().c_str(), 0666), 0);
    pty.change_settings([](termios& t) { cfsetspeed(&t, B1200); });
    Child holder(
        [&]() -> std::string {
          close_pty_masters();
          if (c.holder == Who::nobody) {
            if (std::string failure = become_nobody(); !failure.empty()) return failure;
          }
          if (c.hold == Hold::lock_file) return write_lock_file(lock_path(pty), getpid()) + "holding";
          const int fd = open(pty.dev_path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
          if (fd < 0) return "cannot open";
          if (c.hold == Hold::flock && flock(fd, LOCK_EX | LOCK_NB) != 0) return "cannot flock";
          if (c.hold == Hold::exclusive && ioctl(fd, TIOCEXCL) != 0) return "cannot set TIOCEXCL";
          return "holding";
        },
        true);
    ASSERT_EQ(holder.report(), "holding") << label;
    pty.send("unread input!\n");
    for (int i = 0; i < 500 && pty.unread() != 14; ++i) usleep(1000);
    ASSERT_EQ(pty.unread(), 14) << label;
    const termios before = pty.settings();
    Child opener([&]() -> std::string {
      if (c.opener == Who::nobody) {
        if (std::string failure = become_nobody(); !failure.empty()) return failure;
      }
      SetLastError(0);
      HANDLE port = open_device(pty.device_path());
      if (port != INVALID_HANDLE_VALUE) return "opened";
      return "refused with " + std::to_string(GetLastError());
    });
    EXPECT_EQ(opener.report(), "refused with " + std::to_string(ERROR_SHARING_VIOLATION)) << label;
    EXPECT_TRUE(opener.finished()) << label;
    const termios after = pty.settings();
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0) << label;
    EXPECT_EQ(pty.unread(), 14) << label;
    holder.kill_now();
    std::remove(lock_path(pty).c_str());
  }
}

// The lock file: written before the open with this process's pid, removed on
// close; one whose process is gone (killed, say) is taken over.
TEST(CommHolders, LockFileIsOursWhileOpenAndAStaleOneIsTakenOver) {
  PtyPair pty;
  const std::string path = lock_path(pty);
  std::remove(path.c_str());
  auto lock_text = [&] {
    std::ifstream file(path);
    return std::string{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  };
  HANDLE port = open_device(pty.device_path());
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  char expected[16];
  std::snprintf(expected, sizeof expected, "%10d\n", static_cast<int>(getpid()));
  EXPECT_EQ(lock_text(), expected);
  SetLastError(0);
  EXPECT_EQ(open_device(pty.device_path()), INVALID_HANDLE_VALUE) << "this process's lock holds too";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_TRUE(CloseHandle(port));
  EXPECT_NE(access(path.c_str(), F_OK), 0) << "removed on close";

  // A holder killed while holding leaves its file behind, naming a dead process.
  Child killed([&] { return open_device(pty.device_path()) != INVALID_HANDLE_VALUE ? "holding" : "refused"; }, true);
  ASSERT_EQ(killed.report(), "holding");
  killed.kill_now();
  const std::string stale = lock_text();
  ASSERT_EQ(lock_file_pid(stale).has_value(), true) << stale;
  port = open_device(pty.device_path());
  EXPECT_NE(port, INVALID_HANDLE_VALUE);
  EXPECT_EQ(lock_text(), expected);
  EXPECT_TRUE(CloseHandle(port));
  for (const std::string& text : {std::string(""), std::string(" 12x\n"), stale}) {
    std::ofstream(path) << text;
    port = open_device(pty.device_path());
    // A file that names no pid is somebody's, being written; left so for
    // long, its writer died before writing.
    EXPECT_EQ(port != INVALID_HANDLE_VALUE, text == stale) << '"' << text << '"';
    if (port != INVALID_HANDLE_VALUE) CloseHandle(port);
    std::ofstream(path) << text;
    const timespec long_ago[2] = {{0, UTIME_OMIT}, {time(nullptr) - 60, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), long_ago, 0), 0);
    port = open_device(pty.device_path());
    EXPECT_NE(port, INVALID_HANDLE_VALUE) << '"' << text << "\" a minute old";
    if (port != INVALID_HANDLE_VALUE) CloseHandle(port);
  }
  std::remove(path.c_str());
}

// Win32's path rules: trailing dots and spaces are dropped, a colon names no
// device (as Wine answers for "\\.\COM1 ", "\\.\COM1." and "\\.\COM1::").
TEST(CommHolders, TrailingDotsAndSpacesAreDroppedAndColonsRefused) {
  PtyPair pty;
  ComLinkFolder links;
  links.link("com17", pty.dev_path());
  for (const char* name : {"COM17", "COM17 ", "COM17.", "COM17. .", "COM17  "}) {
    HANDLE port = open_device(std::string("\\\\.\\") + name);
    EXPECT_NE(port, INVALID_HANDLE_VALUE) << '"' << name << '"';
    CloseHandle(port);
  }
  for (const char* name : {"COM17:", "COM17::", "COM17: ", ".", " "}) {
    SetLastError(0);
    EXPECT_EQ(open_device(std::string("\\\\.\\") + name), INVALID_HANDLE_VALUE) << '"' << name << '"';
    EXPECT_NE(GetLastError(), 0u) << '"' << name << '"';
  }
}

TEST(CommHolders, LockFileNamesAndTexts) {
  EXPECT_EQ(lock_file_name("/dev/ttyUSB0"), "LCK..ttyUSB0");
  EXPECT_EQ(lock_file_name("/dev/pts/4"), "LCK..pts_4");
  EXPECT_EQ(lock_file_name("/dev/serial/by-id/usb-x"), "LCK..serial_by-id_usb-x");
  const struct {
    std::string text;
    std::optional<pid_t> pid;
  } texts[] = {
      {"      4242\n", 4242},
      {"4242\n", 4242},
      {"4242", 4242},
      {"0000004242\n", 4242},
      {"", std::nullopt},
      {"   \n", std::nullopt},
      {"42x\n", std::nullopt},
      {"0\n", std::nullopt},
      {"-5\n", std::nullopt},
      {"99999999999\n", std::nullopt},
      {"\n42\n", std::nullopt},
      {"2147483647\n", 2147483647},
      {"2147483648\n", std::nullopt},
      {"      4242 minicom root\n", 4242},
      {"4242\r\n", 4242},
      {std::string("\x92\x10\0\0", 4), 4242},
      {std::string("\0\0\0\x80", 4), std::nullopt},
  };
  for (const auto& t : texts) EXPECT_EQ(lock_file_pid(t.text), t.pid) << '"' << t.text << '"';
}

TEST(CommHolders, ProcLocksLinesAndMasterIndexesAreRead) {
  const dev_t node = makedev(0, 5);
  const struct {
    const char* line;
    std::optional<pid_t> pid;
  } lines[] = {
      {"1: FLOCK  ADVISORY  WRITE 4242 00:05:87 0 EOF", 4242},
      {"2: POSIX  ADVISORY  WRITE 77 00:05:87 0 EOF", 77},
      {"3: OFDLCK ADVISORY  WRITE -1 00:05:87 0 EOF", -1},
      {"4: -> FLOCK  ADVISORY  WRITE 99 00:05:87 0 EOF", 99},
      {"5: FLOCK  ADVISORY  WRITE 4242 00:05:88 0 EOF", std::nullopt},
      {"6: FLOCK  ADVISORY  WRITE 4242 00:06:87 0 EOF", std::nullopt},
      {"7: FLOCK  ADVISORY  WRITE 4242 01:05:87 0 EOF", std::nullopt},
      {"8: FLOCK  ADVISORY  WRITE 4242 00:05:87x 0 EOF", std::nullopt},
      {"9: FLOCK  ADVISORY  WRITE 4242 00-05:87 0 EOF", std::nullopt},
      {"10: FLOCK  ADVISORY  WRITE 4242", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& l : lines) EXPECT_EQ(lock_line_pid(l.line, node, 87), l.pid) << l.line;
  EXPECT_EQ(lock_line_pid("1: FLOCK ADVISORY WRITE 5 fd:1a:3 0 EOF", makedev(0xfd, 0x1a), 3), 5);

  EXPECT_EQ(fdinfo_tty_index("pos:\t0\nflags:\t02\nmnt_id:\t24\nino:\t90\ntty-index:\t4\n"), 4u);
  EXPECT_EQ(fdinfo_tty_index("tty-index:  300"), 300u);
  EXPECT_EQ(fdinfo_tty_index("pos:\t0\nflags:\t02\n"), std::nullopt);
  EXPECT_EQ(fdinfo_tty_index("tty-index:\t\n"), std::nullopt);
  EXPECT_EQ(fdinfo_tty_index("tty-index:\t4x\n"), std::nullopt);
  EXPECT_EQ(fdinfo_tty_index("xtty-index:\t4\n"), std::nullopt);
}

// The command name in /proc/PID/stat may hold anything, a newline and ")" too.
TEST(CommHolders, ControllingTerminalIsReadFromTheWholeStatText) {
  const struct {
    const char* stat;
    unsigned long terminal;
  } stats[] = {
      {"42 (bash) S 1 42 42 34817 42 4194560 0", 34817},
      {"42 (a\nb) S 1 42 42 34818 42 0", 34818},
      {"42 (a) b\n) S 1 42 42 34819 42 0", 34819},
      {"42 (sleep) S 1 42 42 0 -1 0", 0},
      {"42 (sleep S 1 42 42 34817", 0},
      {"42 (x) S 1 42", 0},
  };
  for (const auto& s : stats) EXPECT_EQ(stat_terminal_number(s.stat), s.terminal) << s.stat;
}

// In a child: a mount namespace of its own, with an empty tmpfs over folder.
std::string mount_empty_folder_over(const std::string& folder) {
  if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      mount("none", folder.c_str(), "tmpfs", 0, nullptr) != 0)
    return "cannot mount over " + folder + ": " + std::strerror(errno);
  return "";
}

// Where /proc shows nothing (a bare chroot or container), no scan sees whose
// terminal a line is; this process's own is still refused once opened.
TEST(CommHolders, OwnTerminalIsRefusedEvenWithoutProc) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to hide /proc";
  PtyPair pty;
  Child child([&]() -> std::string {
    if (std::string failure = mount_empty_folder_over("/proc"); !failure.empty()) return failure;
    if (setsid() < 0 || open(pty.dev_path().c_str(), O_RDWR) < 0) return "cannot take the terminal";
    HANDLE port = open_device(pty.device_path());
    return port == INVALID_HANDLE_VALUE ? "refused " + std::to_string(GetLastError()) : "opened";
  });
  EXPECT_EQ(child.report(), "refused " + std::to_string(ERROR_BAD_DEVICE));
}

// A lock folder this program may not write to: the line opens without a lock
// file of ours, and another program's lock file there still keeps it off.
TEST(CommHolders, ReadOnlyLockFolderStillHonoursOtherLocks) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to mount a lock folder";
  PtyPair pty;
  Child child([&]() -> std::string {
    const std::string folder(LOCK_FOLDER);
    if (std::string failure = mount_empty_folder_over(folder); !failure.empty()) return failure;
    std::string report;
    for (const bool locked : {false, true}) {
      if (locked) report += write_lock_file(lock_path(pty), getppid());
      mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr);
      HANDLE port = open_device(pty.device_path());
      report += port == INVALID_HANDLE_VALUE ? " refused " + std::to_string(GetLastError()) : " opened";
      if (port != INVALID_HANDLE_VALUE) CloseHandle(port);
      mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT, nullptr);
    }
    return report;
  });
  EXPECT_EQ(child.report(), " opened refused " + std::to_string(ERROR_SHARING_VIOLATION));
}

// Sessions start on a terminal while the port is being opened: a session
// that has made the terminal its own, and set it as it wants it, keeps its
// settings whatever the order in which the two ran. As root the terminal's
// exclusive use does not stop the session, so the open must see it.
TEST(CommHolders, SessionTakingTheTerminalDuringTheOpenIsNeverDisturbed) {
  for (const Who who : {Who::root, Who::nobody}) {
    if (who == Who::nobody && geteuid() != 0) continue;  // already unprivileged: the root round stands for it
    PtyPair pty;
    ASSERT_EQ(chmod(pty.dev_path().c_str(), 0666), 0);
    pty.change_settings([](termios& t) { t.c_lflag |= ICANON | ECHO; });
    const termios cooked = pty.settings();
    int disturbed = 0, opened = 0, sessions = 0;
    constexpr int rounds = 1000;
    for (int round = 0; round < rounds; ++round) {
      int go[2];
      ASSERT_EQ(pipe(go), 0);
      Child session([&]() -> std::string {
        close_pty_masters();
        if (who == Who::nobody) become_nobody();
        if (setsid() < 0) return "no session";
        const int fd = open(pty.dev_path().c_str(), O_RDWR | O_NONBLOCK);  // becomes its terminal
        if (fd < 0) return "busy";
        termios own{};
        tcgetattr(fd, &own);
        own.c_lflag |= ICANON | ECHO;
        tcsetattr(fd, TCSANOW, &own);
        char byte = 0;
        close(go[1]);
        if (read(go[0], &byte, 1) < 0) return "no go";  // until the open is over
        tcgetattr(fd, &own);
        return (own.c_lflag & (ICANON | ECHO)) == (ICANON | ECHO) ? "kept" : "disturbed";
      });
      close(go[0]);
      HANDLE port = open_device(pty.device_path());
      if (port != INVALID_HANDLE_VALUE) ++opened;
      close(go[1]);
      const std::string report = session.report();
      if (report == "disturbed") ++disturbed;
      if (report != "busy") ++sessions;
      session.finished();
      if (port != INVALID_HANDLE_VALUE) CloseHandle(port);
      pty.change_settings([&](termios& t) { t = cooked; });
    }
    EXPECT_EQ(disturbed, 0) << (who == Who::root ? "root" : "nobody") << ": opened " << opened << ", sessions "
                            << sessions;
  }
}

}  // namespace

namespace {

// What another local user may leave at a port's lock file path.
enum class Planted {
  nothing_umask_077,
  link_to_null,
  dangling_link,
  folder,
  fifo,
  huge_file,
  pid_then_words,
  pid_then_crlf,
  binary_pid,
  pid_of_a_later_process,
  empty_dated_in_the_future,
  dead_pid,
  nothing_in_a_full_folder,
};

// What the Restart Manager says of a port whose lock file stops the open: the
// entry without a process.
std::string lock_problem(const PtyPair& pty) {
  DWORD session = 0;
  WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
  if (RmStartSession(&session, 0, key) != ERROR_SUCCESS) return "no session";
  const std::string name = pty.device_path();
  const std::wstring device(name.begin(), name.end());
  LPCWSTR files[] = {device.c_str()};
  RM_PROCESS_INFO found[4] = {};
  UINT needed = 0, count = 4;
  DWORD reasons = 0;
  std::string problem;
  if (RmRegisterResources(session, 1, files, 0, nullptr, 0, nullptr) == ERROR_SUCCESS &&
      RmGetList(session, &needed, &count, found, &reasons) == ERROR_SUCCESS) {
    for (UINT i = 0; i < count; ++i) {
      if (found[i].Process.dwProcessId != 0) continue;
      for (const WCHAR* c = found[i].strAppName; *c != 0; ++c) problem += static_cast<char>(*c);
    }
  }
  RmEndSession(session);
  return problem;
}

void set_mtime(const std::string& path, time_t when) {
  const timespec times[2] = {{0, UTIME_OMIT}, {when, 0}};
  utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

// Leaves `planted` at path, made by the user `owner`.
void plant(Planted planted, const std::string& path, uid_t owner, pid_t later_process) {
  const time_t now = time(nullptr);
  const auto write_text = [&](const std::string& text) { std::ofstream(path, std::ios::binary) << text; };
  switch (planted) {
    case Planted::nothing_umask_077:
    case Planted::nothing_in_a_full_folder: return;
    case Planted::link_to_null: symlink("/dev/null", path.c_str()); break;
    case Planted::dangling_link: symlink("/nowhere/LCK..x", path.c_str()); break;
    case Planted::folder: mkdir(path.c_str(), 0755); break;
    case Planted::fifo: mkfifo(path.c_str(), 0644); break;
    case Planted::huge_file: write_text(std::string(100000, ' ') + "1\n"); break;
    // pid 1 lives, and started long before the file was written.
    case Planted::pid_then_words: write_text("         1 minicom root\n"); break;
    case Planted::pid_then_crlf: write_text("1\r\n"); break;
    case Planted::binary_pid: write_text(std::string("\1\0\0\0", 4)); break;
    case Planted::pid_of_a_later_process: write_text(std::to_string(later_process) + "\n"); break;
    case Planted::empty_dated_in_the_future: write_text(""); break;
    case Planted::dead_pid: write_text("2147483647\n"); break;
  }
  lchown(path.c_str(), owner, owner);
  set_mtime(path, planted == Planted::empty_dated_in_the_future ? now + 3600 : now - 60);
}

}  // namespace

// The lock folder as another local user may have left it, in a folder of the
// test's own (a private mount over the lock folder), opened by root and by
// nobody, each facing the other's files: what is no lock file is never read
// and is named; a lock counts only while its process lives and started before
// the file was written; a stale lock that cannot be removed, or a lock that
// cannot be written, is said with its path and the reason.
TEST(CommHolders, LockFolderEntriesAreJudgedWithoutBeingFollowed) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to mount a lock folder and act as two users";
  constexpr DWORD opened = 0;
  constexpr DWORD held = ERROR_SHARING_VIOLATION;
  constexpr DWORD problem = ERROR_LOCK_FAILED;
  const std::string not_a_lock_file = "the lock file %s is not a lock file: remove it";
  const std::string cannot_remove = "the stale lock file %s cannot be removed: Operation not permitted";
  const struct {
    Planted planted;
    DWORD as_root, as_nobody;
    std::string detail;  // %s: the lock file's path
  } rows[] = {
      {Planted::nothing_umask_077, opened, opened, ""},
      {Planted::link_to_null, problem, problem, not_a_lock_file},
      {Planted::dangling_link, problem, problem, not_a_lock_file},
      {Planted::folder, problem, problem, not_a_lock_file},
      {Planted::fifo, problem, problem, not_a_lock_file},
      {Planted::huge_file, problem, problem, not_a_lock_file},
      {Planted::pid_then_words, held, held, ""},
      {Planted::pid_then_crlf, held, held, ""},
      {Planted::binary_pid, held, held, ""},
      // Stale, and root's in a folder where only a file's owner may remove it.
      {Planted::pid_of_a_later_process, opened, problem, cannot_remove},
      {Planted::empty_dated_in_the_future, opened, problem, cannot_remove},
      {Planted::dead_pid, opened, problem, cannot_remove},
      {Planted::nothing_in_a_full_folder, problem, problem, "the lock file %s cannot be made: No space left on device"},
  };
  for (const Who who : {Who::root, Who::nobody}) {
    std::vector<std::unique_ptr<PtyPair>> ptys;
    std::string expected;
    for (const auto& row : rows) {
      ptys.push_back(std::make_unique<PtyPair>());
      ASSERT_EQ(chmod(ptys.back()->dev_path().c_str(), 0666), 0);
      const DWORD error = who == Who::root ? row.as_root : row.as_nobody;
      std::string detail = error == problem ? row.detail : "";
      if (const auto at = detail.find("%s"); at != std::string::npos) detail.replace(at, 2, lock_path(*ptys.back()));
      expected +=
          std::to_string(error) + " " + detail + (row.planted == Planted::nothing_umask_077 ? " 644" : "") + ";";
    }
    Child sleeper([] { return std::string("started"); }, true);
    ASSERT_EQ(sleeper.report(), "started");
    Child child([&]() -> std::string {
      if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
          mount("none", std::string(LOCK_FOLDER).c_str(), "tmpfs", 0, "size=1m,nr_inodes=40,mode=1777") != 0)
        return std::string("cannot mount the lock folder: ") + std::strerror(errno);
      const uid_t other = who == Who::root ? 65534 : 0;
      for (std::size_t i = 0; i < std::size(rows); ++i)
        plant(rows[i].planted, lock_path(*ptys[i]), other, sleeper.pid());
      if (who == Who::nobody) {
        if (std::string failure = become_nobody(); !failure.empty()) return failure;
      }
      std::string report;
      for (std::size_t i = 0; i < std::size(rows); ++i) {
        if (rows[i].planted == Planted::nothing_in_a_full_folder) {
          for (int n = 0; n < 100; ++n) std::ofstream(std::string(LOCK_FOLDER) + "/filler" + std::to_string(n));
        }
        umask(rows[i].planted == Planted::nothing_umask_077 ? 077 : 022);
        HANDLE port = open_device(ptys[i]->device_path());
        report += std::to_string(port == INVALID_HANDLE_VALUE ? GetLastError() : 0) + " ";
        if (port == INVALID_HANDLE_VALUE && GetLastError() == problem) report += lock_problem(*ptys[i]);
        if (rows[i].planted == Planted::nothing_umask_077) {
          struct stat info {};
          stat(lock_path(*ptys[i]).c_str(), &info);
          char mode[8];
          std::snprintf(mode, sizeof mode, " %o", info.st_mode & 0777);
          report += mode;
        }
        report += ";";
        if (port != INVALID_HANDLE_VALUE) CloseHandle(port);
      }
      return report;
    });
    EXPECT_EQ(child.report(), expected) << (who == Who::root ? "as root" : "as nobody");
  }
}
