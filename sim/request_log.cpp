#include "request_log.h"

#include <time.h>

RequestLog::~RequestLog() {
  if (file_ != nullptr) std::fclose(file_);
}

bool RequestLog::open(const std::string& path) {
  file_ = std::fopen(path.c_str(), "a");
  return file_ != nullptr;
}

void RequestLog::record(std::string_view request) { write_line(escape_request(request)); }

void RequestLog::note(std::string_view what) { write_line("# " + std::string(what)); }

void RequestLog::write_line(const std::string& text) {
  if (file_ == nullptr) return;
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  std::fprintf(file_, "%lld.%09ld %s\n", static_cast<long long>(now.tv_sec), now.tv_nsec, text.c_str());
  std::fflush(file_);  // readable by a test while the simulator runs
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
