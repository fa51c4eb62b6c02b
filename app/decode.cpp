#include "decode.h"

#include <cmath>

std::int32_t speed_of(std::int32_t a, std::int32_t b) {
  // Two separately rounded products, in this order; the build keeps the
  // compiler from fusing them (no FMA contraction, no fast-math).
  const double scaled = static_cast<double>(a) * SPEED_FACTOR;
  const double product = scaled * static_cast<double>(b);
  // nearbyint rounds in the current mode, which the program never changes:
  // to nearest, exact halves to the even neighbour.
  const double rounded = std::nearbyint(product);
  // Only values far beyond what a two-digit field holds can leave the range.
  if (!(rounded >= INT32_MIN && rounded <= INT32_MAX)) return rounded < 0 ? INT32_MIN : INT32_MAX;
  return static_cast<std::int32_t>(rounded);
}

std::optional<std::int32_t> decode_speed_value(std::string_view reply) {
  const std::int32_t p = find_text(reply, SPEED_FIELD, 1);
  if (p == 0) return std::nullopt;
  const auto a = static_cast<std::int32_t>(hex_value(mid_view(reply, p + 3, 2)));
  const auto b = static_cast<std::int32_t>(hex_value(mid_view(reply, p + 6, 2)));
  return speed_of(a, b);
}

std::optional<Text> decode_speed(std::string_view reply) {
  const std::optional<std::int32_t> value = decode_speed_value(reply);
  if (!value) return std::nullopt;
  Text speed = decimal_text(*value);
  speed.append(SPEED_UNIT);
  return speed;
}
