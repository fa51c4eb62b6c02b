// A sample: a captioned window with a custom-painted child on the headless
// display, saved as PNG (the first argument names the file).
#include <windows.h>

#include <cstdio>

#include "test_support.h"

namespace {

LRESULT CALLBACK gauge_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != WM_PAINT) return DefWindowProcA(window, message, wparam, lparam);
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT client;
  GetClientRect(window, &client);
  DrawEdge(dc, &client, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  RECT bar{client.left + 2, client.top + 2, client.left + 2 + (client.right - client.left - 4) * 3 / 5,
           client.bottom - 2};
  FillRect(dc, &bar, GetSysColorBrush(COLOR_HIGHLIGHT));
  SetBkMode(dc, TRANSPARENT);
  SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  RECT label{bar.right, client.top, client.right, client.bottom};
  DrawTextA(dc, "50 km/h", -1, &label, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  EndPaint(window, &paint);
  return 0;
}

LRESULT CALLBACK main_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    SetBkMode(dc, TRANSPARENT);
    SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    TextOutA(dc, 20, 16, "Speed:", 6);
    EndPaint(window, &paint);
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : "sample_window.png";
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc{};
  wc.lpfnWndProc = main_procedure;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = "SampleMain";
  RegisterClassA(&wc);
  wc.lpfnWndProc = gauge_procedure;
  wc.lpszClassName = "SampleGauge";
  RegisterClassA(&wc);

  RECT outer{0, 0, 260, 120};
  AdjustWindowRect(&outer, WS_CAPTION | WS_SYSMENU, FALSE);
  int width = outer.right - outer.left, height = outer.bottom - outer.top;
  HWND window = CreateWindowExA(
      0, "SampleMain", "Velmorant Demo", WS_CAPTION | WS_SYSMENU, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
      (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, nullptr, nullptr, instance, nullptr);
  CreateWindowExA(0, "SampleGauge", "", WS_CHILD | WS_VISIBLE, 20, 40, 220, 50, window, nullptr, instance, nullptr);
  ShowWindow(window, SW_SHOWNORMAL);
  test_support::pump_messages();
  if (!test_support::save_window_png(window, path)) {
    std::fprintf(stderr, "sample_window: cannot write %s\n", path);
    return 1;
  }
  std::printf("%s\n", path);
  DestroyWindow(window);
  return 0;
}
