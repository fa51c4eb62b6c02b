// What reply collection keeps of a reply while it arrives: whether the prompt
// has come, and the speed field from the reply's first "07" on. The
// completion test and the decoding read nothing else of the reply, so they
// give what they would give for all of it, while a reply that never ends
// costs no more memory than a short one.
#pragma once

#include <optional>

#include "text.h"

class Reply {
 public:
  // A zero byte ends the one-byte text it was read into, so it adds nothing.
  void add(char byte);
  void clear() { *this = Reply{}; }

  // The prompt "\r>" stands somewhere in the reply.
  bool holds_prompt() const { return holds_prompt_; }
  // The speed text of the reply, nothing when it has no speed field.
  std::optional<Text> speed() const;
  std::optional<std::int32_t> speed_value() const;
  // The bytes held, at most eight whatever the reply's length.
  std::size_t kept_bytes() const { return field_.size(); }

 private:
  // Before the first "07": the last byte, which may begin it. From then on:
  // "07" and the six bytes after it, the most the decoding reads.
  Text field_;
  bool field_found_ = false;
  bool holds_prompt_ = false;
  char last_ = '\0';
};
