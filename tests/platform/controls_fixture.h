// A captioned parent window that records what its controls tell it, for the
// tests of the standard controls on both systems.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <vector>

#include "recorder.h"
#include "test_support.h"

class Controls : public ::testing::Test {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX init{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    ASSERT_TRUE(InitCommonControlsEx(&init));
    parent = recorder.top_level("Controls", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 100, 100, 420, 300);
    ASSERT_NE(parent, nullptr);
    test_support::bring_to_front(parent);
    test_support::pump_messages();
    recorder.clear();
  }
  void TearDown() override {
    if (IsWindow(parent)) DestroyWindow(parent);
    test_support::pump_messages();
  }

  HWND control(const char* class_name, const char* text, DWORD style, int x, int y, int width, int height, int id = 10,
               DWORD ex_style = 0) {
    HWND made = CreateWindowExA(ex_style, class_name, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
    SendMessageA(made, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    return made;
  }

  // The notification codes the parent received from one control, in order.
  std::vector<WORD> notifications(HWND from) const {
    std::vector<WORD> codes;
    for (const Received& r : recorder.only({WM_COMMAND})) {
      if (reinterpret_cast<HWND>(r.lparam) == from) {
        EXPECT_EQ(LOWORD(r.wparam), GetDlgCtrlID(from)) << "the control's id comes with its notification";
        codes.push_back(HIWORD(r.wparam));
      }
    }
    return codes;
  }

  std::string text_of(HWND window) const {
    char buffer[256] = {};
    GetWindowTextA(window, buffer, sizeof buffer);
    return buffer;
  }

  Recorder recorder;
  HWND parent = nullptr;
};

// Whether a pixel is text ink on a light background.
inline bool is_ink(COLORREF c) { return GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 100; }
