#include "com_links.h"

#include <sys/stat.h>

#include <cstdlib>

std::string com_link_folder() {
  if (const char* folder = std::getenv(COM_LINK_FOLDER_VARIABLE); folder != nullptr && *folder != '\0') return folder;
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    return std::string(home) + "/.velmorant/dosdevices";
  }
  return {};
}

std::optional<unsigned> com_port_number(std::string_view name) {
  if (name.size() < 4 || name.size() > 7) return std::nullopt;
  for (std::size_t i = 0; i < 3; ++i) {
    if ((name[i] & ~0x20) != "COM"[i]) return std::nullopt;
  }
  if (name[3] == '0') return std::nullopt;
  unsigned number = 0;
  for (char c : name.substr(3)) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + static_cast<unsigned>(c - '0');
  }
  return number;
}

std::string com_link_name(unsigned number) { return "com" + std::to_string(number); }

std::string port_device_path(std::string_view name) {
  if (auto number = com_port_number(name)) {
    const std::string folder = com_link_folder();
    if (!folder.empty()) {
      std::string link = folder + "/" + com_link_name(*number);
      struct stat info {};
      if (lstat(link.c_str(), &info) == 0) return link;
    }
    return "/dev/ttyS" + std::to_string(*number - 1);
  }
  return "/dev/" + std::string(name);
}
