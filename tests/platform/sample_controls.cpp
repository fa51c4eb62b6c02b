// A sample with one of each standard control and a message box, for a person
// (or xdotool) at a real X display. It prints where its controls are and
// what they tell it, one line each, so that a script can drive and check it:
//   place edit X Y | place button X Y | window L T R B   (screen coordinates)
//   focus edit | clicked TEXT | message box ANSWER | closed TEXT
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <string>

namespace {

constexpr int id_port = 2, id_connect = 1;
HWND port_field, progress, result;

void say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

void report_place(const char* name, HWND control) {
  RECT r;
  GetWindowRect(control, &r);
  std::printf("place %s %ld %ld\n", name, static_cast<long>((r.left + r.right) / 2),
              static_cast<long>((r.top + r.bottom) / 2));
  std::fflush(stdout);
}

std::string text_of(HWND window) {
  char text[128] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

LRESULT CALLBACK main_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wparam) == id_port && HIWORD(wparam) == EN_SETFOCUS) say("focus edit");
      if (LOWORD(wparam) == id_connect && HIWORD(wparam) == BN_CLICKED) {
        std::string port = text_of(port_field);
        say("clicked " + port);
        SendMessageA(progress, PBM_SETPOS, 100, 0);
        SetWindowTextA(result, "50 km/h");
        // Busy while the box shows, as the program is while it waits for the interface.
        SetCursor(LoadCursorA(nullptr, IDC_APPSTARTING));
        std::string text = "Error during open " + port + ": Port";
        int answer = MessageBoxA(window, text.c_str(), "Error", MB_OK);
        say("message box " + std::to_string(answer));
      }
      return 0;
    case WM_DESTROY:
      say("closed " + text_of(port_field));
      PostQuitMessage(0);
      return 0;
    default: return DefWindowProcA(window, message, wparam, lparam);
  }
}

HWND child(DWORD ex_style, const char* class_name, const char* text, DWORD style, int x, int y, int width, int height,
           HWND parent, int id, HFONT font) {
  HWND made = CreateWindowExA(ex_style, class_name, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
  SendMessageA(made, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  return made;
}

}  // namespace

int main() {
  InitCommonControls();
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc{};
  wc.lpfnWndProc = main_procedure;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = "SampleControls";
  RegisterClassA(&wc);

  DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
  RECT outer{0, 0, 260, 250};
  AdjustWindowRect(&outer, style, FALSE);
  int width = outer.right - outer.left, height = outer.bottom - outer.top;
  HWND window =
      CreateWindowExA(0, "SampleControls", "Velmorant Controls", style, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                      (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, nullptr, nullptr, instance, nullptr);
  HFONT gui = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  HDC screen = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  HFONT large = CreateFontA(-MulDiv(30, GetDeviceCaps(screen, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                            DEFAULT_CHARSET, 0, 0, DEFAULT_QUALITY, 0, "Arial");
  DeleteDC(screen);
  child(0, "Static", "Port:", 0, 20, 14, 30, 20, window, -1, gui);
  port_field =
      child(WS_EX_CLIENTEDGE, "Edit", "COM17", WS_TABSTOP | ES_AUTOHSCROLL, 50, 10, 70, 20, window, id_port, gui);
  HWND connect = child(0, "Button", "Connect", WS_TABSTOP, 140, 10, 80, 22, window, id_connect, gui);
  progress = child(0, PROGRESS_CLASSA, nullptr, 0, 20, 44, 220, 20, window, 3, gui);
  SendMessageA(progress, PBM_SETRANGE32, 0, 100);
  SendMessageA(progress, PBM_SETPOS, 40, 0);
  child(WS_EX_CLIENTEDGE, "Static", "ati\r\nVelmorant interface v1.0\r\n>", 0, 20, 74, 220, 70, window, 4, gui);
  result = child(0, "Static", "", SS_CENTER, 20, 160, 220, 80, window, 6, large);
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);

  report_place("edit", port_field);
  report_place("button", connect);
  RECT r;
  GetWindowRect(window, &r);
  say("window " + std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right) + " " +
      std::to_string(r.bottom));

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  DeleteObject(large);
  return static_cast<int>(msg.wParam);
}
