#include "port_list.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "com_links.h"

namespace {

namespace fs = std::filesystem;

std::string sysfs_root() {
  const char* root = std::getenv(SYSFS_ROOT_VARIABLE);
  return root != nullptr && *root != '\0' ? root : "/sys";
}

std::string read_line(const fs::path& path) {
  std::string line;
  std::getline(std::ifstream(path), line);
  return line;
}

// The 8250 driver makes a ttyS slot for every possible UART; a slot with no
// UART found behind it has type 0 (unknown) and cannot carry anything.
bool is_serial_line(const fs::path& entry) {
  std::error_code error;
  if (!fs::exists(entry / "device", error)) return false;  // a virtual terminal
  const std::string name = entry.filename().string();
  if (name.starts_with("ttyS")) {
    const std::string type = read_line(entry / "type");
    return !type.empty() && type != "0";
  }
  return true;
}

}  // namespace

std::vector<PortEntry> list_serial_ports() {
  std::vector<PortEntry> ports;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(sysfs_root() + "/class/tty", error)) {
    if (is_serial_line(entry.path())) {
      const std::string name = entry.path().filename().string();
      ports.push_back({name, "/dev/" + name});
    }
  }
  std::sort(ports.begin(), ports.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  const std::string folder = com_link_folder();
  std::vector<PortEntry> links;
  for (const auto& entry : fs::directory_iterator(folder.empty() ? fs::path() : fs::path(folder), error)) {
    const std::string file = entry.path().filename().string();
    if (!com_port_number(file) || !entry.is_symlink(error)) continue;
    std::string name = file;
    std::transform(name.begin(), name.begin() + 3, name.begin(), [](char c) { return c & ~0x20; });
    links.push_back({name, fs::read_symlink(entry.path(), error).string()});
  }
  std::sort(links.begin(), links.end(),
            [](const auto& a, const auto& b) { return *com_port_number(a.name) < *com_port_number(b.name); });
  ports.insert(ports.end(), links.begin(), links.end());
  return ports;
}
