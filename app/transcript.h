// A transcript of what a serial line carried, as text, one line per piece:
//   SECONDS DIRECTION BYTES
// seconds since the recording started (with microseconds), ">" for bytes sent
// to the interface and "<" for bytes received from it, and the bytes with C
// escapes (\r, \n, \\, \xNN for every other byte outside printable ASCII):
//   0.104233 > ati\r
//   0.112960 < Velmorant VD-1 simulator\r>
// Lines starting with "#" are notes: the port's opening and closing, and
// "# start ..." where a recording begins, after which the seconds count
// afresh (a file may hold several recordings, one after the other).
// "# hang-up" says that the interface ended the line there; "# lost N lines"
// that the writer could not write N lines before it (a full disk).
//
// The program writes it (--trace), the simulator records it from a real
// interface (--tap) and plays it back (--replay); this unit is the one
// place that writes and reads it.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "output_file.h"

enum class Direction { Sent, Received };

struct TranscriptPiece {
  std::int64_t microseconds = 0;
  Direction direction = Direction::Sent;
  std::string bytes;
};

enum class TranscriptNote { None, Start, HangUp, Lost, Other };

// One line of a transcript: a piece, or a note (bytes holds its text).
struct TranscriptLine {
  TranscriptNote note = TranscriptNote::None;
  TranscriptPiece piece;
  std::size_t number = 0;  // in the file, from 1
};

// Lines longer than this are refused: no writer makes them, and a file that
// holds one is not a transcript (or would take unbounded memory).
inline constexpr std::size_t TRANSCRIPT_LINE_LIMIT = 65536;

// The bytes as one printable line of text, and back. unescape_bytes gives
// nothing for a bad escape or a byte outside printable ASCII, and says which.
std::string escape_bytes(std::string_view bytes);
std::optional<std::string> unescape_bytes(std::string_view text, std::string* problem = nullptr);

// "12.345678 > ati\r" (no line end).
std::string transcript_line(const TranscriptPiece& piece);

// Reads a whole transcript. On a malformed line it stops and says where:
// "FILE:LINE: what is wrong".
struct TranscriptResult {
  std::vector<TranscriptLine> lines;
  std::string error;  // empty when the whole input was read
};
TranscriptResult read_transcript(std::istream& input, std::string_view name);

// Appends a transcript to a file, each line written whole in one write as it
// comes, so that the file holds every piece up to the end however the
// writer's program ends. A line that cannot be written (a full disk) is
// counted; the first of them is told, once for the whole recording, and when
// writing works again the count goes first, as "# lost N lines", so that a
// replay knows.
class TranscriptWriter {
 public:
  TranscriptWriter() = default;
  ~TranscriptWriter();
  TranscriptWriter(const TranscriptWriter&) = delete;
  TranscriptWriter& operator=(const TranscriptWriter&) = delete;

  // Opens path for appending (output_file.h says which files it takes) and
  // begins a recording with "# start " + what and the local date and time.
  // False, with why in problem, when the file cannot be written.
  bool open(const std::string& path, std::string_view what, std::string* problem = nullptr);
  bool is_open() const { return file_.is_open(); }
  // Called with the system's words ("No space left on device") when the
  // first line is lost.
  void on_failure(std::function<void(const std::string& problem)> tell) { tell_ = std::move(tell); }
  // A piece, timed from the opening; a note ("# " + text).
  void piece(Direction direction, std::string_view bytes);
  void note(std::string_view text);
  void close();
  // Lines not written since the last one that was.
  std::uint64_t lost() const { return lost_; }

 private:
  bool write_line(const std::string& line);

  OutputFile file_;
  std::chrono::steady_clock::time_point started_{};
  std::uint64_t lost_ = 0;
  bool told_ = false;
  std::function<void(const std::string&)> tell_;
};
