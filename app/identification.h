// What identification keeps of the answers to "ati\r": whether
// "Velmorant" has been seen, and the few bytes before the newest one that may
// be the start of it in an answer still arriving. The answers are collected
// without clearing, so the text may be split across several of them.
#pragma once

#include "text.h"

class Identification {
 public:
  // A zero byte adds nothing, as to the collected answers.
  void add(char byte);
  bool found() const { return found_; }
  // The bytes held, fewer than the identification has whatever the answers' length.
  std::size_t kept_bytes() const { return tail_.size(); }

 private:
  Text tail_;  // the newest bytes, fewer than the identification has
  bool found_ = false;
};
