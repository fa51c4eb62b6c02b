#include "recorder.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

Recorder* Recorder::current = nullptr;

Recorder::Recorder() {
  current = this;
  WNDCLASSA wc{};
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = procedure;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = "Recorder";
  RegisterClassA(&wc);
}

Recorder::~Recorder() {
  // Windows left open by a failed test go first, so the class can go too.
  EnumWindows(
      [](HWND window, LPARAM) -> BOOL {
        char name[16];
        if (GetClassNameA(window, name, sizeof name) && std::string_view(name) == "Recorder") DestroyWindow(window);
        return TRUE;
      },
      0);
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  UnregisterClassA("Recorder", GetModuleHandleA(nullptr));
  current = nullptr;
}

HWND Recorder::top_level(const char* title, DWORD style, int x, int y, int width, int height, HWND owner) {
  return CreateWindowExA(0, "Recorder", title, style, x, y, width, height, owner, nullptr, GetModuleHandleA(nullptr),
                         nullptr);
}

HWND Recorder::child(HWND parent, int id, int x, int y, int width, int height, DWORD style) {
  return CreateWindowExA(0, "Recorder", "", style, x, y, width, height, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
}

std::vector<Received> Recorder::only(std::initializer_list<UINT> messages) const {
  std::vector<Received> out;
  for (const Received& r : log_) {
    if (std::find(messages.begin(), messages.end(), r.message) != messages.end()) out.push_back(r);
  }
  return out;
}

std::vector<UINT> Recorder::kinds(std::initializer_list<UINT> messages, HWND window) const {
  std::vector<UINT> out;
  for (const Received& r : only(messages)) {
    if (window == nullptr || r.window == window) out.push_back(r.message);
  }
  return out;
}

namespace {

bool matches(const Received& got, const Expected& expected) {
  return got.message == expected.message && (expected.window == nullptr || got.window == expected.window) &&
         (got.wparam & expected.wparam_bits) == (expected.wparam & expected.wparam_bits) &&
         (!expected.lparam || got.lparam == *expected.lparam);
}

std::string describe(const Received& r) {
  std::ostringstream line;
  line << std::hex << "  " << r.window << " 0x" << r.message << " wparam 0x" << r.wparam << " lparam 0x" << r.lparam
       << "\n";
  return line.str();
}

std::string describe(const Expected& e) {
  std::ostringstream line;
  line << std::hex << "  ";
  if (e.window != nullptr)
    line << e.window;
  else
    line << "any window";
  line << " 0x" << e.message << " wparam 0x" << e.wparam << " (bits 0x" << e.wparam_bits << ") lparam ";
  if (e.lparam)
    line << "0x" << *e.lparam << "\n";
  else
    line << "any\n";
  return line.str();
}

}  // namespace

void Recorder::expect_messages(std::initializer_list<UINT> watched, const std::vector<Expected>& sequence) const {
  const std::vector<Received> seen = only(watched);
  bool same = seen.size() == sequence.size();
  for (std::size_t i = 0; same && i < seen.size(); ++i) same = matches(seen[i], sequence[i]);
  if (same) return;
  std::string text = "received:\n";
  for (const Received& r : seen) text += describe(r);
  text += "expected:\n";
  for (const Expected& e : sequence) text += describe(e);
  ADD_FAILURE() << text;
}

LRESULT CALLBACK Recorder::procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (current != nullptr) {
    current->log_.push_back(Received{window, message, wparam, lparam});
    LRESULT result = 0;
    if (current->handler && current->handler(window, message, wparam, lparam, &result)) return result;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}
