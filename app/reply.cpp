#include "reply.h"

#include "protocol.h"
#include "decode.h"

namespace {

// "07", one byte, two digits, one byte, two digits.
constexpr std::size_t FIELD_LENGTH = 8;

}  // namespace

void Reply::add(char byte) {
  if (byte == '\0') return;
  holds_prompt_ = holds_prompt_ || (last_ == PROMPT[0] && byte == PROMPT[1]);
  last_ = byte;
  if (field_found_) {
    if (field_.size() < FIELD_LENGTH) field_ += byte;
    return;
  }
  field_found_ = field_.size() == 1 && field_[0] == SPEED_FIELD[0] && byte == SPEED_FIELD[1];
  if (field_found_) {
    field_ += byte;
  } else {
    field_.assign(1, byte);
  }
}

std::optional<Text> Reply::speed() const { return decode_speed(field_); }

std::optional<std::int32_t> Reply::speed_value() const { return decode_speed_value(field_); }
