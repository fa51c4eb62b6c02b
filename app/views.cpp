#include "views.h"

#include "decode.h"
#include "gadgets.h"
#include "main_window.h"
#include "protocol.h"
#include "text.h"

namespace {

void show(ObjectNumber gadget, std::string_view text) {
  // A text that is already shown is not set again: nothing is repainted.
  if (get_gadget_text(gadget) != text) set_gadget_text(gadget, Text(text).c_str());
}

std::string speed_text(std::int32_t speed) { return decimal_text(speed) + std::string(SPEED_UNIT); }

// value / 10 with one decimal, in digits of its own (the same in every locale).
std::string tenths(long long value) { return std::to_string(value / 10) + "." + std::to_string(value % 10); }

}  // namespace

void ResultField::take(const ValueRecord& record) {
  if (record.event == LineEvent::ReadOut && record.speed) show(GADGET_RESULT, speed_text(*record.speed));
  if (record.event == LineEvent::Lost) show(GADGET_RESULT, "");
}

void ReadOutPrinter::take(const ValueRecord& record) {
  const std::string port(record.port);
  switch (record.event) {
    case LineEvent::ReadOut:
      ++read_outs_;
      // the request "08" + group + "\r", the reply and its prompt
      line_bytes_ += static_cast<long long>(record.group.size() + 3 + record.reply.size() + PROMPT.size());
      if (!first_) first_ = record.at;
      last_ = record.at;
      if (record.speed) print(speed_text(*record.speed));
      return;
    case LineEvent::Connected: print("Connected on " + port); return;
    case LineEvent::Lost: print("Interface lost on " + port); return;
    case LineEvent::Back: print("Interface back on " + port); return;
    case LineEvent::Closed:
    case LineEvent::Stopped: return;
  }
}

void ReadOutPrinter::print(const std::string& line) {
  if (out_ == nullptr || line == shown_) return;
  shown_ = line;
  std::fprintf(out_, "%s\n", line.c_str());
  std::fflush(out_);
}

std::string ReadOutPrinter::rate() const {
  const long long ms = first_ ? std::chrono::duration_cast<std::chrono::milliseconds>(*last_ - *first_).count() : 0;
  // Between the first read-out and the last lie read_outs_ - 1 cycles.
  const long long cycles = read_outs_ > 0 ? read_outs_ - 1 : 0;
  std::string text = std::to_string(read_outs_) + " read-outs in " + tenths((ms + 50) / 100) + " s: ";
  text += ms > 0 ? tenths((cycles * 10000 + ms / 2) / ms) : std::string("0.0");
  text += " per second";
  if (read_outs_ > 0 && line_bytes_ > 0) {
    // A cycle's bytes on the wire, one after the other with no pause.
    text += " (this line allows about " +
            tenths((LINE_BYTES_PER_SECOND * 10 * read_outs_ + line_bytes_ / 2) / line_bytes_) + " per second)";
  }
  return text;
}
