// A window class that records every message its windows receive, for tests
// that check which messages arrive and in what order.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string_view>
#include <functional>
#include <initializer_list>
#include <optional>
#include <vector>

struct Received {
  HWND window;
  UINT message;
  WPARAM wparam;
  LPARAM lparam;
  bool operator==(const Received& other) const = default;
};

// One message of an expected sequence, declared as data: the window and the
// parameters are compared only where given.
struct Expected {
  HWND window;  // nullptr: any window
  UINT message;
  WPARAM wparam = 0;
  WPARAM wparam_bits = 0;          // the bits of wparam compared, none by default
  std::optional<LPARAM> lparam{};  // none: any lparam
};
inline constexpr WPARAM all_bits = ~WPARAM{0};

class Recorder {
 public:
  // Registers the class "Recorder" with a white background.
  Recorder();
  ~Recorder();

  HWND top_level(const char* title, DWORD style, int x, int y, int width, int height, HWND owner = nullptr);
  HWND child(HWND parent, int id, int x, int y, int width, int height, DWORD style = WS_CHILD | WS_VISIBLE);

  // The received messages of the given kinds, oldest first.
  std::vector<Received> only(std::initializer_list<UINT> messages) const;
  std::vector<UINT> kinds(std::initializer_list<UINT> messages, HWND window = nullptr) const;
  void clear() { log_.clear(); }
  // A test failure, listing both sequences, unless the received messages of
  // the watched kinds are exactly `sequence`, in its order.
  void expect_messages(std::initializer_list<UINT> watched, const std::vector<Expected>& sequence) const;

  // A handler run before the default processing; returning true ends the handling with `result`.
  std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT* result)> handler;

  static Recorder* current;
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

 private:
  std::vector<Received> log_;
};

// Destroys the window at the end of a test scope.
struct WindowGuard {
  HWND window;
  ~WindowGuard() {
    if (IsWindow(window)) DestroyWindow(window);
  }
};
