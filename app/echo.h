// The bytes read from the line that have not reached the log yet. The log
// shows only its newest LOG_LIMIT bytes, so older ones are dropped here too;
// they are cut away once twice as many have gathered, so that cutting copies
// no more than LOG_LIMIT bytes for every LOG_LIMIT bytes read.
#pragma once

#include <cstddef>
#include <string_view>

#include "text.h"

// The log keeps at most this many of its newest bytes.
inline constexpr std::size_t LOG_LIMIT = 4096;

class Echo {
 public:
  void add(std::string_view bytes) {
    pending_ += bytes;
    if (pending_.size() >= 2 * LOG_LIMIT) pending_.erase(0, pending_.size() - LOG_LIMIT);
  }
  // What was added since the last take: all of it, or at least its newest LOG_LIMIT bytes.
  const Text& pending() const { return pending_; }
  void clear() { pending_.clear(); }

 private:
  Text pending_;
};
