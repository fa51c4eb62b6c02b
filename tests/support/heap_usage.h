// What a private heap holds, counted through HeapWalk on both systems: a test
// compares two counts to see a block that was never freed, which the leak
// sanitizer cannot (every block stays linked from its heap).
#pragma once

#include <windows.h>

#include <ostream>

namespace test_support {

struct HeapUsage {
  SIZE_T blocks = 0;
  SIZE_T bytes = 0;
  bool operator==(const HeapUsage&) const = default;
};

// The live (busy) blocks of the heap and their payload bytes.
HeapUsage heap_usage(HANDLE heap);

inline std::ostream& operator<<(std::ostream& out, const HeapUsage& usage) {
  return out << usage.blocks << " blocks, " << usage.bytes << " bytes";
}

}  // namespace test_support
