// The lock file that serial programs on Linux agree on: /run/lock/LCK..NAME
// holding the holder's pid in ASCII, ten characters wide and a newline.
// Taking it before the device is opened keeps this program off a line that a
// terminal program, a modem dialer or a daemon already uses, and keeps them
// off ours; the kernel's open would otherwise already raise DTR and RTS on
// their line.
//
// The lock folder is shared with every local user: what stands at a lock
// file's path is looked at without following a link and read only when it
// is a small regular file. Anything else is named to the user, never read.
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

// The pid a lock file's text names, read as other serial programs write it:
// decimal digits after optional spaces, anything after them ("%10d\n",
// "%10d minicom root\n", "4242\r\n"); a 4-byte file that holds no such text
// is a pid in binary. Nothing for any other text.
std::optional<pid_t> lock_file_pid(std::string_view text);

// The live process, other than this one, whose lock file holds the device.
std::optional<pid_t> lock_file_holder(std::string_view device_path);

// What stopped the last open of the device at its lock file, in words
// ("the lock file /run/lock/LCK..ttyUSB0 is not a lock file: remove it");
// empty when its last lock was taken, or when no open of it failed there.
std::string lock_file_problem(std::string_view device_path);

// This process's lock on one device, released when it goes out of scope.
class PortLock {
 public:
  PortLock() = default;
  PortLock(PortLock&& other) noexcept { *this = std::move(other); }
  PortLock& operator=(PortLock&& other) noexcept;
  PortLock(const PortLock&) = delete;
  PortLock& operator=(const PortLock&) = delete;
  ~PortLock() { release(); }

  // Takes the device's lock file, taking over a stale one: 0;
  // ERROR_SHARING_VIOLATION while a live process holds it (this one too, for
  // an earlier open); ERROR_LOCK_FAILED when what stands there is no lock
  // file, a stale one cannot be removed or ours cannot be written
  // (lock_file_problem says which). Where the folder does not let this
  // program create a file, no file is made and the line goes unlocked by it.
  DWORD acquire(const std::string& device_path);
  // Removes the file, if it is still the one this process wrote.
  void release();

 private:
  std::string path_;
  dev_t device_ = 0;
  ino_t inode_ = 0;
};
