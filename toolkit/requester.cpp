// The message requester: a modal box with every other visible, enabled
// top-level window of the calling thread disabled while it shows.
#include "requester.h"

ListNode* disabled_windows = nullptr;

namespace {

BOOL CALLBACK disable_thread_window(HWND window, LPARAM) {
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
  return TRUE;
}

DisabledWindowRecord* record_of(ListNode* node) { return reinterpret_cast<DisabledWindowRecord*>(node + 1); }

}  // namespace

int message_requester(const char* caption, const char* text, UINT flags) {
  EnumWindows(disable_thread_window, 0);

  HWND owner = GetForegroundWindow();
  DWORD owner_process = 0;
  if (owner != nullptr) GetWindowThreadProcessId(owner, &owner_process);
  if (owner_process != GetCurrentProcessId()) owner = nullptr;

  int answer = MessageBoxA(owner, text, caption, flags);

  DWORD thread = GetCurrentThreadId();
  for (ListNode* node = disabled_windows; node != nullptr;) {
    ListNode* older = node->next;
    DisabledWindowRecord* entry = record_of(node);
    if (entry->thread_id == thread) {
      EnableWindow(entry->window, TRUE);
      list_unlink(&disabled_windows, entry);
    }
    node = older;
  }
  return answer;
}
