// Handle values are small multiples of four, as on Windows: slot i of the
// table is handle 4 × (i + 1). They are neither 0 (a failed creation) nor
// INVALID_HANDLE_VALUE, whatever file descriptor lies behind them.
#include "kernel/handle_table.h"

#include <cerrno>
#include <mutex>
#include <vector>

namespace {

constexpr std::size_t max_handles = 1 << 16;

struct HandleTable {
  std::mutex lock;
  std::vector<std::unique_ptr<KernelObject>> slots;
};

HandleTable& table() {
  static HandleTable* const instance = new HandleTable;  // lives as long as the process
  return *instance;
}

HANDLE handle_of_slot(std::size_t slot) { return reinterpret_cast<HANDLE>(static_cast<UINT_PTR>((slot + 1) * 4)); }

// The slot of a handle value, or max_handles for a value that names none.
std::size_t slot_of_handle(HANDLE handle) {
  const auto value = reinterpret_cast<UINT_PTR>(handle);
  if (value == 0 || value % 4 != 0 || value / 4 > max_handles) return max_handles;
  return value / 4 - 1;
}

}  // namespace

HANDLE handle_insert(std::unique_ptr<KernelObject> object) {
  HandleTable& handles = table();
  std::lock_guard held(handles.lock);
  for (std::size_t slot = 0; slot < handles.slots.size(); ++slot) {
    if (!handles.slots[slot]) {
      handles.slots[slot] = std::move(object);
      return handle_of_slot(slot);
    }
  }
  if (handles.slots.size() == max_handles) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  handles.slots.push_back(std::move(object));
  return handle_of_slot(handles.slots.size() - 1);
}

KernelObject* handle_lookup(HANDLE handle, HandleKind kind) {
  KernelObject* object = handle_lookup_any(handle);
  if (object != nullptr && object->kind() == kind) return object;
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

KernelObject* handle_lookup_any(HANDLE handle) {
  HandleTable& handles = table();
  std::lock_guard held(handles.lock);
  const std::size_t slot = slot_of_handle(handle);
  if (slot < handles.slots.size() && handles.slots[slot]) return handles.slots[slot].get();
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

BOOL WINAPI CloseHandle(HANDLE handle) {
  std::unique_ptr<KernelObject> object;
  {
    HandleTable& handles = table();
    std::lock_guard held(handles.lock);
    const std::size_t slot = slot_of_handle(handle);
    if (slot >= handles.slots.size() || !handles.slots[slot]) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    object = std::move(handles.slots[slot]);
  }
  // The handle is gone even when the system reports a failure on close, as
  // with close(2) itself.
  return object->close() ? TRUE : FALSE;
}

DWORD error_from_errno(int error) {
  switch (error) {
    case ENOENT:
    case ENXIO:
    case ENODEV: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS: return ERROR_ACCESS_DENIED;
    case EBUSY:
    case EWOULDBLOCK: return ERROR_SHARING_VIOLATION;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENOTTY: return ERROR_NOT_SUPPORTED;  // a request the line's driver does not know, such as modem lines on a pty
    case ENAMETOOLONG: return ERROR_INVALID_NAME;
    default: return ERROR_GEN_FAILURE;
  }
}

// The pseudo-handle is -1, as on Windows; it names no slot of the table.
HANDLE WINAPI GetCurrentProcess() { return INVALID_HANDLE_VALUE; }

BOOL WINAPI GetProcessHandleCount(HANDLE process, LPDWORD count) {
  if (process != GetCurrentProcess() || count == nullptr) {
    SetLastError(process != GetCurrentProcess() ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  HandleTable& handles = table();
  std::lock_guard held(handles.lock);
  DWORD open = 0;
  for (const auto& slot : handles.slots) open += slot != nullptr;
  *count = open;
  return TRUE;
}
