#include "heap_usage.h"

namespace test_support {

HeapUsage heap_usage(HANDLE heap) {
  HeapUsage usage;
  PROCESS_HEAP_ENTRY entry{};
  entry.lpData = nullptr;
  // Windows also reports the heap's regions and free ranges: only busy entries are blocks.
  while (HeapWalk(heap, &entry)) {
    if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) == 0) continue;
    ++usage.blocks;
    usage.bytes += entry.cbData;
  }
  return usage;
}

}  // namespace test_support
