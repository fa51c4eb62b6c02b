// Texts as the program and the interface exchange them: 8-bit byte strings
// that end at their first zero byte, with positions counted from 1.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

using Text = std::string;

// The part of bytes before its first zero byte; a null pointer is the empty text.
// Inline: every operation starts with it, and texts are short.
inline std::string_view text_view(std::string_view bytes) {
  std::size_t length = 0;
  while (length < bytes.size() && bytes[length] != '\0') ++length;
  return bytes.substr(0, length);
}
inline std::string_view text_view(const char* bytes) {
  return bytes == nullptr ? std::string_view{} : std::string_view{bytes};
}

std::int32_t text_length(std::string_view text);

// Value of the run of hexadecimal digits at the end of the text, modulo 2^64.
std::int64_t hex_value(std::string_view text);

// Position of the first occurrence of pattern at or after start, 0 when none.
std::int32_t find_text(std::string_view text, std::string_view pattern, std::int32_t start);

Text mid_text(std::string_view text, std::int32_t start, std::int32_t length);
// The same bytes as mid_text, as a view into text instead of a copy.
std::string_view mid_view(std::string_view text, std::int32_t start, std::int32_t length);

Text decimal_text(std::int32_t value);

// Upper-cases byte by byte: "a" to "z" and every byte from 0xE0 to 0xFF
// (0xF7 included) become the byte 0x20 below; the length stays.
Text upper_text(std::string_view text);
