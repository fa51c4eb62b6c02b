// velmorant-demo --trace FILE: a transcript of everything the program sends
// to the interface and receives from it, with the port's opening and closing,
// appended to FILE and flushed line by line, so that the file holds every
// byte up to the end however the program ends.
#pragma once

#include <string>
#include <string_view>

#include "serial_trace.h"
#include "transcript.h"

class TraceFile final : public SerialTrace {
 public:
  TraceFile() = default;
  // Notes the end and stops observing the ports.
  ~TraceFile() override;
  TraceFile(const TraceFile&) = delete;
  TraceFile& operator=(const TraceFile&) = delete;

  // Opens path for appending, notes the start and observes every port from
  // now on. False, with why in refusal, when it cannot. A line that cannot be written
  // later stops the trace until writing works again, told once on stderr
  // and in the log field (and counted in the file, transcript.h).
  bool start(const std::string& path, std::string* refusal = nullptr);

  void opened(std::string_view settings, bool succeeded) override;
  void sent(std::string_view bytes) override;
  void received(std::string_view bytes) override;
  void closed() override;

 private:
  TranscriptWriter writer_;
};
