// DefineDosDeviceA for COM names: the link that CreateFileA follows.
//
// Win32                                  Linux
// DefineDosDeviceA(0, "COM5", target)    <link folder>/com5 -> target (made,
//                                        or replaced; the folder is made too)
// DDD_REMOVE_DEFINITION                  the link removed
// any other name                         ERROR_INVALID_PARAMETER
// On Windows the name lasts for the session; here it stays, as Wine's
// dosdevices links do.
#include <windows.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>

#include "com_links.h"
#include "kernel/handle_table.h"

BOOL WINAPI DefineDosDeviceA(DWORD flags, LPCSTR device_name, LPCSTR target_path) {
  const auto number = device_name != nullptr ? com_port_number(device_name) : std::nullopt;
  const std::string folder = com_link_folder();
  if (!number || folder.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::string link = folder + "/" + com_link_name(*number);
  struct stat info {};
  const bool is_link = lstat(link.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
  if (flags & DDD_REMOVE_DEFINITION) {
    if (!is_link) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return FALSE;
    }
    unlink(link.c_str());
    return TRUE;
  }
  if (target_path == nullptr || target_path[0] != '/') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (is_link) unlink(link.c_str());  // anything else under that name stays
  if (symlink(target_path, link.c_str()) != 0) {
    SetLastError(error_from_errno(errno));
    return FALSE;
  }
  return TRUE;
}
