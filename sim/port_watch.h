// Notices when the program opens and closes the simulator's port: inotify
// reports every open and close of the terminal device, and the count of
// opens not yet closed tells when the last one has gone.
#pragma once

#include <string>
#include <vector>

class PortWatch {
 public:
  enum class Change { None, Opened, Closed };

  // Watches the device; throws std::runtime_error when it cannot.
  explicit PortWatch(const std::string& device_path);
  ~PortWatch();
  PortWatch(const PortWatch&) = delete;
  PortWatch& operator=(const PortWatch&) = delete;

  // Readable when opens or closes have been reported.
  int fd() const { return fd_; }

  // Takes the reports that are waiting: every change in order, Opened when
  // the port went from closed to open, Closed when the last open was closed.
  std::vector<Change> take();

 private:
  int fd_ = -1;
  int open_count_ = 0;
};
