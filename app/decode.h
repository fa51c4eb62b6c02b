// Turns the reply to a polling request into the speed text of the result field.
#pragma once

#include <optional>
#include <string_view>

#include "text.h"

inline constexpr std::string_view SPEED_FIELD = "07";
inline constexpr double SPEED_FACTOR = 0.01;
inline constexpr std::string_view SPEED_UNIT = " km/h";

// "50 km/h" for a reply whose speed field is "07 64 32"; nothing when the
// reply has no "07" at all.
std::optional<Text> decode_speed(std::string_view reply);

// The speed of the two field values a and b: (a × 0.01) × b in double
// precision, rounded to the nearest integer with ties to even.
std::int32_t speed_of(std::int32_t a, std::int32_t b);

// The whole number of the speed field, as decode_speed shows it; nothing
// when the reply has no "07".
std::optional<std::int32_t> decode_speed_value(std::string_view reply);
