// The lock file that serial programs on Linux agree on: /run/lock/LCK..NAME
// holding the holder's pid in ASCII, ten characters wide and a newline.
// Taking it before the device is opened keeps this program off a line that a
// terminal program, a modem dialer or a daemon already uses, and keeps them
// off ours; the kernel's open would otherwise already raise DTR and RTS on
// their line.
#pragma once

#include <windows.h>
#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

// The folder of the lock files.
inline constexpr std::string_view LOCK_FOLDER = "/run/lock";

// "LCK..ttyUSB0" for /dev/ttyUSB0; a device in a subfolder has its slashes
// turned into underscores ("LCK..pts_4" for /dev/pts/4).
std::string lock_file_name(std::string_view device_path);

// The pid a lock file's text names: decimal digits after optional spaces,
// up to the line end; nothing for any other text.
std::optional<pid_t> lock_file_pid(std::string_view text);

// The live process, other than this one, whose lock file holds the device.
std::optional<pid_t> lock_file_holder(std::string_view device_path);

// This process's lock on one device, released when it goes out of scope.
class PortLock {
 public:
  PortLock() = default;
  PortLock(PortLock&& other) noexcept : path_(std::move(other.path_)) { other.path_.clear(); }
  PortLock& operator=(PortLock&& other) noexcept;
  PortLock(const PortLock&) = delete;
  PortLock& operator=(const PortLock&) = delete;
  ~PortLock() { release(); }

  // Takes the device's lock file, taking over a stale one: 0, or
  // ERROR_SHARING_VIOLATION while a live process holds it (this one too, for
  // an earlier open). Where the folder does not let this program write, no
  // file is made and the line goes unlocked by it.
  DWORD acquire(const std::string& device_path);
  // Removes the file, if it still names this process.
  void release();

 private:
  std::string path_;
};
