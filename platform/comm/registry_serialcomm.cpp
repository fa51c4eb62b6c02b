// The one registry key the program reads, HKLM\HARDWARE\DEVICEMAP\SERIALCOMM:
// one value per serial port, named by its device, holding the name to type.
//
// Win32                                  Linux
// RegOpenKeyExA(HKLM, "HARDWARE\         a snapshot of list_serial_ports()
//   DEVICEMAP\SERIALCOMM")               (sysfs and the COMn links)
// value "\Device\Serial0" = "COM1"       value "/dev/ttyUSB0" = "ttyUSB0",
//                                        "/dev/pts/4" = "COM17"
// any other key                          ERROR_FILE_NOT_FOUND
// (HKEY_CURRENT_USER's keys are advapi/user_settings.cpp's.)
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "advapi/user_settings.h"
#include "port_list.h"

namespace {

struct OpenKey {
  std::vector<PortEntry> ports;
};

// The keys handed out; an HKEY is the address of its snapshot.
std::mutex keys_lock;
std::vector<std::unique_ptr<OpenKey>> open_keys;

bool same_text_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return (x >= 'a' && x <= 'z' ? x - 32 : x) == (y >= 'a' && y <= 'z' ? y - 32 : y);
         });
}

OpenKey* find_key(HKEY key) {
  for (const auto& open : open_keys) {
    if (reinterpret_cast<HKEY>(open.get()) == key) return open.get();
  }
  return nullptr;
}

// Copies text with its terminating zero into a buffer of *size units; on
// success *size becomes the length given back (without or with the zero, as
// the caller says), else the length needed.
LSTATUS copy_out(const std::string& text, char* buffer, DWORD* size, bool count_zero) {
  const DWORD needed = static_cast<DWORD>(text.size() + 1);
  if (buffer == nullptr || *size < needed) {
    *size = count_zero ? needed : needed - 1;
    return buffer == nullptr && count_zero ? ERROR_SUCCESS : ERROR_MORE_DATA;
  }
  std::memcpy(buffer, text.c_str(), needed);
  *size = count_zero ? needed : needed - 1;
  return ERROR_SUCCESS;
}

}  // namespace

LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR sub_key, DWORD /*options*/, REGSAM /*access*/, PHKEY result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  if (key == HKEY_CURRENT_USER) return user_key_open(sub_key, false, result);
  if (key != HKEY_LOCAL_MACHINE || sub_key == nullptr ||
      !same_text_ignoring_case(sub_key, "HARDWARE\\DEVICEMAP\\SERIALCOMM")) {
    return ERROR_FILE_NOT_FOUND;
  }
  auto open = std::make_unique<OpenKey>(OpenKey{list_serial_ports()});
  std::lock_guard held(keys_lock);
  *result = reinterpret_cast<HKEY>(open.get());
  open_keys.push_back(std::move(open));
  return ERROR_SUCCESS;
}

// The value name counts characters without the zero; the data counts bytes
// with it, as REG_SZ data does.
LSTATUS WINAPI RegEnumValueA(HKEY key, DWORD index, LPSTR value_name, LPDWORD value_name_length, LPDWORD /*reserved*/,
                             LPDWORD type, LPBYTE data, LPDWORD data_length) {
  std::lock_guard held(keys_lock);
  const OpenKey* open = find_key(key);
  if (open == nullptr) return ERROR_INVALID_HANDLE;
  if (value_name == nullptr || value_name_length == nullptr) return ERROR_INVALID_PARAMETER;
  if (index >= open->ports.size()) return ERROR_NO_MORE_ITEMS;
  const PortEntry& port = open->ports[index];
  if (LSTATUS status = copy_out(port.device, value_name, value_name_length, false)) return status;
  if (type != nullptr) *type = REG_SZ;
  if (data_length == nullptr) return data == nullptr ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
  return copy_out(port.name, reinterpret_cast<char*>(data), data_length, true);
}

LSTATUS WINAPI RegCloseKey(HKEY key) {
  std::lock_guard held(keys_lock);
  const auto found = std::find_if(open_keys.begin(), open_keys.end(),
                                  [key](const auto& open) { return reinterpret_cast<HKEY>(open.get()) == key; });
  if (found == open_keys.end()) return user_key_close(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
  open_keys.erase(found);
  return ERROR_SUCCESS;
}
