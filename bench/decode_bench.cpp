// Speed decoding: the whole table of field values, and typical replies.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "decode.h"

namespace {

// All 65,536 pairs as numbers: the arithmetic and rounding alone.
void BM_SpeedOfAllPairs(benchmark::State& state) {
  for (auto _ : state) {
    std::int64_t sum = 0;
    for (std::int32_t a = 0; a < 256; ++a) {
      for (std::int32_t b = 0; b < 256; ++b) sum += speed_of(a, b);
    }
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_SpeedOfAllPairs)->Unit(benchmark::kMillisecond);

// All 65,536 pairs as replies: search, substrings, hexadecimal values, formatting.
void BM_DecodeAllPairReplies(benchmark::State& state) {
  std::vector<Text> replies;
  replies.reserve(65536);
  char reply[32];
  for (unsigned a = 0; a < 256; ++a) {
    for (unsigned b = 0; b < 256; ++b) {
      std::snprintf(reply, sizeof reply, "0805\r07 %02X %02X\r>", a, b);
      replies.emplace_back(reply);
    }
  }
  for (auto _ : state) {
    for (const Text& r : replies) benchmark::DoNotOptimize(decode_speed(r));
  }
}
BENCHMARK(BM_DecodeAllPairReplies)->Unit(benchmark::kMillisecond);

void BM_DecodeTypicalReply(benchmark::State& state) {
  // A measuring-block reply of four value triples with the speed third.
  const Text reply = "0805\r01 C8 1E 02 0A 55 07 64 32 0B 00 00\r>";
  for (auto _ : state) benchmark::DoNotOptimize(decode_speed(reply));
}
BENCHMARK(BM_DecodeTypicalReply);

void BM_DecodeReplyWithoutSpeed(benchmark::State& state) {
  const Text reply = "0805\r01 C8 1E 02 0A 55 03 64 32 0B 00 00\r>";
  for (auto _ : state) benchmark::DoNotOptimize(decode_speed(reply));
}
BENCHMARK(BM_DecodeReplyWithoutSpeed);

}  // namespace
