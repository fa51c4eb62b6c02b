// Feeds arbitrary bytes to the text operations and the speed decoding and
// checks what must hold for every input.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "decode.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

std::int32_t read_int(const std::uint8_t*& data, std::size_t& size) {
  std::uint32_t value = 0;
  for (int i = 0; i < 4 && size > 0; ++i, ++data, --size) value = value << 8 | *data;
  return static_cast<std::int32_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::int32_t start = read_int(data, size);
  const std::int32_t length = read_int(data, size);
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::size_t split = bytes.find('\x01');
  const std::string_view text = bytes.substr(0, split);
  const std::string_view pattern = split == std::string_view::npos ? std::string_view{} : bytes.substr(split + 1);
  const std::string_view whole = text_view(text);

  const Text upper = upper_text(text);
  require(upper.size() == whole.size());
  require(upper_text(upper) == upper);

  const std::int32_t found = find_text(text, pattern, start);
  if (found != 0) {
    const std::string_view wanted = text_view(pattern);
    require(found >= std::max(start, 1));
    require(whole.substr(static_cast<std::size_t>(found) - 1, wanted.size()) == wanted);
  }

  const Text mid = mid_text(text, start, length);
  require(mid.size() <= whole.size());
  require(length <= 0 ? mid.empty() : mid.size() <= static_cast<std::size_t>(length));
  require(whole.find(mid) != std::string_view::npos);

  const Text decimal = decimal_text(start);
  require(std::strtoll(decimal.c_str(), nullptr, 10) == start);
  require(decimal.size() <= 11);

  const std::int64_t value = hex_value(text);
  require(value == hex_value(upper));

  if (auto speed = decode_speed(text)) {
    require(find_text(text, "07", 1) != 0);
    require(speed->size() > SPEED_UNIT.size());
    const long shown = std::strtol(speed->c_str(), nullptr, 10);
    require(shown >= 0 && shown <= 650);
  } else {
    require(find_text(text, "07", 1) == 0);
  }
  return 0;
}
