// A file the program writes and nobody else: the trace, the simulator's
// record and log, the value log. It is opened for appending without following
// a link, and only when it is a regular file that the user running the
// program owns (the system refuses another user's file on Linux, where a
// shared folder such as /tmp lets another user plant one; on Windows the
// user's own folders do not), and it is written through that same handle, a
// whole line in one write or not at all.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile() { close(); }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Opens path for appending, creating it when missing (readable by the user
  // alone). "" when it is open, else why not, with the path, e.g.
  //   "/tmp/t.txt is a link: choose another path"
  //   "/tmp/t.txt belongs to another user: choose another path"
  //   "/tmp/fifo: not a regular file"
  //   "/no/t.txt: No such file or directory"
  std::string open(const std::string& path);
  bool is_open() const { return handle_ != INVALID_HANDLE_VALUE; }
  // The text and "\n" in one write; false, with the system's words for why
  // in problem, when nothing was written.
  bool write_line(std::string_view text, std::string& problem);
  void close();

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// The system's words for a Win32 error code, without a line end or a
// final full stop, e.g. "No space left on device".
std::string error_words(DWORD error);

// A refusal of OutputFile::open in a sentence about the file's use, e.g.
// ("cannot write", "the trace file", path, refusal):
//   "cannot write the trace file /no/t.txt: No such file or directory"
//   "the trace file /tmp/t.txt is a link: choose another path"
std::string refusal_sentence(std::string_view cannot, std::string_view noun, const std::string& path,
                             const std::string& refusal);
