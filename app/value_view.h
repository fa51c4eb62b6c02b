// The one place values leave the conversation: each complete reply to a
// polling request, and each event of the line, is handed once to every view
// that wants it (the result field, the value log, the headless printer). A
// view only receives; it never reaches back into the conversation, and it
// returns quickly, so that none slows the polling.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

enum class LineEvent {
  ReadOut,    // a complete reply to a polling request
  Connected,  // the interface identified itself and the control unit answered
  Lost,       // the interface went away
  Back,       // a lost interface answered again
  Closed,     // the port was closed as the program ends
  Stopped,    // the program ends
};

struct ValueRecord {
  LineEvent event = LineEvent::ReadOut;
  std::string_view port{};              // the name typed into the port field
  std::string_view group{};             // the group asked for (read-outs)
  std::optional<std::int32_t> speed{};  // km/h, nothing for a reply without a speed field
  std::string_view reply{};  // the reply as received, prompt left out; the identification for Connected and Back
  std::chrono::steady_clock::time_point at = std::chrono::steady_clock::now();
  std::chrono::system_clock::time_point wall = std::chrono::system_clock::now();
};

class ValueView {
 public:
  virtual ~ValueView() = default;
  virtual void take(const ValueRecord& record) = 0;
};

// The views of one run, each handed every record in the order they were added.
class ValueViews {
 public:
  void add(ValueView& view) { views_.push_back(&view); }
  void hand(const ValueRecord& record) const {
    for (ValueView* view : views_) view->take(record);
  }

 private:
  std::vector<ValueView*> views_;
};
