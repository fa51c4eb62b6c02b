#include "replay.h"

#include <fstream>
#include <iostream>
#include <stdexcept>

#include "transcript.h"

namespace {

// The simulator cuts a request that never ends at this length, and so does
// the reading of a transcript, so that both see the same requests.
constexpr std::size_t REQUEST_LIMIT = 256;

}  // namespace

std::unique_ptr<Replay> Replay::load(const std::string& path, ReplayTiming timing) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot read the transcript " + path);
  const TranscriptResult transcript = read_transcript(file, path);
  if (!transcript.error.empty()) throw std::runtime_error(transcript.error);

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
    } else if (line.note != TranscriptNote::None) {
      request.clear();  // the port was opened or closed: a request under way went with it
    } else if (piece.direction == Direction::Received) {
      if (reply != nullptr)
        reply->pieces.emplace_back(std::chrono::microseconds(piece.microseconds - asked_at), piece.bytes);
    } else {
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
