#include "replay.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <stdexcept>
#include <streambuf>

#include "transcript.h"

namespace {

// The simulator cuts a request that never ends at this length, and so does
// the reading of a transcript, so that both see the same requests.
constexpr std::size_t REQUEST_LIMIT = 256;

// A recorded reply piece further from its request than this is refused: no
// interface is that slow, and the waits stay far from any overflow.
constexpr std::int64_t LONGEST_GAP_MICROSECONDS = 3600LL * 1000000;

// Reads a descriptor as a stream.
class DescriptorBuffer : public std::streambuf {
 public:
  explicit DescriptorBuffer(int fd) : fd_(fd) {}

 protected:
  int_type underflow() override {
    ssize_t got = 0;
    do {
      got = read(fd_, buffer_, sizeof buffer_);
    } while (got < 0 && errno == EINTR);
    if (got <= 0) return traits_type::eof();
    setg(buffer_, buffer_, buffer_ + got);
    return traits_type::to_int_type(buffer_[0]);
  }

 private:
  int fd_;
  char buffer_[65536];
};

// The transcript's descriptor: a regular file only. Opening never waits (a
// FIFO would wait for a writer); what is not a regular file is refused.
int open_transcript(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd == -1) throw std::runtime_error("cannot read the transcript " + path + ": " + std::strerror(errno));
  struct stat seen {};
  if (fstat(fd, &seen) != 0 || !S_ISREG(seen.st_mode)) {
    close(fd);
    throw std::runtime_error(path + ": not a regular file");
  }
  return fd;
}

}  // namespace

void Replay::check_file(const std::string& path) { close(open_transcript(path)); }

std::unique_ptr<Replay> Replay::load(const std::string& path, ReplayTiming timing) {
  const int fd = open_transcript(path);
  DescriptorBuffer buffer(fd);
  std::istream file(&buffer);
  const TranscriptResult transcript = read_transcript(file, path);
  close(fd);
  if (!transcript.error.empty()) throw std::runtime_error(transcript.error);
  const auto refuse = [&](const TranscriptLine& line, const std::string& problem) {
    return std::runtime_error(path + ":" + std::to_string(line.number) + ": " + problem);
  };

  std::unique_ptr<Replay> replay(new Replay(timing));
  std::string request;
  Reply* reply = nullptr;  // the reply to the last whole request
  std::int64_t asked_at = 0;
  for (const TranscriptLine& line : transcript.lines) {
    const TranscriptPiece& piece = line.piece;
    if (line.note == TranscriptNote::Start) {
      request.clear();
      reply = nullptr;
    } else if (line.note == TranscriptNote::HangUp) {
      if (reply != nullptr) reply->hang_up = true;
    } else if (line.note == TranscriptNote::Lost) {
      request.clear();  // what followed the lost lines answers something unknown
      reply = nullptr;
    } else if (line.note != TranscriptNote::None) {
      request.clear();  // the port was opened or closed: a request under way went with it
    } else if (piece.direction == Direction::Received) {
      if (reply == nullptr) continue;
      if (piece.microseconds - asked_at > LONGEST_GAP_MICROSECONDS)
        throw refuse(line, "a reply more than an hour after its request");
      reply->pieces.emplace_back(std::chrono::microseconds(piece.microseconds - asked_at), piece.bytes);
    } else {
      // A writer writes each request as it is sent: two in one line are two
      // lines glued together, as a failing disk leaves them.
      const std::size_t end = piece.bytes.find('\r');
      if (end != std::string::npos && end + 1 < piece.bytes.size())
        throw refuse(line, "more than one request in one line");
      for (char c : piece.bytes) {
        request += c;
        if (c != '\r' && request.size() < REQUEST_LIMIT) continue;
        std::vector<Reply>& replies = replay->recorded_[request].replies;
        replies.emplace_back();
        reply = &replies.back();
        asked_at = piece.microseconds;
        request.clear();
      }
    }
  }
  if (replay->recorded_.empty()) throw std::runtime_error(path + ": holds no request to answer");
  return replay;
}

std::optional<Answer> Replay::answer(std::string_view request) {
  const auto found = recorded_.find(std::string(request));
  if (found == recorded_.end()) {
    std::cerr << "velmorant-sim: not in the transcript: " << escape_bytes(request) << " (answered \"?\")" << std::endl;
    return with_prompt("?");
  }
  Replies& replies = found->second;
  const Reply& reply = replies.replies[replies.next];
  replies.next = (replies.next + 1) % replies.replies.size();
  if (reply.pieces.empty() && !reply.hang_up) return std::nullopt;  // the interface said nothing

  Answer answer;
  answer.hang_up_after = reply.hang_up;
  if (reply.pieces.empty()) return answer;
  if (timing_ == ReplayTiming::LineRate) {
    for (const auto& piece : reply.pieces) answer.bytes += piece.second;
    return answer;
  }
  answer.delay = reply.pieces.front().first;
  answer.bytes = reply.pieces.front().second;
  answer.later.assign(reply.pieces.begin() + 1, reply.pieces.end());
  return answer;
}
