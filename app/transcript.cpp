#include "transcript.h"

#include <ctime>

namespace {

constexpr char HEX_DIGITS[] = "0123456789abcdef";

bool printable(unsigned char c) { return c >= 0x20 && c < 0x7f; }

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "12.345678": whole seconds (at most 12 digits, so no overflow) and up to
// nine decimals, as microseconds.
std::optional<std::int64_t> parse_seconds(std::string_view text) {
  const std::size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view decimals = point == std::string_view::npos ? std::string_view{} : text.substr(point + 1);
  if (whole.empty() || whole.size() > 12) return std::nullopt;
  if (point != std::string_view::npos && (decimals.empty() || decimals.size() > 9)) return std::nullopt;
  std::int64_t seconds = 0;
  for (char c : whole) {
    if (c < '0' || c > '9') return std::nullopt;
    seconds = seconds * 10 + (c - '0');
  }
  std::int64_t micros = 0;
  for (std::size_t i = 0; i < decimals.size(); ++i) {
    const char c = decimals[i];
    if (c < '0' || c > '9') return std::nullopt;
    if (i < 6) micros = micros * 10 + (c - '0');
  }
  for (std::size_t i = decimals.size(); i < 6; ++i) micros *= 10;
  return seconds * 1000000 + micros;
}

TranscriptNote note_kind(std::string_view text) {
  if (text.starts_with("start")) return TranscriptNote::Start;
  if (text == "hang-up") return TranscriptNote::HangUp;
  if (text.starts_with("lost ")) return TranscriptNote::Lost;
  return TranscriptNote::Other;
}

// One line without its end; false with the problem when it is malformed.
bool parse_line(std::string_view text, TranscriptLine& line, std::string& problem) {
  if (text.starts_with("#")) {
    std::string_view note = text.substr(1);
    if (note.starts_with(" ")) note.remove_prefix(1);
    line.note = note_kind(note);
    line.piece.bytes = note;
    return true;
  }
  const std::size_t space = text.find(' ');
  const std::optional<std::int64_t> micros = parse_seconds(text.substr(0, space));
  if (!micros) {
    problem = "not a time in seconds: \"" + std::string(text.substr(0, space)) + "\"";
    return false;
  }
  line.piece.microseconds = *micros;
  const std::string_view rest = space == std::string_view::npos ? std::string_view{} : text.substr(space + 1);
  if (rest.empty() || (rest[0] != '>' && rest[0] != '<')) {
    problem = "unknown direction \"" + std::string(rest.substr(0, 1)) + "\" (\">\" sent, \"<\" received)";
    return false;
  }
  line.piece.direction = rest[0] == '>' ? Direction::Sent : Direction::Received;
  if (rest.size() < 3 || rest[1] != ' ') {
    problem = "no bytes after the direction";
    return false;
  }
  std::optional<std::string> bytes = unescape_bytes(rest.substr(2), &problem);
  if (!bytes) return false;
  line.piece.bytes = std::move(*bytes);
  return true;
}

}  // namespace

std::string escape_bytes(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (unsigned char c : bytes) {
    if (c == '\r') {
      text += "\\r";
    } else if (c == '\n') {
      text += "\\n";
    } else if (c == '\\') {
      text += "\\\\";
    } else if (printable(c)) {
      text += static_cast<char>(c);
    } else {
      text += "\\x";
      text += HEX_DIGITS[c >> 4];
      text += HEX_DIGITS[c & 15];
    }
  }
  return text;
}

std::optional<std::string> unescape_bytes(std::string_view text, std::string* problem) {
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (!printable(static_cast<unsigned char>(c))) {
      if (problem) *problem = "a byte that is not text (" + escape_bytes(std::string_view(&c, 1)) + ")";
      return std::nullopt;
    }
    if (c != '\\') {
      bytes += c;
      continue;
    }
    const char kind = i + 1 < text.size() ? text[i + 1] : '\0';
    if (kind == 'r' || kind == 'n' || kind == 't' || kind == '\\') {
      bytes += kind == 'r' ? '\r' : kind == 'n' ? '\n' : kind == 't' ? '\t' : '\\';
      i += 1;
      continue;
    }
    const int high = i + 2 < text.size() ? hex_digit(text[i + 2]) : -1;
    const int low = i + 3 < text.size() ? hex_digit(text[i + 3]) : -1;
    if (kind != 'x' || high < 0 || low < 0) {
      if (problem) *problem = "bad escape \"" + std::string(text.substr(i, 4)) + "\"";
      return std::nullopt;
    }
    bytes += static_cast<char>(high * 16 + low);
    i += 3;
  }
  return bytes;
}

std::string transcript_line(const TranscriptPiece& piece) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%lld.%06lld", static_cast<long long>(piece.microseconds / 1000000),
                static_cast<long long>(piece.microseconds % 1000000));
  return std::string(seconds) + (piece.direction == Direction::Sent ? " > " : " < ") + escape_bytes(piece.bytes);
}

TranscriptResult read_transcript(std::istream& input, std::string_view name) {
  TranscriptResult result;
  std::string text;
  std::size_t number = 0;
  std::int64_t last_time = 0;
  const auto fail = [&](const std::string& problem) {
    result.error = std::string(name) + ":" + std::to_string(number) + ": " + problem;
    return result;
  };
  for (;;) {
    text.clear();
    ++number;
    int c = 0;
    while ((c = input.get()) != std::char_traits<char>::eof() && c != '\n') {
      if (text.size() == TRANSCRIPT_LINE_LIMIT) {
        return fail("a line longer than " + std::to_string(TRANSCRIPT_LINE_LIMIT) + " characters");
      }
      text += static_cast<char>(c);
    }
    if (c == std::char_traits<char>::eof() && text.empty()) return result;
    if (!text.empty() && text.back() == '\r') text.pop_back();  // a file edited on Windows
    if (text.empty()) continue;
    for (std::size_t column = 0; column < text.size(); ++column) {
      if (!printable(static_cast<unsigned char>(text[column]))) {
        return fail("byte " + escape_bytes(text.substr(column, 1)) + " in column " + std::to_string(column + 1) +
                    ": not a text file");
      }
    }
    TranscriptLine line;
    line.number = number;
    std::string problem;
    if (!parse_line(text, line, problem)) return fail(problem);
    if (line.note == TranscriptNote::Start) last_time = 0;
    if (line.note == TranscriptNote::None) {
      if (line.piece.microseconds < last_time) return fail("the time goes back");
      last_time = line.piece.microseconds;
    }
    result.lines.push_back(std::move(line));
  }
}

TranscriptWriter::~TranscriptWriter() { close(); }

bool TranscriptWriter::open(const std::string& path, std::string_view what, std::string* problem) {
  close();
  std::string refusal = file_.open(path);
  if (refusal.empty()) {
    started_ = std::chrono::steady_clock::now();
    char when[64] = "";
    const std::time_t now = std::time(nullptr);
    if (const std::tm* local = std::localtime(&now)) std::strftime(when, sizeof when, ", %Y-%m-%d %H:%M:%S", local);
    std::string start = "# start ";
    start += what;
    start += when;
    std::string words;
    if (file_.write_line(start, words)) return true;
    refusal = path + ": " + words;  // a file that takes nothing
    file_.close();
  }
  if (problem) *problem = refusal;
  return false;
}

void TranscriptWriter::piece(Direction direction, std::string_view bytes) {
  const auto since = std::chrono::steady_clock::now() - started_;
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(since).count();
  write_line(transcript_line(TranscriptPiece{micros, direction, std::string(bytes)}));
}

void TranscriptWriter::note(std::string_view text) {
  std::string line = "# ";
  line += text;
  write_line(line);
}

void TranscriptWriter::close() {
  file_.close();
  lost_ = 0;
  told_ = false;
}

bool TranscriptWriter::write_line(const std::string& line) {
  if (!file_.is_open()) return false;
  std::string problem;
  if (lost_ > 0) {
    if (!file_.write_line("# lost " + std::to_string(lost_) + " lines", problem)) {
      ++lost_;  // still failing: told already
      return false;
    }
    lost_ = 0;
  }
  if (file_.write_line(line, problem)) return true;
  ++lost_;
  if (!told_ && tell_) tell_(problem);  // once: a disk at its limit fails and recovers line by line
  told_ = true;
  return false;
}
