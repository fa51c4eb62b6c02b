// Identification and reply collection keep only what their tests need. They
// are checked against the rules as first written, which keep every byte: the
// same random answers, split into the pieces in which they arrive, must be
// recognised, completed and decoded alike at every moment the line is quiet.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "decode.h"
#include "echo.h"
#include "identification.h"
#include "protocol.h"
#include "reply.h"

namespace {

// The rules with the whole collected text, as the sequence was first written.
struct WholeIdentification {
  Text answers;
  void add(char byte) { answers += text_view(std::string_view(&byte, 1)); }
  bool found() const { return find_text(answers, IDENTIFICATION, 1) != 0; }
};

struct WholeReply {
  Text text;
  void add(char byte) { text += text_view(std::string_view(&byte, 1)); }
  void clear() { text.clear(); }
  bool holds_prompt() const { return find_text(text, PROMPT, 1) != 0; }
  std::optional<Text> speed() const { return decode_speed(text); }
};

// What the sequence makes of answers that arrive in these pieces, the line
// quiet after each: identification until it is found (the whole piece is read
// first), then one reply after another, each complete at the first quiet
// moment after its prompt. One line per quiet moment.
template <typename IdentificationRule, typename ReplyRule>
std::vector<std::string> transcript(const std::vector<std::string>& pieces) {
  IdentificationRule identification;
  ReplyRule reply;
  std::vector<std::string> lines;
  for (const std::string& piece : pieces) {
    const bool identifying = !identification.found();
    for (char byte : piece) identifying ? identification.add(byte) : reply.add(byte);
    if (identifying) {
      lines.push_back(identification.found() ? "identified" : "not identified");
    } else if (!reply.holds_prompt()) {
      lines.push_back("incomplete");
    } else {
      lines.push_back("complete: " + reply.speed().value_or("no speed"));
      reply.clear();
    }
  }
  return lines;
}

// Answers built from the parts the rules look for, broken up and mixed with
// zero bytes and any other byte, cut into pieces at random places.
std::vector<std::string> random_pieces(std::mt19937& random) {
  static const std::vector<std::string> parts = {"Velmorant",
                                                 "Velm",
                                                 "orant",
                                                 "Vel",
                                                 "V",
                                                 "\r",
                                                 ">",
                                                 "\r>",
                                                 "07",
                                                 "0",
                                                 "7",
                                                 " ",
                                                 "64",
                                                 "32",
                                                 "FF",
                                                 "ff",
                                                 "G4",
                                                 "07 64 32",
                                                 std::string(1, '\0'),
                                                 "\r\r>",
                                                 "007",
                                                 "Velmorant VD-1\r>"};
  std::uniform_int_distribution<std::size_t> part(0, parts.size());
  std::uniform_int_distribution<int> count(0, 40), any_byte(0, 255), cut(0, 3);
  std::string stream;
  for (int i = count(random); i > 0; --i) {
    const std::size_t chosen = part(random);
    stream += chosen < parts.size() ? parts[chosen] : std::string(1, static_cast<char>(any_byte(random)));
  }
  std::vector<std::string> pieces(1);
  for (char byte : stream) {
    pieces.back() += byte;
    if (cut(random) == 0) pieces.emplace_back();
  }
  return pieces;
}

TEST(KeptAnswers, RecogniseCompleteAndDecodeAsTheWholeTextsDo) {
  std::mt19937 random(21);
  for (int run = 0; run < 20000; ++run) {
    const std::vector<std::string> pieces = random_pieces(random);
    ASSERT_EQ((transcript<Identification, Reply>(pieces)), (transcript<WholeIdentification, WholeReply>(pieces)))
        << "run " << run;
  }
}

// Cases that random answers reach only rarely, each telling one slip apart.
TEST(KeptAnswers, AgreeOnTheEdges) {
  const std::vector<std::vector<std::string>> cases = {
      {"VVelmorant", "07 FF FF\r>"},                     // a false start of the identification
      {"Velmoran", "t\r>", "07 01 96\r>"},               // identification split one byte short
      {"Velmor", std::string("\0ant", 4), "Velmorant"},  // a zero byte splits nothing
      {"Velmorant", "0", "07 64 32\r>"},                 // "007": the field begins at the second 0
      {"Velmorant", std::string("0\0"
                                "7 64 32\r>",
                                11)},                      // "0", zero byte, "7": the field still found
      {"Velmorant", "\r", ">", "07"},                      // a prompt split across pieces
      {"Velmorant", std::string("\r\0>", 3), "x"},         // and around a zero byte
      {"Velmorant", "07 64 3207 FF FF\r>"},                // the first field counts
      {"Velmorant", "07 6", "4 32 99\r>", "07 FF FF\r>"},  // a field split, then the next reply
      {"Velmorant", "\r>07 64 32"},                        // bytes waiting behind the prompt
  };
  for (const auto& pieces : cases) {
    EXPECT_EQ((transcript<Identification, Reply>(pieces)), (transcript<WholeIdentification, WholeReply>(pieces)))
        << pieces[1];
  }
}

TEST(KeptAnswers, HoldAFewBytesHoweverLongTheAnswerGrows) {
  Identification identification;
  Reply reply;
  std::size_t most_kept_by_identification = 0, most_kept_by_reply = 0;
  auto add = [&](char byte) {
    identification.add(byte);
    reply.add(byte);
    most_kept_by_identification = std::max(most_kept_by_identification, identification.kept_bytes());
    most_kept_by_reply = std::max(most_kept_by_reply, reply.kept_bytes());
  };
  std::mt19937 random(7);
  std::uniform_int_distribution<int> any_byte(1, 255);
  for (int i = 0; i < 1 << 20; ++i) add(i % 1000 == 0 ? '0' : static_cast<char>(any_byte(random)));
  add('0');
  add('7');
  for (int i = 0; i < 1000; ++i) add('1');
  EXPECT_LT(most_kept_by_identification, IDENTIFICATION.size());
  EXPECT_EQ(most_kept_by_reply, 8u);
}

}  // namespace

namespace {

// Whatever piece sizes the line delivers, the echo ends with every byte the
// log can still show, and holds fewer than twice the log's worth.
TEST(Echo, KeepsTheNewestBytesTheLogCanShowAndNoMore) {
  Text stream;
  for (std::size_t i = 0; i < 3 * LOG_LIMIT + 123; ++i) stream += static_cast<char>('A' + i % 23);
  for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, LOG_LIMIT, 3 * LOG_LIMIT}) {
    SCOPED_TRACE(piece);
    Echo echo;
    for (std::size_t added = 0; added < stream.size();) {
      echo.add(std::string_view(stream).substr(added, piece));
      added = std::min(added + piece, stream.size());
      const std::size_t shown = std::min(added, LOG_LIMIT);
      ASSERT_TRUE(std::string_view(echo.pending()).ends_with(std::string_view(stream).substr(added - shown, shown)))
          << "after " << added << " bytes";
      ASSERT_LT(echo.pending().size(), 2 * LOG_LIMIT);
    }
  }
}

}  // namespace
