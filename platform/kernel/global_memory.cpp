// Global memory over the C++ heap. Every block is recorded by its handle, so
// a handle that names no block is refused rather than followed: a moveable
// block's handle is the address of its record, a fixed block's handle is its
// own memory, as on Windows. Blocks never move; the lock count is kept so that
// GlobalUnlock reports what Windows reports.
#include <windows.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace {

struct GlobalBlock {
  std::unique_ptr<unsigned char[]> memory;
  SIZE_T size = 0;
  bool moveable = false;
  unsigned locks = 0;
};

std::mutex blocks_lock;
std::unordered_map<HGLOBAL, std::unique_ptr<GlobalBlock>>& blocks() {
  static std::unordered_map<HGLOBAL, std::unique_ptr<GlobalBlock>> by_handle;
  return by_handle;
}

GlobalBlock* block_of(HGLOBAL memory) {
  auto found = blocks().find(memory);
  return found == blocks().end() ? nullptr : found->second.get();
}

}  // namespace

// GlobalAlloc: new[] of at least one byte (Windows hands out a block for a
// size of zero too); GMEM_ZEROINIT clears it.
HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) {
  auto block = std::make_unique<GlobalBlock>();
  block->memory.reset(new (std::nothrow) unsigned char[bytes == 0 ? 1 : bytes]);
  if (!block->memory) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (flags & GMEM_ZEROINIT) std::memset(block->memory.get(), 0, bytes == 0 ? 1 : bytes);
  block->size = bytes;
  block->moveable = (flags & GMEM_MOVEABLE) != 0;
  HGLOBAL handle = block->moveable ? static_cast<HGLOBAL>(block.get()) : static_cast<HGLOBAL>(block->memory.get());
  std::lock_guard held(blocks_lock);
  blocks()[handle] = std::move(block);
  return handle;
}

LPVOID WINAPI GlobalLock(HGLOBAL memory) {
  std::lock_guard held(blocks_lock);
  GlobalBlock* block = block_of(memory);
  if (block == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (block->moveable) ++block->locks;
  return block->memory.get();
}

// TRUE while the block stays locked; FALSE with NO_ERROR once it is not, and
// with ERROR_NOT_LOCKED for a moveable block that was not locked.
BOOL WINAPI GlobalUnlock(HGLOBAL memory) {
  std::lock_guard held(blocks_lock);
  GlobalBlock* block = block_of(memory);
  if (block == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!block->moveable) return TRUE;  // a fixed block is never locked: Windows answers TRUE
  if (block->locks == 0) {
    SetLastError(ERROR_NOT_LOCKED);
    return FALSE;
  }
  if (--block->locks > 0) return TRUE;
  SetLastError(ERROR_SUCCESS);
  return FALSE;
}

SIZE_T WINAPI GlobalSize(HGLOBAL memory) {
  std::lock_guard held(blocks_lock);
  GlobalBlock* block = block_of(memory);
  if (block == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return block->size;
}

// Null when freed; the handle back when it names no block.
HGLOBAL WINAPI GlobalFree(HGLOBAL memory) {
  std::lock_guard held(blocks_lock);
  if (blocks().erase(memory) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return memory;
  }
  return nullptr;
}
