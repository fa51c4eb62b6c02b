#include "text.h"

#include <algorithm>

std::int32_t text_length(std::string_view text) { return static_cast<std::int32_t>(text_view(text).size()); }

namespace {

// The byte rule of upper_text, for one byte.
unsigned char upper_byte(unsigned char byte) {
  // The whole range 0xE0 to 0xFF is lowered, 0xF7 included: a byte rule, not a letter rule.
  return (byte >= 0x61 && byte <= 0x7A) || byte >= 0xE0 ? static_cast<unsigned char>(byte - 0x20) : byte;
}

}  // namespace

std::int64_t hex_value(std::string_view text) {
  text = text_view(text);
  std::uint64_t value = 0;
  std::uint64_t multiplier = 1;
  // The scan works on the upper-cased text, one byte at a time.
  for (auto it = text.rbegin(); it != text.rend(); ++it) {
    int digit = upper_byte(static_cast<unsigned char>(*it)) - '0';
    if (digit >= 17 && digit <= 22) {
      digit -= 7;  // "A" to "F"
    } else if (digit < 0 || digit > 9) {
      break;
    }
    // Unsigned arithmetic wraps modulo 2^64, so digits before the last sixteen add nothing.
    value += static_cast<std::uint64_t>(digit) * multiplier;
    multiplier *= 16;
  }
  return static_cast<std::int64_t>(value);
}

std::int32_t find_text(std::string_view text, std::string_view pattern, std::int32_t start) {
  text = text_view(text);
  pattern = text_view(pattern);
  if (text.empty() || pattern.empty()) return 0;
  start = std::max(start, 1);
  if (static_cast<std::size_t>(start) > text.size()) return 0;
  if (pattern.size() > text.size()) return 0;
  // A plain byte scan: the library's find calls memchr and memcmp per
  // candidate, which costs more than it saves on replies of a few dozen bytes.
  const std::size_t last = text.size() - pattern.size();
  for (std::size_t at = static_cast<std::size_t>(start) - 1; at <= last; ++at) {
    std::size_t matched = 0;
    while (matched < pattern.size() && text[at + matched] == pattern[matched]) ++matched;
    if (matched == pattern.size()) return static_cast<std::int32_t>(at + 1);
  }
  return 0;
}

std::string_view mid_view(std::string_view text, std::int32_t start, std::int32_t length) {
  text = text_view(text);
  length = std::max(length, 0);
  std::size_t skip = start <= 1 ? 0 : static_cast<std::size_t>(start) - 1;
  if (skip >= text.size()) return {};
  return text.substr(skip, static_cast<std::size_t>(length));
}

Text mid_text(std::string_view text, std::int32_t start, std::int32_t length) {
  return Text(mid_view(text, start, length));
}

Text decimal_text(std::int32_t value) {
  // The magnitude of the lowest value has no 32-bit form; its digits are stored.
  if (value == INT32_MIN) return "-2147483648";
  char digits[11];
  char* first = digits + sizeof digits;
  std::int32_t magnitude = value < 0 ? -value : value;
  do {
    *--first = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude > 0);
  if (value < 0) *--first = '-';
  return Text(first, digits + sizeof digits);
}

Text upper_text(std::string_view text) {
  Text result(text_view(text));
  for (char& c : result) c = static_cast<char>(upper_byte(static_cast<unsigned char>(c)));
  return result;
}
