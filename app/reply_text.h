// A reply's bytes as the value views receive them: as received, zero bytes
// left out as everywhere else, the prompt "\r>" taken out, and at most
// REPLY_TEXT_LIMIT bytes of it (a reply that never ends costs no more).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "protocol.h"

inline constexpr std::size_t REPLY_TEXT_LIMIT = 1024;

class ReplyText {
 public:
  void add(char received) {
    if (received != '\0' && bytes_.size() < REPLY_TEXT_LIMIT) bytes_ += received;
  }
  void clear() { bytes_.clear(); }
  // The bytes with every prompt taken out (answers collected one after the
  // other hold one each).
  std::string without_prompt() const {
    std::string text = bytes_;
    for (std::size_t at; (at = text.find(PROMPT)) != std::string::npos;) text.erase(at, PROMPT.size());
    return text;
  }

 private:
  std::string bytes_;
};
