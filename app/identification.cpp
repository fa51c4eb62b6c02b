#include "identification.h"

#include "protocol.h"

void Identification::add(char byte) {
  if (byte == '\0' || found_) return;
  tail_ += byte;
  found_ = tail_.ends_with(IDENTIFICATION);
  if (tail_.size() >= IDENTIFICATION.size()) tail_.erase(0, tail_.size() - (IDENTIFICATION.size() - 1));
}
