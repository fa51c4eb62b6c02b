#include "trace_values.h"

#include <cstdio>
#include <ctime>
#include <optional>

#include "decode.h"
#include "protocol.h"
#include "reply_text.h"
#include "transcript.h"

namespace {

enum class Asked { Nothing, Identification, Connection, Group };

// Follows the conversation through the transcript as the program held it:
// what was asked last, and the answer gathering for it, which is complete
// when the next request (or the end of the line) comes.
class Replayer {
 public:
  explicit Replayer(ValueLog& log) : log_(log) {}

  void start(std::string_view note) {
    finish_answer();
    // "start WHAT, YYYY-MM-DD HH:MM:SS": the recording's wall-clock start.
    std::tm start{};
    const std::size_t comma = note.rfind(", ");
    if (comma != std::string_view::npos &&
        std::sscanf(std::string(note.substr(comma + 2)).c_str(), "%d-%d-%d %d:%d:%d", &start.tm_year, &start.tm_mon,
                    &start.tm_mday, &start.tm_hour, &start.tm_min, &start.tm_sec) == 6) {
      start.tm_year -= 1900;
      start.tm_mon -= 1;
      start.tm_isdst = -1;
      recording_start_ = start;
      const std::time_t at = std::mktime(&start);
      if (!first_start_) first_start_ = at;
      recording_offset_ms_ = static_cast<long long>(std::difftime(at, *first_start_)) * 1000;
    }
    now_us_ = 0;
  }

  void piece(const TranscriptPiece& piece) {
    now_us_ = piece.microseconds;
    if (piece.direction == Direction::Received) {
      for (char received : piece.bytes) answer_.add(received);
      return;
    }
    finish_answer();
    if (piece.bytes == IDENTIFY_REQUEST) {
      asked_ = Asked::Identification;
    } else if (piece.bytes == CONNECT_REQUEST) {
      asked_ = Asked::Connection;
    } else if (piece.bytes.starts_with("08") && piece.bytes.ends_with("\r")) {
      asked_ = Asked::Group;
      group_ = piece.bytes.substr(2, piece.bytes.size() - 3);
    } else {
      asked_ = Asked::Nothing;
    }
  }

  void note(const TranscriptLine& line) {
    const std::string_view text = line.piece.bytes;
    if (line.note == TranscriptNote::HangUp) {
      finish_answer();
      lose();
    } else if (text.starts_with("opened") || text.starts_with("open failed")) {
      if (closed_pending_) lose();  // the program closed a lost line to open it again
      closed_pending_ = false;
      if (text.starts_with("opened ")) {
        const std::string_view settings = text.substr(7);
        port_ = settings.substr(0, settings.find(':'));
      }
    } else if (text == "closed") {
      finish_answer();
      if (connected_ && !lost_) closed_pending_ = true;
    } else if (text == "end") {
      end(LineEvent::Stopped);
    }
  }

  // The transcript's end, or the end of one recording.
  void end(LineEvent event) {
    finish_answer();
    if (closed_pending_) row(LineEvent::Closed);
    closed_pending_ = false;
    if (event == LineEvent::Stopped) row(LineEvent::Stopped);
    connected_ = false;
    lost_ = false;
    asked_ = Asked::Nothing;
  }

 private:
  void lose() {
    asked_ = Asked::Nothing;
    if (!connected_ || lost_) return;
    lost_ = true;
    identification_.clear();
    row(LineEvent::Lost);
  }

  void finish_answer() {
    const std::string text = answer_.without_prompt();
    answer_.clear();
    switch (asked_) {
      case Asked::Nothing: return;
      case Asked::Identification:
        for (char received : text) identification_.add(received);
        return;
      case Asked::Connection: {
        const std::string identification = identification_.without_prompt();
        identification_.clear();
        row(lost_ ? LineEvent::Back : LineEvent::Connected, identification);
        connected_ = true;
        lost_ = false;
        break;
      }
      case Asked::Group: {
        row(LineEvent::ReadOut, text, decode_speed_value(text));
        break;
      }
    }
    asked_ = Asked::Nothing;
  }

  void row(LineEvent event, std::string_view reply = "", std::optional<std::int32_t> speed = std::nullopt) {
    ValueRecord record;
    record.event = event;
    record.port = port_;
    if (event == LineEvent::ReadOut) record.group = group_;
    record.speed = speed;
    record.reply = reply;
    const long long since_ms = now_us_ / 1000;
    RowTime time;
    std::tm local = recording_start_;
    local.tm_sec += static_cast<int>(since_ms / 1000);
    local.tm_isdst = -1;
    std::mktime(&local);  // carries seconds into minutes, days, and over a change of summer time
    time.year = local.tm_year + 1900;
    time.month = local.tm_mon + 1;
    time.day = local.tm_mday;
    time.hour = local.tm_hour;
    time.minute = local.tm_min;
    time.second = local.tm_sec;
    time.millisecond = static_cast<int>(since_ms % 1000);
    time.since_start_ms = recording_offset_ms_ + since_ms;
    log_.write_row(time, record);
  }

  ValueLog& log_;
  Asked asked_ = Asked::Nothing;
  ReplyText answer_;
  ReplyText identification_;
  std::string port_;
  std::string group_;
  bool connected_ = false;
  bool lost_ = false;
  bool closed_pending_ = false;
  long long now_us_ = 0;
  std::tm recording_start_{};
  std::optional<std::time_t> first_start_;
  long long recording_offset_ms_ = 0;
};

}  // namespace

std::string values_from_transcript(std::istream& transcript, std::string_view name, ValueLog& log) {
  const TranscriptResult read = read_transcript(transcript, name);
  if (!read.error.empty()) return read.error;
  Replayer replayer(log);
  for (const TranscriptLine& line : read.lines) {
    if (line.note == TranscriptNote::Start) {
      replayer.end(LineEvent::Closed);
      replayer.start(line.piece.bytes);
    } else if (line.note == TranscriptNote::None) {
      replayer.piece(line.piece);
    } else {
      replayer.note(line);
    }
  }
  replayer.end(LineEvent::Closed);
  return "";
}
