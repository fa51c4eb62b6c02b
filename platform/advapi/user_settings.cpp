// The current user's keys under HKEY_CURRENT_USER\Software, each kept as a
// file of its own under the XDG config folder, as Wine keeps them in its
// prefix's user.reg:
//
// Win32                                  Linux
// HKCU\Software\Velmorant\Demo           $XDG_CONFIG_HOME/velmorant/demo.conf
//                                        (or ~/.config/velmorant/demo.conf)
// REG_SZ value "Port" = "COM5"           the line "Port=COM5"
// RegSetValueExA                         the whole file written anew beside it
//                                        and renamed over it
//
// Only string values, a key two levels under Software, and names of letters,
// digits, '-' and '_' are kept. A file that cannot be read as such a key is
// an empty key: a setting is never worth an error.
#include "user_settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t MAX_FILE_BYTES = 65536;

struct UserKey {
  std::string folder;  // the maker's folder, ~/.config/velmorant
  std::string file;    // the key's file name in it, demo.conf
  std::map<std::string, std::string> values;
};

std::mutex keys_lock;
std::vector<std::unique_ptr<UserKey>> open_keys;

std::string lower(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  return result;
}

bool plain_name(std::string_view name) {
  return !name.empty() && name.size() <= 64 && std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
  });
}

bool storable_text(std::string_view text) {
  return text.size() <= 1024 && std::none_of(text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; });
}

std::string config_folder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.config";
  return {};
}

// "Software\Maker\Program" (any case) gives the key's folder and file.
bool locate(std::string_view sub_key, UserKey& key) {
  const std::string path = lower(sub_key);
  if (!path.starts_with("software\\")) return false;
  const std::string_view rest = std::string_view(path).substr(9);
  const std::size_t split = rest.find('\\');
  if (split == std::string_view::npos) return false;
  const std::string_view maker = rest.substr(0, split), program = rest.substr(split + 1);
  if (!plain_name(maker) || !plain_name(program)) return false;
  const std::string base = config_folder();
  if (base.empty()) return false;
  key.folder = base + "/" + std::string(maker);
  key.file = std::string(program) + ".conf";
  return true;
}

// The key's file: a regular file of this user, opened without following a
// link. False when there is none.
bool read_values(UserKey& key) {
  const int fd = open((key.folder + "/" + key.file).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat info {};
  std::string text;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == geteuid() &&
      static_cast<std::size_t>(info.st_size) <= MAX_FILE_BYTES) {
    char buffer[4096];
    ssize_t got = 0;
    while (text.size() <= MAX_FILE_BYTES && (got = read(fd, buffer, sizeof buffer)) > 0) {
      text.append(buffer, static_cast<std::size_t>(got));
    }
  }
  close(fd);
  if (text.size() > MAX_FILE_BYTES) return true;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string_view line = std::string_view(text).substr(start, end - start);
    const std::size_t equals = line.find('=');
    if (equals != std::string_view::npos && plain_name(line.substr(0, equals))) {
      key.values[lower(line.substr(0, equals))] = std::string(line.substr(equals + 1));
    }
    start = end + 1;
  }
  return true;
}

bool make_folder(const std::string& path) {
  if (mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
  }
  return false;
}

// The whole key written to a new file beside its own and renamed over it, so
// a reader sees the old file or the new one, and a link planted in the key's
// place is replaced, never written through.
LSTATUS write_values(const UserKey& key) {
  const std::size_t slash = key.folder.rfind('/');
  if (slash == std::string::npos || !make_folder(key.folder.substr(0, slash)) || !make_folder(key.folder)) {
    return ERROR_ACCESS_DENIED;
  }
  const int folder = open(key.folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder < 0) return ERROR_ACCESS_DENIED;
  std::string text;
  for (const auto& [name, value] : key.values) text += name + "=" + value + "\n";
  static unsigned counter = 0;
  const std::string temporary = "." + key.file + "." + std::to_string(getpid()) + "." + std::to_string(++counter);
  LSTATUS status = ERROR_ACCESS_DENIED;
  const int fd = openat(folder, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd >= 0) {
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && fsync(fd) == 0;
    close(fd);
    if (written && renameat(folder, temporary.c_str(), folder, key.file.c_str()) == 0) {
      status = ERROR_SUCCESS;
    } else {
      unlinkat(folder, temporary.c_str(), 0);
    }
  }
  close(folder);
  return status;
}

UserKey* find_key(HKEY key) {
  for (const auto& open : open_keys) {
    if (reinterpret_cast<HKEY>(open.get()) == key) return open.get();
  }
  return nullptr;
}

}  // namespace

LSTATUS user_key_open(LPCSTR sub_key, bool create, PHKEY result) {
  auto key = std::make_unique<UserKey>();
  if (sub_key == nullptr || !locate(sub_key, *key)) return ERROR_FILE_NOT_FOUND;
  if (!read_values(*key) && !create) return ERROR_FILE_NOT_FOUND;
  std::lock_guard held(keys_lock);
  *result = reinterpret_cast<HKEY>(key.get());
  open_keys.push_back(std::move(key));
  return ERROR_SUCCESS;
}

bool user_key_close(HKEY key) {
  std::lock_guard held(keys_lock);
  const auto found = std::find_if(open_keys.begin(), open_keys.end(),
                                  [key](const auto& open) { return reinterpret_cast<HKEY>(open.get()) == key; });
  if (found == open_keys.end()) return false;
  open_keys.erase(found);
  return true;
}

LSTATUS WINAPI RegCreateKeyExA(HKEY key, LPCSTR sub_key, DWORD /*reserved*/, LPSTR /*class_name*/, DWORD /*options*/,
                               REGSAM /*access*/, LPSECURITY_ATTRIBUTES /*security*/, PHKEY result,
                               LPDWORD disposition) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  if (key != HKEY_CURRENT_USER) return ERROR_ACCESS_DENIED;
  const LSTATUS status = user_key_open(sub_key, true, result);
  if (status == ERROR_SUCCESS && disposition != nullptr) *disposition = REG_OPENED_EXISTING_KEY;
  return status;
}

LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR value_name, LPDWORD /*reserved*/, LPDWORD type, LPBYTE data,
                                LPDWORD data_length) {
  std::lock_guard held(keys_lock);
  const UserKey* open = find_key(key);
  if (open == nullptr) return ERROR_INVALID_HANDLE;
  const auto found = open->values.find(lower(value_name != nullptr ? value_name : ""));
  if (found == open->values.end()) return ERROR_FILE_NOT_FOUND;
  if (type != nullptr) *type = REG_SZ;
  const DWORD needed = static_cast<DWORD>(found->second.size() + 1);
  if (data_length == nullptr) return data == nullptr ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
  if (data == nullptr) {
    *data_length = needed;
    return ERROR_SUCCESS;
  }
  const DWORD room = *data_length;
  *data_length = needed;
  if (room < needed) return ERROR_MORE_DATA;
  std::memcpy(data, found->second.c_str(), needed);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegSetValueExA(HKEY key, LPCSTR value_name, DWORD /*reserved*/, DWORD type, const BYTE* data,
                              DWORD data_length) {
  std::lock_guard held(keys_lock);
  UserKey* open = find_key(key);
  if (open == nullptr) return ERROR_INVALID_HANDLE;
  if (type != REG_SZ || value_name == nullptr || !plain_name(value_name) || (data == nullptr && data_length > 0)) {
    return ERROR_INVALID_PARAMETER;
  }
  // REG_SZ data counts its zero; text stops at the first zero.
  const std::string text(reinterpret_cast<const char*>(data),
                         strnlen(reinterpret_cast<const char*>(data), data_length));
  if (!storable_text(text)) return ERROR_INVALID_PARAMETER;
  UserKey changed = *open;
  changed.values[lower(value_name)] = text;
  const LSTATUS status = write_values(changed);
  if (status == ERROR_SUCCESS) open->values = std::move(changed.values);
  return status;
}
