#include "request_log.h"

#include <time.h>

#include <cstdio>
#include <iostream>

std::string RequestLog::open(const std::string& path) {
  path_ = path;
  return file_.open(path);
}

void RequestLog::record(std::string_view request) { write_line(escape_request(request)); }

void RequestLog::note(std::string_view what) { write_line("# " + std::string(what)); }

void RequestLog::write_line(const std::string& text) {
  if (!file_.is_open()) return;
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  char seconds[48];
  std::snprintf(seconds, sizeof seconds, "%lld.%09ld ", static_cast<long long>(now.tv_sec), now.tv_nsec);
  std::string problem;
  // Written at once, so that a test can read it while the simulator runs.
  if (file_.write_line(seconds + text, problem)) {
    failing_ = false;
  } else if (!failing_) {
    failing_ = true;
    std::cerr << "velmorant-sim: Log stopped: cannot write " << path_ << ": " << problem << std::endl;
  }
}

std::string escape_request(std::string_view request) {
  std::string line;
  for (unsigned char c : request) {
    if (c == '\r')
      line += "\\r";
    else if (c == '\n')
      line += "\\n";
    else if (c == '\\')
      line += "\\\\";
    else if (c >= 0x20 && c < 0x7f)
      line += static_cast<char>(c);
    else {
      static const char digits[] = "0123456789abcdef";
      line += "\\x";
      line += digits[c >> 4];
      line += digits[c & 15];
    }
  }
  return line;
}
