// A point on the monotonic clock by which a wait must end, or none.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

class Deadline {
 public:
  using Clock = std::chrono::steady_clock;

  static Deadline never() { return Deadline(std::nullopt); }
  static Deadline after(std::uint64_t milliseconds) {
    return Deadline(Clock::now() + std::chrono::milliseconds(milliseconds));
  }

  // The earlier of two deadlines.
  Deadline earlier(const Deadline& other) const {
    if (!at_) return other;
    if (!other.at_) return *this;
    return *at_ <= *other.at_ ? *this : other;
  }

  bool passed() const { return at_ && Clock::now() >= *at_; }

  // The timeout for poll(): -1 for none, else the milliseconds left, rounded
  // up so that a wait never ends before its deadline.
  int poll_timeout() const {
    if (!at_) return -1;
    const auto left = *at_ - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return milliseconds > 0x7fffffff ? 0x7fffffff : static_cast<int>(milliseconds);
  }

 private:
  explicit Deadline(std::optional<Clock::time_point> at) : at_(at) {}
  std::optional<Clock::time_point> at_;
};
