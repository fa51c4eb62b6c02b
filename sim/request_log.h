// The record of every request the simulator received: one line each, the
// monotonic time in seconds (CLOCK_MONOTONIC, the clock of
// std::chrono::steady_clock) and the request with C escapes, e.g.
//   12345.678901234 ati\r
// and the program's opening and closing of the port as
//   12345.678901234 # opened
//   12345.679901234 # closed
#pragma once

#include <string>
#include <string_view>

#include "output_file.h"

class RequestLog {
 public:
  RequestLog() = default;
  RequestLog(const RequestLog&) = delete;
  RequestLog& operator=(const RequestLog&) = delete;

  // Appends to path (output_file.h says which files it takes); "" when it
  // is open, else why not.
  std::string open(const std::string& path);
  void record(std::string_view request);
  // A line about the port rather than a request: "# " and the note.
  void note(std::string_view what);

 private:
  void write_line(const std::string& text);

  OutputFile file_;
  std::string path_;
  bool failing_ = false;  // told once, until a line is written again
};

// The request as one printable line: \r, \n, \\ and \xNN for other bytes.
std::string escape_request(std::string_view request);
