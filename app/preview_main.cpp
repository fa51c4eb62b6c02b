// Stands in for the program on Linux while the platform cannot show its
// window yet: it shows what the decoding does with a few typical replies.
#include <cstdio>

#include "decode.h"

int main() {
  std::puts("Velmorant demo: the window is not built yet.");
  std::puts("What works so far: decoding the speed field of a measuring-block reply.");
  const char* replies[] = {"0805\r07 64 32\r>", "07 01 96\r>", "07 01 FA\r>", "07 FF FF\r>", "07 ff 64\r>", "no speed field\r>"};
  for (const char* reply : replies) {
    auto speed = decode_speed(reply);
    Text shown;
    for (char c : Text(reply)) shown += c == '\r' ? Text("\\r") : Text(1, c);
    std::printf("  %-22s -> %s\n", shown.c_str(), speed ? speed->c_str() : "(no speed field)");
  }
  return 0;
}
