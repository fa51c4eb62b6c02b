// The message requester: a modal box with every other visible, enabled
// top-level window of the calling thread disabled while it shows.
#include "requester.h"
#include "toolkit_internal.h"

#include <vector>

ListNode* disabled_windows = nullptr;

namespace {

// The entries that one requester made, so that it enables again only what it
// disabled itself: a nested requester leaves the outer one's windows alone.
using OwnEntries = std::vector<DisabledWindowRecord*>;

BOOL CALLBACK disable_thread_window(HWND window, LPARAM own_entries) {
  DWORD thread = GetCurrentThreadId();
  if (GetWindowThreadProcessId(window, nullptr) != thread) return TRUE;
  if (!IsWindowVisible(window) || !IsWindowEnabled(window)) return TRUE;
  if (window == GetForegroundWindow()) return TRUE;  // it becomes the owner, which the box disables itself
  EnableWindow(window, FALSE);
  auto* entry =
      static_cast<DisabledWindowRecord*>(list_push(&disabled_windows, sizeof(ListNode) + sizeof(DisabledWindowRecord)));
  if (entry == nullptr) {
    // Without a record it could never be enabled again: leave it enabled.
    EnableWindow(window, TRUE);
    return TRUE;
  }
  entry->window = window;
  entry->thread_id = thread;
  reinterpret_cast<OwnEntries*>(own_entries)->push_back(entry);
  return TRUE;
}

}  // namespace

int message_requester(const char* caption, const char* text, UINT flags) {
  OwnEntries own;
  EnumWindows(disable_thread_window, reinterpret_cast<LPARAM>(&own));

  HWND owner = GetForegroundWindow();
  DWORD owner_process = 0;
  if (owner != nullptr) GetWindowThreadProcessId(owner, &owner_process);
  if (owner_process != GetCurrentProcessId()) owner = nullptr;

  int answer = MessageBoxA(owner, text, caption, flags);

  // Enabling a window sends it WM_ENABLE, whose callback may show another
  // requester; that one adds and removes entries of its own only, so each of
  // these stays valid until it leaves the list here, before its window is enabled.
  for (DisabledWindowRecord* entry : own) {
    HWND window = entry->window;
    list_unlink(&disabled_windows, entry);
    EnableWindow(window, TRUE);
  }
  return answer;
}
