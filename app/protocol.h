// The texts exchanged with the interface.
#pragma once

#include <string_view>

inline constexpr std::string_view IDENTIFY_REQUEST = "ati\r";
inline constexpr std::string_view IDENTIFICATION = "Velmorant";
inline constexpr std::string_view CONNECT_REQUEST = "atd01\r";
inline constexpr std::string_view PROMPT = "\r>";
