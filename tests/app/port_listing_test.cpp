// "velmorant-demo --list-ports" on a made-up sysfs tree: each kind of port
// gets its line, with a USB adapter's ids, maker, product, serial number and
// stable name, and whether it can be opened now.
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "comm_pty.h"
#include "command_line.h"
#include "open_failure.h"
#include "system_ports.h"
#include <restartmanager.h>
#include <setupapi.h>

namespace {

namespace fs = std::filesystem;

// A folder of its own under /tmp, removed with everything in it.
struct TempFolder {
  TempFolder() {
    char pattern[] = "/tmp/velmorant-sysfs.XXXXXX";
    path = mkdtemp(pattern);
  }
  ~TempFolder() { fs::remove_all(path); }
  fs::path path;
};

// A program named name that holds the terminal open, as minicom would;
// reports its pid.
std::string hold_as(const char* name, const PtyPair& pty) {
  close_pty_masters();
  prctl(PR_SET_NAME, name);
  return open(pty.dev_path().c_str(), O_RDWR | O_NOCTTY) >= 0 ? std::to_string(getpid()) : "cannot open";
}

// The kernel's layout: /sys/class/tty/NAME/device links to the port's
// device, below the USB interface and the USB device that holds the ids.
void add_port(const fs::path& root, const std::string& name, const std::string& device_folder,
              const std::vector<std::pair<std::string, std::string>>& attributes) {
  const fs::path device = root / "devices" / device_folder;
  fs::create_directories(device);
  fs::create_directories(root / "class/tty" / name);
  fs::create_symlink(device, root / "class/tty" / name / "device");
  for (const auto& [file, text] : attributes) {
    const fs::path path = file.starts_with("tty/") ? root / "class" / file : device / file;
    std::ofstream(path) << text << "\n";
  }
}

std::vector<std::string> listing() {
  std::FILE* out = std::tmpfile();
  const char* arguments[] = {"velmorant-demo", "--list-ports"};
  EXPECT_EQ(run_command_line(2, arguments, out, stderr), 0);
  std::rewind(out);
  std::vector<std::string> lines;
  std::string line;
  for (int c; (c = std::fgetc(out)) != EOF;) {
    if (c != '\n') {
      line += static_cast<char>(c);
    } else {
      lines.push_back(line);
      line.clear();
    }
  }
  std::fclose(out);
  return lines;
}

// Ports of every kind: an FTDI adapter, a CH340 without serial number (its
// product name padded, as some firmware sends it), a CDC-ACM board, a
// built-in UART, an empty UART slot, a platform UART and a virtual console;
// the FTDI adapter has a stable name. Returns that name.
std::string make_ports(const TempFolder& sysfs, const TempFolder& by_id) {
  const fs::path& root = sysfs.path;
  const std::string usb = "pci0000:00/0000:00:14.0/usb1/";
  add_port(root, "ttyUSB0", usb + "1-1/1-1:1.0/ttyUSB0",
           {{"../../idVendor", "0403"},
            {"../../idProduct", "6001"},
            {"../../manufacturer", "FTDI"},
            {"../../product", "FT232R USB UART"},
            {"../../serial", "A50285BI"}});
  add_port(root, "ttyUSB1", usb + "1-2/1-2:1.0/ttyUSB1",
           {{"../../idVendor", "1a86"}, {"../../idProduct", "7523"}, {"../../product", "USB Serial \r"}});
  add_port(root, "ttyACM0", usb + "1-3/1-3:1.0",
           {{"../idVendor", "2341"},
            {"../idProduct", "0043"},
            {"../manufacturer", "Arduino (www.arduino.cc)"},
            {"../serial", "7563331333"}});
  add_port(root, "ttyS9", "platform/serial8250/tty/ttyS9", {{"tty/ttyS9/type", "4"}});
  add_port(root, "ttyS10", "platform/serial8250/tty/ttyS10", {{"tty/ttyS10/type", "0"}});
  add_port(root, "ttyAMA9", "platform/fe201000.serial/tty/ttyAMA9", {});
  fs::create_directories(root / "class/tty/tty1");  // a virtual console: no device
  const std::string ftdi_id = (by_id.path / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0").string();
  fs::create_symlink("../../ttyUSB0", ftdi_id);
  fs::create_symlink("../../ttyACM9", by_id.path / "usb-other-if00");
  setenv("VELMORANT_SYSFS", root.c_str(), 1);
  setenv("VELMORANT_SERIAL_BY_ID", by_id.path.c_str(), 1);

  return ftdi_id;
}

TEST(PortListing, EachPortWithWhatItIsAndWhetherItOpens) {
  TempFolder sysfs, by_id;
  const std::string ftdi_id = make_ports(sysfs, by_id);
  PtyPair held_line;
  ASSERT_EQ(chmod(held_line.dev_path().c_str(), 0666), 0);
  Child holder([&] { return hold_as("minicom", held_line); }, true);
  const std::string holder_pid = holder.report();
  PtyPair free_line;  // made after the holder started, so that it holds nothing of this one
  ComLinkFolder links;
  links.link("com5", free_line.dev_path());
  links.link("com6", held_line.dev_path());
  links.link("com7", "/dev/velmorant-gone");
  links.link("com8", "/dev/tty");  // a terminal: listed, never offered

  // A device of this machine's own /dev stands behind each made-up sysfs
  // port, if any: only the links' status is this test's to know.
  const struct {
    std::string start, status;
  } expected[] = {
      {"ttyACM0  /dev/ttyACM0; USB 2341:0043, Arduino (www.arduino.cc), serial number 7563331333; ", ""},
      {"ttyAMA9  /dev/ttyAMA9; ", ""},
      {"ttyS9    /dev/ttyS9; ", ""},
      {"ttyUSB0  /dev/ttyUSB0; USB 0403:6001, FTDI, FT232R USB UART, serial number A50285BI; also " + ftdi_id + "; ",
       ""},
      {"ttyUSB1  /dev/ttyUSB1; USB 1a86:7523, USB Serial; ", ""},
      {"COM5     ", free_line.dev_path() + "; can be opened now"},
      {"COM6     ", held_line.dev_path() + "; cannot be opened now: COM6 is in use by minicom (process " + holder_pid +
                        "). Close that program, then press Connect again."},
      {"COM7     ",
       "/dev/velmorant-gone; cannot be opened now: There is no port COM7. The serial ports here are: "
       "ttyACM0, ttyAMA9, ttyS9, ttyUSB0, ttyUSB1, COM5, COM6."},
      {"COM8     ",
       "/dev/tty; cannot be opened now: COM8 is a terminal or console, not a serial line. Type the name of the port "
       "the interface is on. The serial ports here are: ttyACM0, ttyAMA9, ttyS9, ttyUSB0, ttyUSB1, COM5, COM6."},
  };
  const std::vector<std::string> lines = listing();
  ASSERT_EQ(lines.size(), std::size(expected)) << testing::PrintToString(lines);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& start = expected[i].start;
    EXPECT_EQ(lines[i].substr(0, start.size()), start);
    if (expected[i].status.empty()) {
      const std::string status = lines[i].substr(start.size());
      EXPECT_TRUE(status.starts_with("can be opened now") || status.starts_with("cannot be opened now: ")) << lines[i];
    } else {
      EXPECT_EQ(lines[i].substr(start.size()), expected[i].status);
    }
  }

  // A COM name for a terminal or something that is no device is refused in
  // the open's words, and no link is left behind.
  for (const char* target : {"/dev/tty", "/dev/null"}) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const char* arguments[] = {"velmorant-demo", "--link-port", "COM9", target};
    EXPECT_EQ(run_command_line(4, arguments, out, err), 1) << target;
    std::rewind(err);
    char said[512] = "";
    EXPECT_NE(std::fgets(said, sizeof said, err), nullptr);
    const std::string cause = std::string(target) == "/dev/tty" ? "COM9 is a terminal or console, not a serial line."
                                                                : "There is no port COM9.";
    EXPECT_TRUE(
        std::string(said).starts_with("velmorant-demo: COM9 cannot stand for " + std::string(target) + ": " + cause))
        << said;
    std::fclose(out);
    std::fclose(err);
  }
  EXPECT_EQ(listing().size(), std::size(expected));
  unsetenv("VELMORANT_SYSFS");
  unsetenv("VELMORANT_SERIAL_BY_ID");
}

// A device's own texts reach the terminal in plain letters only.
TEST(PortListing, DeviceTextsAreShownInPlainLetters) {
  const PortDetails details{"0403:6001", "\x1b]0;owned\x07Maker", "Cable\xe2\x80\xae", "A\r\nB", ""};
  EXPECT_EQ(port_line({"ttyUSB0", "/dev/ttyUSB0"}, &details, ""),
            "ttyUSB0  /dev/ttyUSB0; USB 0403:6001, ?]0;owned?Maker, Cable???, serial number A??B; can be opened now");
}

// What the listing asks of the system, answered as Win32 answers it.
TEST(PortListing, DeviceSetAnswersAsSetupApiDoes) {
  TempFolder sysfs, by_id;
  make_ports(sysfs, by_id);
  SetLastError(0);
  EXPECT_EQ(SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  const GUID ports = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
  const GUID other = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x19}};
  HDEVINFO set = SetupDiGetClassDevsA(&ports, nullptr, nullptr, DIGCF_PRESENT);
  HDEVINFO empty = SetupDiGetClassDevsA(&other, nullptr, nullptr, DIGCF_PRESENT);
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  EXPECT_FALSE(SetupDiEnumDeviceInfo(empty, 0, &device));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
  std::vector<std::string> found;
  char text[64];
  DWORD type = 0, required = 0;
  auto property = [&](DWORD which, DWORD size) -> std::string {
    required = 0;
    if (!SetupDiGetDeviceRegistryPropertyA(set, &device, which, &type, reinterpret_cast<PBYTE>(text), size,
                                           &required)) {
      return "error " + std::to_string(GetLastError()) + ", " + std::to_string(required);
    }
    return std::string(text, required) + " " + std::to_string(type);
  };
  for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
    found.push_back(property(SPDRP_FRIENDLYNAME, sizeof text));
    found.push_back(property(SPDRP_HARDWAREID, sizeof text));
    found.push_back(property(SPDRP_MFG, sizeof text));
    ASSERT_TRUE(SetupDiGetDeviceInstanceIdA(set, &device, text, sizeof text, &required));
    found.push_back(text);
  }
  using namespace std::string_literals;
  const std::vector<std::string> expected = {"Serial port (ttyACM0)\0 1"s,
                                             "USB\\VID_2341&PID_0043\0\0 7"s,
                                             "Arduino (www.arduino.cc)\0 1"s,
                                             "USB\\VID_2341&PID_0043\\7563331333",
                                             "Serial port (ttyAMA9)\0 1"s,
                                             "error 13, 0",
                                             "error 13, 0",
                                             "ROOT\\PORTS\\TTYAMA9",
                                             "Serial port (ttyS9)\0 1"s,
                                             "error 13, 0",
                                             "error 13, 0",
                                             "ROOT\\PORTS\\TTYS9",
                                             "FT232R USB UART (ttyUSB0)\0 1"s,
                                             "USB\\VID_0403&PID_6001\0\0 7"s,
                                             "FTDI\0 1"s,
                                             "USB\\VID_0403&PID_6001\\A50285BI",
                                             "USB Serial (ttyUSB1)\0 1"s,
                                             "USB\\VID_1A86&PID_7523\0\0 7"s,
                                             "error 13, 0",
                                             "USB\\VID_1A86&PID_7523\\0&1-2"};
  EXPECT_EQ(found, expected);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
  device.DevInst = 3;  // ttyUSB0
  required = 0;
  EXPECT_EQ(property(SPDRP_MFG, 4), "error " + std::to_string(ERROR_INSUFFICIENT_BUFFER) + ", 5");
  EXPECT_FALSE(SetupDiGetDeviceInstanceIdA(set, &device, text, 8, &required));
  EXPECT_EQ(required, 31u);
  device.DevInst = 5;
  EXPECT_EQ(property(SPDRP_MFG, sizeof text), "error " + std::to_string(ERROR_INVALID_PARAMETER) + ", 0");
  device.cbSize = 1;
  EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 0, &device));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
  EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
  EXPECT_TRUE(SetupDiDestroyDeviceInfoList(empty));
  EXPECT_FALSE(SetupDiDestroyDeviceInfoList(set));
  EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 0, &device));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(PortListing, RestartManagerAnswersAsWin32Does) {
  PtyPair pty;
  Child holder([&] { return hold_as("minicom", pty); }, true);
  const DWORD pid = static_cast<DWORD>(std::stoul(holder.report()));
  DWORD session = 0;
  WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
  ASSERT_EQ(RmStartSession(&session, 0, key), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(std::wstring(key).size(), static_cast<std::size_t>(CCH_RM_SESSION_KEY));
  const std::wstring device(L"\\\\.\\" + std::wstring(pty.name().begin(), pty.name().end()));
  LPCWSTR files[] = {L"C:\\file.txt", device.c_str(), device.c_str()};
  EXPECT_EQ(RmRegisterResources(session + 1, 1, files, 0, nullptr, 0, nullptr),
            static_cast<DWORD>(ERROR_INVALID_HANDLE));
  for (const UINT count : {1u, 2u}) {
    EXPECT_EQ(RmRegisterResources(session, 0, nullptr, count & 1, nullptr, count & 2, nullptr),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
  ASSERT_EQ(RmRegisterResources(session, 3, files, 0, nullptr, 0, nullptr), static_cast<DWORD>(ERROR_SUCCESS));
  RM_PROCESS_INFO info[2] = {};
  UINT needed = 0, count = 0;
  DWORD reasons = 7;
  EXPECT_EQ(RmGetList(session, &needed, &count, info, &reasons), static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(needed, 1u) << "one holder, however often its device is named";
  count = 2;
  ASSERT_EQ(RmGetList(session, &needed, &count, info, &reasons), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(reasons, 0u);
  EXPECT_EQ(info[0].Process.dwProcessId, pid);
  EXPECT_EQ(std::wstring(info[0].strAppName), L"minicom");
  EXPECT_EQ(RmGetList(session + 1, &needed, &count, info, &reasons), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(RmEndSession(session), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(RmEndSession(session), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// The error box names the program holding the port, as the kernel has its
// name, but only in printable characters: the name is the other program's
// choice, and a newline or an escape sequence would break the text.
TEST(PortHolder, InUseNamesTheProgramAndItsProcess) {
  const struct {
    const char* name;
    const char* shown;
  } cases[] = {{"minicom", "minicom"}, {"evil\nname\x1b[2J\t", "evil?name?[2J?"}, {"caf\xc3\xa9", "caf??"}};
  for (const auto& c : cases) {
    PtyPair pty;
    Child holder([&] { return hold_as(c.name, pty); }, true);
    const std::string pid = holder.report();
    EXPECT_EQ(open_failure_message(pty.name(), ERROR_SHARING_VIOLATION),
              "Error during open " + pty.name() + ": Port\n\n" + pty.name() + " is in use by " + c.shown +
                  " (process " + pid + "). Close that program, then press Connect again.");
  }
  PtyPair nobody_holds;
  EXPECT_EQ(port_holder(nobody_holds.name()), "");
}

}  // namespace
