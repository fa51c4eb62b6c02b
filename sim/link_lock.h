// One simulator per COM name: a lock file beside the link, held with flock()
// for as long as the simulator serves the link, so that a second simulator
// neither takes the name over nor, when it ends, deletes a link that a live
// one still serves. The kernel drops the lock of a simulator that was killed,
// so the link it left behind goes to the next one.
#pragma once

#include <optional>
#include <string>

class LinkLock {
 public:
  LinkLock() = default;
  ~LinkLock() { release(); }
  LinkLock(const LinkLock&) = delete;
  LinkLock& operator=(const LinkLock&) = delete;

  // Locks the name `link` (the link's path, `com_name` as the user wrote it)
  // and records `holder` in the lock file for whoever is refused next. Throws
  // std::runtime_error naming the live holder when another simulator has it.
  void take(const std::string& link, const std::string& com_name, const std::string& holder);
  // Removes the lock file and lets go.
  void release();

 private:
  std::optional<int> fd_;  // the locked file, while it is held
  std::string path_;
};
