// System metrics, parameters and colours: the classic Windows look, at 96 dpi.
#include <windows.h>

#include "gdi/objects.h"
#include "user/internal.h"

namespace {

// The frame of our own windows; a test compares relations, not these numbers.
constexpr int caption_height = 19;  // the caption bar with its bottom line
constexpr int border = 1;
constexpr int fixed_frame = 3;
constexpr int sizing_frame = 4;
constexpr int edge = 2;

constexpr COLORREF classic_colours[] = {
    RGB(192, 192, 192),  // COLOR_SCROLLBAR
    RGB(0, 128, 128),    // COLOR_BACKGROUND
    RGB(0, 0, 128),      // COLOR_ACTIVECAPTION
    RGB(128, 128, 128),  // COLOR_INACTIVECAPTION
    RGB(192, 192, 192),  // COLOR_MENU
    RGB(255, 255, 255),  // COLOR_WINDOW
    RGB(0, 0, 0),        // COLOR_WINDOWFRAME
    RGB(0, 0, 0),        // COLOR_MENUTEXT
    RGB(0, 0, 0),        // COLOR_WINDOWTEXT
    RGB(255, 255, 255),  // COLOR_CAPTIONTEXT
    RGB(192, 192, 192),  // COLOR_ACTIVEBORDER
    RGB(192, 192, 192),  // COLOR_INACTIVEBORDER
    RGB(128, 128, 128),  // COLOR_APPWORKSPACE
    RGB(0, 0, 128),      // COLOR_HIGHLIGHT
    RGB(255, 255, 255),  // COLOR_HIGHLIGHTTEXT
    RGB(192, 192, 192),  // COLOR_BTNFACE
    RGB(128, 128, 128),  // COLOR_BTNSHADOW
    RGB(128, 128, 128),  // COLOR_GRAYTEXT
    RGB(0, 0, 0),        // COLOR_BTNTEXT
    RGB(192, 192, 192),  // COLOR_INACTIVECAPTIONTEXT
    RGB(255, 255, 255),  // COLOR_BTNHIGHLIGHT
    RGB(0, 0, 0),        // COLOR_3DDKSHADOW
    RGB(223, 223, 223),  // COLOR_3DLIGHT
    RGB(0, 0, 0),        // COLOR_INFOTEXT
    RGB(255, 255, 225),  // COLOR_INFOBK
    RGB(180, 180, 180),  // 25, unused
    RGB(0, 0, 255),      // COLOR_HOTLIGHT
    RGB(16, 132, 208),   // COLOR_GRADIENTACTIVECAPTION
    RGB(181, 181, 181),  // COLOR_GRADIENTINACTIVECAPTION
    RGB(0, 0, 128),      // COLOR_MENUHILIGHT
    RGB(192, 192, 192),  // COLOR_MENUBAR
};
constexpr int colour_count = sizeof classic_colours / sizeof classic_colours[0];

bool drag_full_windows = true;

}  // namespace

int WINAPI GetSystemMetrics(int index) {
  SIZE screen = display::current().screen_size();
  switch (index) {
    case SM_CXSCREEN:
    case SM_CXFULLSCREEN: return screen.cx;
    case SM_CYSCREEN: return screen.cy;
    case SM_CYFULLSCREEN: return screen.cy - caption_height;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL: return 16;
    case SM_CYCAPTION: return caption_height;
    case SM_CXBORDER:
    case SM_CYBORDER: return border;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return fixed_frame;
    case SM_CXFRAME:
    case SM_CYFRAME: return sizing_frame;
    case SM_CXEDGE:
    case SM_CYEDGE: return edge;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR: return 32;
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
    case SM_CYMENU: return 19;
    case SM_CXSIZE:
    case SM_CYSIZE: return caption_height - 1;
    case SM_CXMIN: return 112;
    case SM_CYMIN: return caption_height + 2 * fixed_frame;
    case SM_CXMINTRACK: return 112;
    case SM_CYMINTRACK: return caption_height + 2 * sizing_frame;
    case SM_CXMAXTRACK: return screen.cx + 2 * (sizing_frame + 2);
    case SM_CYMAXTRACK: return screen.cy + 2 * (sizing_frame + 2);
    case SM_CXMAXIMIZED: return screen.cx + 2 * sizing_frame;
    case SM_CYMAXIMIZED: return screen.cy + 2 * sizing_frame;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK: return 4;
    case SM_CXPADDEDBORDER: return 0;
    default: return 0;
  }
}

BOOL WINAPI SystemParametersInfoA(UINT action, UINT param, PVOID value, UINT) {
  switch (action) {
    case SPI_GETDRAGFULLWINDOWS:
      if (value == nullptr) return FALSE;
      *static_cast<BOOL*>(value) = drag_full_windows;
      return TRUE;
    case SPI_SETDRAGFULLWINDOWS: drag_full_windows = param != 0; return TRUE;
    case SPI_GETWORKAREA: {
      if (value == nullptr) return FALSE;
      SIZE screen = display::current().screen_size();
      *static_cast<RECT*>(value) = RECT{0, 0, screen.cx, screen.cy};
      return TRUE;
    }
    default: SetLastError(ERROR_INVALID_PARAMETER); return FALSE;
  }
}

DWORD WINAPI GetSysColor(int index) { return index >= 0 && index < colour_count ? classic_colours[index] : 0; }

// One brush per system colour, made on first use and never deleted (DeleteObject ignores them).
HBRUSH WINAPI GetSysColorBrush(int index) {
  static HBRUSH brushes[colour_count] = {};
  if (index < 0 || index >= colour_count) return nullptr;
  if (brushes[index] == nullptr) brushes[index] = gdi::make_permanent_brush(classic_colours[index]);
  return brushes[index];
}

BOOL WINAPI MessageBeep(UINT) { return TRUE; }

// GetGuiResources: the GDI objects are counted for the calling process only,
// as the only process there is here; user objects are not counted.
DWORD WINAPI GetGuiResources(HANDLE process, DWORD flags) {
  if (process != GetCurrentProcess() || flags != GR_GDIOBJECTS) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return gdi::object_count();
}
