// velmorant-demo --from-trace TRACE --csv FILE: the value log of a recorded
// session, from a transcript that --trace or velmorant-sim's --record or
// --tap wrote, with the times of the transcript.
#pragma once

#include <istream>
#include <string>
#include <string_view>

#include "value_log.h"

// Writes one row per read-out and per event the transcript shows into log.
// Returns "" or what is wrong with the transcript ("FILE:LINE: ...").
std::string values_from_transcript(std::istream& transcript, std::string_view name, ValueLog& log);
