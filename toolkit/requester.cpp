// The message requester: a modal box with every other visible, enabled
// top-level window of the calling thread disabled while it shows.
#include "requester.h"
#include "toolkit_internal.h"

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

DisabledWindowRecord* first_entry_of(DWORD thread) {
  for (ListNode* node = disabled_windows; node != nullptr; node = node->next) {
    if (record_of(node)->thread_id == thread) return record_of(node);
  }
  return nullptr;
}

}  // namespace

int message_requester(const char* caption, const char* text, UINT flags) {
  EnumWindows(disable_thread_window, 0);

  HWND owner = GetForegroundWindow();
  DWORD owner_process = 0;
  if (owner != nullptr) GetWindowThreadProcessId(owner, &owner_process);
  if (owner_process != GetCurrentProcessId()) owner = nullptr;

  int answer = MessageBoxA(owner, text, caption, flags);

  // Enabling a window sends it WM_ENABLE, whose callback may show another
  // requester and so change the list: each entry leaves the list before its
  // window is enabled, and the walk starts again from the head.
  DWORD thread = GetCurrentThreadId();
  for (DisabledWindowRecord* entry = first_entry_of(thread); entry != nullptr; entry = first_entry_of(thread)) {
    HWND window = entry->window;
    list_unlink(&disabled_windows, entry);
    EnableWindow(window, TRUE);
  }
  return answer;
}
