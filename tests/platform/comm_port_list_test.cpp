// The system's list of serial ports (the SERIALCOMM registry key), answered
// from a made-up sysfs tree and link folder.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>

#include "comm/port_list.h"
#include "comm_pty.h"

namespace {

namespace fs = std::filesystem;

// A sysfs tree with an FTDI and a CH340 adapter, a CDC-ACM device, a built-in
// UART, an empty UART slot, a platform UART and two terminals without devices.
class FakeSysfs {
 public:
  FakeSysfs() {
    char pattern[] = "/tmp/velmorant-sysfs.XXXXXX";
    root_ = mkdtemp(pattern);
    for (const char* port : {"ttyUSB0", "ttyUSB1", "ttyACM0", "ttyS0", "ttyS1", "ttyAMA0"}) {
      fs::create_directories(root_ / "class/tty" / port / "device");
    }
    for (const char* terminal : {"tty1", "console"}) fs::create_directories(root_ / "class/tty" / terminal);
    std::ofstream(root_ / "class/tty/ttyS0/type") << "4\n";
    std::ofstream(root_ / "class/tty/ttyS1/type") << "0\n";
    setenv(SYSFS_ROOT_VARIABLE, root_.c_str(), 1);
  }
  ~FakeSysfs() {
    unsetenv(SYSFS_ROOT_VARIABLE);
    fs::remove_all(root_);
  }

 private:
  fs::path root_;
};

std::vector<std::string> registry_values() {
  std::vector<std::string> values;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Hardware\\DeviceMap\\SerialComm", 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return {"not opened"};
  }
  char name[256], data[64];
  DWORD name_length = sizeof name, data_size = sizeof data, type = 0;
  for (DWORD i = 0; RegEnumValueA(key, i, name, &name_length, nullptr, &type, reinterpret_cast<BYTE*>(data),
                                  &data_size) == ERROR_SUCCESS;
       ++i) {
    values.push_back(std::string(name, name_length) + "=" + std::string(data, data_size - 1) +
                     (type == REG_SZ ? "" : " (not REG_SZ)"));
    name_length = sizeof name;
    data_size = sizeof data;
  }
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  return values;
}

TEST(CommPortList, RegistryListsTheSerialLinesAndTheComLinks) {
  FakeSysfs sysfs;
  ComLinkFolder links;
  links.link("com17", "/dev/pts/4");
  links.link("com5", "/dev/ttyUSB0");
  links.link("lpt1", "/dev/null");
  const std::vector<std::string> expected = {
      "/dev/ttyACM0=ttyACM0", "/dev/ttyAMA0=ttyAMA0", "/dev/ttyS0=ttyS0", "/dev/ttyUSB0=ttyUSB0",
      "/dev/ttyUSB1=ttyUSB1", "/dev/ttyUSB0=COM5",    "/dev/pts/4=COM17",
  };
  EXPECT_EQ(registry_values(), expected);
}

TEST(CommPortList, RegistryAnswersAsWin32Does) {
  FakeSysfs sysfs;
  ComLinkFolder links;
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\VIDEO", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key), ERROR_SUCCESS);
  char name[8], data[4];
  DWORD name_length = sizeof name, data_size = sizeof data, type = 0;
  EXPECT_EQ(RegEnumValueA(key, 0, name, &name_length, nullptr, &type, reinterpret_cast<BYTE*>(data), &data_size),
            ERROR_MORE_DATA)
      << "/dev/ttyACM0 needs 13 characters";
  char long_name[32];
  name_length = sizeof long_name;
  data_size = sizeof data;
  EXPECT_EQ(RegEnumValueA(key, 0, long_name, &name_length, nullptr, &type, reinterpret_cast<BYTE*>(data), &data_size),
            ERROR_MORE_DATA)
      << "ttyACM0 needs 8 bytes";
  EXPECT_EQ(data_size, 8u);
  name_length = sizeof long_name;
  EXPECT_EQ(RegEnumValueA(key, 0, long_name, &name_length, nullptr, &type, nullptr, &data_size), ERROR_SUCCESS);
  EXPECT_EQ(data_size, 8u) << "the size needed, when no buffer is given";
  EXPECT_EQ(name_length, 12u);
  name_length = sizeof long_name;
  EXPECT_EQ(RegEnumValueA(key, 5, long_name, &name_length, nullptr, &type, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(RegEnumValueA(nullptr, 0, long_name, &name_length, nullptr, &type, nullptr, nullptr), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

}  // namespace

namespace {

// --link-port's system call: the link CreateFileA follows, replaced when
// given again, removed on request; only COM names.
TEST(CommPortList, DefineDosDeviceMakesTheComLink) {
  PtyPair pty;
  ComLinkFolder links;
  ASSERT_TRUE(DefineDosDeviceA(0, "COM5", "/dev/null"));
  ASSERT_TRUE(DefineDosDeviceA(0, "com5", pty.dev_path().c_str())) << "replaced";
  HANDLE port = CreateFileA("\\\\.\\COM5", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(port, INVALID_HANDLE_VALUE);
  CloseHandle(port);
  EXPECT_TRUE(DefineDosDeviceA(DDD_REMOVE_DEFINITION, "COM5", nullptr));
  SetLastError(0);
  EXPECT_FALSE(DefineDosDeviceA(DDD_REMOVE_DEFINITION, "COM5", nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  for (const char* name : {"LPT1", "COM0", "ttyUSB0"}) {
    SetLastError(0);
    EXPECT_FALSE(DefineDosDeviceA(0, name, "/dev/null")) << name;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << name;
  }
  EXPECT_FALSE(DefineDosDeviceA(0, "COM6", "relative/path"));
  EXPECT_FALSE(DefineDosDeviceA(0, "COM6", nullptr));
  // Something else under that name is the user's: neither replaced nor removed.
  const std::string user_file = std::string(std::getenv("VELMORANT_DOSDEVICES")) + "/com7";
  std::ofstream(user_file) << "notes";
  EXPECT_FALSE(DefineDosDeviceA(0, "COM7", "/dev/null"));
  EXPECT_FALSE(DefineDosDeviceA(DDD_REMOVE_DEFINITION, "COM7", nullptr));
  EXPECT_EQ(std::ifstream(user_file).rdbuf()->sgetc(), 'n');
}

}  // namespace
