// A serial line as an object that MsgWaitForMultipleObjects waits on: it is
// signalled while input waits, and for good once the line has hung up (the
// terminal then reports POLLHUP whatever is read). A Windows port opened for
// plain blocking use offers no such signal; see the application's wait.
#include <poll.h>

#include "comm/serial_device.h"

bool SerialDevice::take_signal() {
  pollfd entry{fd_, POLLIN, 0};
  return poll(&entry, 1, 0) == 1 && (entry.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}
