#include "trace.h"

#include <cstdio>

#include "connection.h"

TraceFile::~TraceFile() {
  if (!writer_.is_open()) return;
  serial_set_trace(nullptr);
  writer_.note("end");
}

bool TraceFile::start(const std::string& path, std::string* refusal) {
  std::string problem;
  if (!writer_.open(path, "velmorant-demo trace", &problem)) {
    if (refusal) *refusal = refusal_sentence("cannot write", "the trace file", path, problem);
    return false;
  }
  writer_.on_failure([path](const std::string& words) {
    const std::string message = "Trace stopped: cannot write " + path + ": " + words;
    std::fprintf(stderr, "velmorant-demo: %s\n", message.c_str());
    tell_in_log(message);
  });
  serial_set_trace(this);
  return true;
}

void TraceFile::opened(std::string_view settings, bool succeeded) {
  std::string text = succeeded ? "opened " : "open failed ";
  text += settings;
  writer_.note(text);
}

void TraceFile::sent(std::string_view bytes) { writer_.piece(Direction::Sent, bytes); }

void TraceFile::received(std::string_view bytes) { writer_.piece(Direction::Received, bytes); }

void TraceFile::closed() { writer_.note("closed"); }
