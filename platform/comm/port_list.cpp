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

std::string read_attribute(const fs::path& folder, const char* name) {
  std::string text = read_line(folder / name);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\r')) text.pop_back();
  return text;
}

// The USB device above a terminal: its device folder is the USB-serial port
// (ftdi_sio, ch341) or the interface (cdc_acm); the first folder above that
// holds idVendor is the device itself. Nothing above the sysfs root is read.
UsbFacts usb_facts(const fs::path& entry, const fs::path& root) {
  std::error_code error;
  fs::path folder = fs::canonical(entry / "device", error);
  const fs::path top = fs::canonical(root, error);
  for (int depth = 0; !error && depth < 4 && folder != top && folder.has_relative_path(); ++depth) {
    if (fs::exists(folder / "idVendor", error)) {
      return {read_attribute(folder, "idVendor"),     read_attribute(folder, "idProduct"),
              read_attribute(folder, "manufacturer"), read_attribute(folder, "product"),
              read_attribute(folder, "serial"),       folder.filename().string()};
    }
    folder = folder.parent_path();
  }
  return {};
}

// The /dev/serial/by-id link whose target is the terminal: udev's name made
// of the adapter's maker, product and serial number, the same after a replug.
std::string stable_name(const std::string& terminal) {
  const char* moved = std::getenv(SERIAL_BY_ID_VARIABLE);
  const fs::path folder = moved != nullptr && *moved != '\0' ? moved : "/dev/serial/by-id";
  std::error_code error;
  std::string found;
  for (const auto& link : fs::directory_iterator(folder, error)) {
    if (fs::read_symlink(link.path(), error).filename() == terminal && (found.empty() || link.path() < found)) {
      found = link.path().string();
    }
  }
  return found;
}

}  // namespace

std::vector<PortEntry> list_serial_ports() {
  std::vector<PortEntry> ports;
  std::error_code error;
  const std::string root = sysfs_root();
  for (const auto& entry : fs::directory_iterator(root + "/class/tty", error)) {
    if (is_serial_line(entry.path())) {
      const std::string name = entry.path().filename().string();
      ports.push_back({name, "/dev/" + name, stable_name(name), usb_facts(entry.path(), root)});
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
    links.push_back({name, fs::read_symlink(entry.path(), error).string(), {}, {}});
  }
  std::sort(links.begin(), links.end(),
            [](const auto& a, const auto& b) { return *com_port_number(a.name) < *com_port_number(b.name); });
  ports.insert(ports.end(), links.begin(), links.end());
  return ports;
}
