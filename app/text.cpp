#include "text.h"

#include <algorithm>

std::string_view text_view(std::string_view bytes) { return bytes.substr(0, bytes.find('\0')); }

std::string_view text_view(const char* bytes) { return bytes == nullptr ? std::string_view{} : std::string_view{bytes}; }

std::int32_t text_length(std::string_view text) { return static_cast<std::int32_t>(text_view(text).size()); }

std::int64_t hex_value(std::string_view text) {
  const Text upper = upper_text(text);
  std::uint64_t value = 0;
  std::uint64_t multiplier = 1;
  for (auto it = upper.rbegin(); it != upper.rend(); ++it) {
    int digit = static_cast<unsigned char>(*it) - '0';
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
  if (start < 1) start = 1;
  if (static_cast<std::size_t>(start) > text.size()) return 0;
  std::size_t found = text.find(pattern, static_cast<std::size_t>(start) - 1);
  return found == std::string_view::npos ? 0 : static_cast<std::int32_t>(found + 1);
}

Text mid_text(std::string_view text, std::int32_t start, std::int32_t length) {
  text = text_view(text);
  if (length < 0) length = 0;
  std::size_t skip = start <= 1 ? 0 : static_cast<std::size_t>(start) - 1;
  if (skip >= text.size()) return {};
  return Text(text.substr(skip, static_cast<std::size_t>(length)));
}

Text decimal_text(std::int32_t value) {
  // The magnitude of the lowest value has no 32-bit form; its digits are stored.
  if (value == INT32_MIN) return "-2147483648";
  if (value == 0) return "0";
  char digits[11];
  int count = 0;
  std::int32_t magnitude = value < 0 ? -value : value;
  while (magnitude > 0) {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  }
  Text result;
  if (value < 0) result.push_back('-');
  while (count > 0) result.push_back(digits[--count]);
  return result;
}

Text upper_text(std::string_view text) {
  Text result(text_view(text));
  for (char& c : result) {
    auto byte = static_cast<unsigned char>(c);
    // The whole range 0xE0 to 0xFF is lowered, 0xF7 included: a byte rule, not a letter rule.
    if ((byte >= 0x61 && byte <= 0x7A) || byte >= 0xE0) c = static_cast<char>(byte - 0x20);
  }
  return result;
}
