// Private heaps over malloc. Every block carries a small header that links it
// into its heap, so HeapDestroy can free what the heap still holds and
// HeapReAlloc knows how many bytes to zero when a block grows.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

constexpr std::uint64_t heap_magic = 0x56454c4d48454150ull;   // "VELMHEAP"
constexpr std::uint64_t block_magic = 0x56454c4d424c4f4bull;  // "VELMBLOK"

struct Heap;

// Sixteen-byte aligned, so the payload that follows keeps malloc's alignment.
struct alignas(16) BlockHeader {
  Heap* heap;
  BlockHeader* prev;
  BlockHeader* next;
  SIZE_T size;
  std::uint64_t magic;
};

struct Heap {
  std::uint64_t magic = heap_magic;
  DWORD options = 0;
  SIZE_T maximum = 0;  // 0: grows as needed
  SIZE_T in_use = 0;   // payload bytes of live blocks
  BlockHeader* blocks = nullptr;
  std::mutex lock;
};

Heap* heap_from(HANDLE handle) {
  auto* heap = static_cast<Heap*>(handle);
  if (heap == nullptr || heap->magic != heap_magic) return nullptr;
  return heap;
}

BlockHeader* header_of(Heap* heap, LPCVOID block) {
  auto* header = reinterpret_cast<BlockHeader*>(const_cast<void*>(block)) - 1;
  if (header->magic != block_magic || header->heap != heap) return nullptr;
  return header;
}

void* payload_of(BlockHeader* header) { return header + 1; }

// A heap created with a maximum refuses to hold more than that many bytes.
bool fits(const Heap& heap, SIZE_T extra) {
  if (heap.maximum == 0) return true;
  return extra <= heap.maximum && heap.in_use <= heap.maximum - extra;
}

void link(Heap& heap, BlockHeader* header) {
  header->prev = nullptr;
  header->next = heap.blocks;
  if (heap.blocks != nullptr) heap.blocks->prev = header;
  heap.blocks = header;
}

void unlink(Heap& heap, BlockHeader* header) {
  if (header->prev != nullptr)
    header->prev->next = header->next;
  else
    heap.blocks = header->next;
  if (header->next != nullptr) header->next->prev = header->prev;
}

// HEAP_NO_SERIALIZE on the heap or on the call skips the heap's lock, as on Windows.
std::unique_lock<std::mutex> guard(Heap& heap, DWORD flags) {
  if ((heap.options | flags) & HEAP_NO_SERIALIZE) return {};
  return std::unique_lock<std::mutex>(heap.lock);
}

}  // namespace

HANDLE WINAPI HeapCreate(DWORD options, SIZE_T initial_size, SIZE_T maximum_size) {
  if (maximum_size != 0 && initial_size > maximum_size) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto* heap = new (std::nothrow) Heap;
  if (heap == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  heap->options = options;
  heap->maximum = maximum_size;
  return heap;
}

BOOL WINAPI HeapDestroy(HANDLE handle) {
  Heap* heap = heap_from(handle);
  if (heap == nullptr || handle == GetProcessHeap()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  for (BlockHeader* header = heap->blocks; header != nullptr;) {
    BlockHeader* next = header->next;
    header->magic = 0;
    std::free(header);
    header = next;
  }
  heap->magic = 0;
  delete heap;
  return TRUE;
}

LPVOID WINAPI HeapAlloc(HANDLE handle, DWORD flags, SIZE_T bytes) {
  Heap* heap = heap_from(handle);
  if (heap == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  auto held = guard(*heap, flags);
  if (!fits(*heap, bytes) || bytes > SIZE_MAX - sizeof(BlockHeader)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto* header = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + bytes));
  if (header == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  header->heap = heap;
  header->size = bytes;
  header->magic = block_magic;
  link(*heap, header);
  heap->in_use += bytes;
  if (flags & HEAP_ZERO_MEMORY) std::memset(payload_of(header), 0, bytes);
  return payload_of(header);
}

LPVOID WINAPI HeapReAlloc(HANDLE handle, DWORD flags, LPVOID block, SIZE_T bytes) {
  Heap* heap = heap_from(handle);
  if (heap == nullptr || block == nullptr) {
    SetLastError(heap == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto held = guard(*heap, flags);
  BlockHeader* header = header_of(heap, block);
  if (header == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  SIZE_T old_size = header->size;
  if (bytes > old_size && (flags & HEAP_REALLOC_IN_PLACE_ONLY)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if ((bytes > old_size && !fits(*heap, bytes - old_size)) || bytes > SIZE_MAX - sizeof(BlockHeader)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (bytes <= old_size && (flags & HEAP_REALLOC_IN_PLACE_ONLY)) {
    header->size = bytes;
    heap->in_use -= old_size - bytes;
    return block;
  }
  // realloc may move the block, so take it out of the list first and put it back after.
  unlink(*heap, header);
  auto* moved = static_cast<BlockHeader*>(std::realloc(header, sizeof(BlockHeader) + bytes));
  if (moved == nullptr) {
    link(*heap, header);  // the old block is still intact
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  moved->size = bytes;
  link(*heap, moved);
  heap->in_use = heap->in_use - old_size + bytes;
  if ((flags & HEAP_ZERO_MEMORY) && bytes > old_size) {
    std::memset(static_cast<char*>(payload_of(moved)) + old_size, 0, bytes - old_size);
  }
  return payload_of(moved);
}

BOOL WINAPI HeapFree(HANDLE handle, DWORD flags, LPVOID block) {
  Heap* heap = heap_from(handle);
  if (heap == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (block == nullptr) return TRUE;  // as on Windows
  auto held = guard(*heap, flags);
  BlockHeader* header = header_of(heap, block);
  if (header == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  unlink(*heap, header);
  heap->in_use -= header->size;
  header->magic = 0;
  std::free(header);
  return TRUE;
}

SIZE_T WINAPI HeapSize(HANDLE handle, DWORD flags, LPCVOID block) {
  Heap* heap = heap_from(handle);
  if (heap == nullptr || block == nullptr) return static_cast<SIZE_T>(-1);
  auto held = guard(*heap, flags);
  BlockHeader* header = header_of(heap, block);
  return header == nullptr ? static_cast<SIZE_T>(-1) : header->size;
}

// Walks the list of live blocks (newest first). The entry given back names
// its block, so the walk goes on from that block's header; freeing that block
// between two calls ends the walk with an error, where Windows is undefined.
BOOL WINAPI HeapWalk(HANDLE handle, LPPROCESS_HEAP_ENTRY entry) {
  Heap* heap = heap_from(handle);
  if (heap == nullptr || entry == nullptr) {
    SetLastError(heap == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto held = guard(*heap, 0);
  BlockHeader* next = heap->blocks;
  if (entry->lpData != nullptr) {
    BlockHeader* previous = header_of(heap, entry->lpData);
    if (previous == nullptr) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    next = previous->next;
  }
  if (next == nullptr) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
  }
  *entry = PROCESS_HEAP_ENTRY{};
  entry->lpData = payload_of(next);
  entry->cbData = static_cast<DWORD>(next->size);
  entry->cbOverhead = static_cast<BYTE>(sizeof(BlockHeader));
  entry->wFlags = PROCESS_HEAP_ENTRY_BUSY;
  return TRUE;
}

HANDLE WINAPI GetProcessHeap() {
  // Never destroyed: it lives as long as the process, as on Windows.
  static Heap* const process_heap = new Heap;
  return process_heap;
}
