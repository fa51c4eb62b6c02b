#include "trace.h"

TraceFile::~TraceFile() {
  if (!writer_.is_open()) return;
  serial_set_trace(nullptr);
  writer_.note("end");
}

bool TraceFile::start(const std::string& path) {
  if (!writer_.open(path, "velmorant-demo trace")) return false;
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
