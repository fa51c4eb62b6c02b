// Critical sections over a recursive mutex that the record points at. The
// SDK's fields keep their meaning as far as callers could see them: the
// recursion count and the owning thread.
#include <windows.h>

#include <mutex>

namespace {

std::recursive_mutex* lock_of(LPCRITICAL_SECTION section) {
  return static_cast<std::recursive_mutex*>(section->DebugInfo);
}

}  // namespace

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section) {
  *section = CRITICAL_SECTION{};
  section->DebugInfo = new std::recursive_mutex;
  section->LockCount = -1;
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section) {
  lock_of(section)->lock();
  ++section->RecursionCount;
  section->OwningThread = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(GetCurrentThreadId()));
}

BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION section) {
  if (!lock_of(section)->try_lock()) return FALSE;
  ++section->RecursionCount;
  section->OwningThread = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(GetCurrentThreadId()));
  return TRUE;
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section) {
  if (--section->RecursionCount == 0) section->OwningThread = nullptr;
  lock_of(section)->unlock();
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section) {
  delete lock_of(section);
  section->DebugInfo = nullptr;
}
