// An observer of what the program's ports carry, for a transcript of a
// session that a user can send us. Nothing is observed until one is set; the
// port layer itself keeps no other state.
#pragma once

#include <string_view>

class SerialTrace {
 public:
  virtual ~SerialTrace() = default;
  // After every open: the settings text, and whether the port opened.
  virtual void opened(std::string_view settings, bool succeeded) = 0;
  // The bytes a write put on the line and a read took from it.
  virtual void sent(std::string_view bytes) = 0;
  virtual void received(std::string_view bytes) = 0;
  virtual void closed() = 0;
};

// Makes trace observe every port from now on; nullptr ends observing.
void serial_set_trace(SerialTrace* trace);
