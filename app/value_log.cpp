#include "value_log.h"

#include <ctime>

#include "transcript.h"

namespace {

// Digits by hand: printf's integers are the same in every locale, and no
// floating point is formatted anywhere, so no decimal comma can appear.
void append_number(std::string& text, long long value, int width) {
  char digits[24];
  std::snprintf(digits, sizeof digits, "%0*lld", width, value);
  text += digits;
}

}  // namespace

RowTime local_row_time(std::chrono::system_clock::time_point wall) {
  using namespace std::chrono;
  const auto since_epoch = duration_cast<milliseconds>(wall.time_since_epoch()).count();
  long long millis = since_epoch % 1000;
  std::time_t seconds = static_cast<std::time_t>(since_epoch / 1000);
  if (millis < 0) {
    millis += 1000;
    --seconds;
  }
  RowTime time;
  time.millisecond = static_cast<int>(millis);
  if (const std::tm* local = std::localtime(&seconds)) {
    time.year = local->tm_year + 1900;
    time.month = local->tm_mon + 1;
    time.day = local->tm_mday;
    time.hour = local->tm_hour;
    time.minute = local->tm_min;
    time.second = local->tm_sec;
  }
  return time;
}

std::string csv_field(std::string_view text) {
  const bool quoted = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                      (!text.empty() && (text.front() == ' ' || text.back() == ' '));
  if (!quoted) return std::string(text);
  std::string field = "\"";
  for (char c : text) {
    if (c == '"') field += '"';
    field += c;
  }
  field += '"';
  return field;
}

std::string_view event_word(LineEvent event) {
  switch (event) {
    case LineEvent::ReadOut: return "";
    case LineEvent::Connected: return "connected";
    case LineEvent::Lost: return "lost";
    case LineEvent::Back: return "back";
    case LineEvent::Closed: return "closed";
    case LineEvent::Stopped: return "stopped";
  }
  return "";
}

std::string value_row(const RowTime& time, const ValueRecord& record) {
  std::string row;
  append_number(row, time.year, 4);
  row += '-';
  append_number(row, time.month, 2);
  row += '-';
  append_number(row, time.day, 2);
  row += ' ';
  append_number(row, time.hour, 2);
  row += ':';
  append_number(row, time.minute, 2);
  row += ':';
  append_number(row, time.second, 2);
  row += '.';
  append_number(row, time.millisecond, 3);
  row += ',';
  const long long ms = time.since_start_ms < 0 ? 0 : time.since_start_ms;
  append_number(row, ms / 1000, 1);
  row += '.';
  append_number(row, ms % 1000, 3);
  row += ',';
  row += csv_field(record.port);
  row += ',';
  row += csv_field(record.group);
  row += ',';
  if (record.speed) append_number(row, *record.speed, 1);
  row += ',';
  row += csv_field(escape_bytes(record.reply));
  row += ',';
  row += event_word(record.event);
  row += "\r\n";
  return row;
}

ValueLog::~ValueLog() {
  if (file_ != nullptr && owned_) std::fclose(file_);
}

bool ValueLog::open(const std::string& path) {
  path_ = path;
  started_ = std::chrono::steady_clock::now();
  if (path == "-") {
    file_ = stdout;
    to_standard_output_ = true;
    write_text(std::string(VALUE_LOG_HEADER) + "\r\n");
    return true;
  }
  // Binary, so that the rows end alike on every system.
  file_ = std::fopen(path.c_str(), "ab");
  if (file_ == nullptr) return false;
  owned_ = true;
  if (std::fseek(file_, 0, SEEK_END) == 0 && std::ftell(file_) == 0) write_text(std::string(VALUE_LOG_HEADER) + "\r\n");
  return true;
}

void ValueLog::take(const ValueRecord& record) {
  RowTime time = local_row_time(record.wall);
  time.since_start_ms = std::chrono::duration_cast<std::chrono::milliseconds>(record.at - started_).count();
  write_row(time, record);
}

void ValueLog::write_row(const RowTime& time, const ValueRecord& record) { write_text(value_row(time, record)); }

void ValueLog::write_text(const std::string& text) {
  if (file_ == nullptr || failed_) return;
  std::string_view bytes = text;
  std::string converted;
#ifdef _WIN32
  // Standard output is in text mode there and makes each "\n" a line end itself.
  if (to_standard_output_) {
    converted = text;
    for (std::size_t at; (at = converted.find("\r\n")) != std::string::npos;) converted.erase(at, 1);
    bytes = converted;
  }
#endif
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size() && std::fflush(file_) == 0;
  if (written) return;
  // Said once; the rows after it are dropped, so a full disk is not asked again for every reply.
  failed_ = true;
  if (report_)
    report_("The value log " + (to_standard_output_ ? std::string("on standard output") : path_) +
            " cannot be written: later values are not logged.");
}
