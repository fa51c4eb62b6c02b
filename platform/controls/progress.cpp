// The "msctls_progress32" control: a bar that fills from the left in
// proportion to its position within its range, in the classic chunks
// (smooth with PBS_SMOOTH), inside a thin sunken edge.
#include <commctrl.h>

#include <algorithm>
#include <climits>

#include "controls/controls.h"

namespace controls {
namespace {

struct ProgressState {
  int low = 0;
  int high = 100;
  int position = 0;
  int step = 10;
  COLORREF bar = CLR_DEFAULT;
  COLORREF background = CLR_DEFAULT;
  HFONT font = nullptr;
};

constexpr int chunk_gap = 2;

void paint(HWND window, HDC dc) {
  ProgressState* state = state_of<ProgressState>(window);
  RECT client;
  GetClientRect(window, &client);
  HBRUSH background =
      state->background == CLR_DEFAULT ? GetSysColorBrush(COLOR_3DFACE) : CreateSolidBrush(state->background);
  HBRUSH bar = state->bar == CLR_DEFAULT ? GetSysColorBrush(COLOR_HIGHLIGHT) : CreateSolidBrush(state->bar);
  FillRect(dc, &client, background);
  RECT inner = client;
  InflateRect(&inner, -1, -1);
  int width = inner.right - inner.left;
  int span = state->high - state->low;
  int filled = span > 0 ? MulDiv(state->position - state->low, width, span) : 0;
  int end = inner.left + std::clamp(filled, 0, width);
  if (GetWindowLongA(window, GWL_STYLE) & PBS_SMOOTH) {
    RECT part{inner.left, inner.top, end, inner.bottom};
    FillRect(dc, &part, bar);
  } else {
    int chunk = std::max(1, MulDiv(inner.bottom - inner.top, 2, 3));
    for (int x = inner.left; x < end; x += chunk + chunk_gap) {
      RECT part{x, inner.top, std::min<int>(x + chunk, inner.right), inner.bottom};
      FillRect(dc, &part, bar);
    }
  }
  if (state->background != CLR_DEFAULT) DeleteObject(background);
  if (state->bar != CLR_DEFAULT) DeleteObject(bar);
}

void redraw(HWND window) { InvalidateRect(window, nullptr, TRUE); }

// Where a position is kept: raised to the low end, then lowered to the high
// end, so that a range given high to low holds only its high end (as Windows
// does).
int within_range(const ProgressState& state, long long position) {
  return static_cast<int>(std::min<long long>(std::max<long long>(position, state.low), state.high));
}

// One step on. Past the high end the position wraps by the range's length from
// the low end, past the low end from the high end; a range given high to low
// meets both rules in turn, as on Windows. Worked in 64 bits: any step is valid.
int stepped(const ProgressState& state) {
  if (state.low == state.high) return state.position;
  const long long span = static_cast<long long>(state.high) - state.low;
  long long next = static_cast<long long>(state.position) + state.step;
  if (next > state.high) next = (next - state.low) % span + state.low;
  if (next < state.low) next = (next - state.low) % span + state.high;
  return static_cast<int>(std::clamp<long long>(next, INT_MIN, INT_MAX));
}

// A new position, as given; returns the previous one.
int move_to(HWND window, int position) {
  ProgressState* state = state_of<ProgressState>(window);
  int previous = state->position;
  state->position = position;
  if (state->position != previous) {
    redraw(window);
    UpdateWindow(window);
  }
  return previous;
}

// A new range; returns the previous one as two 16-bit halves.
LRESULT set_range(HWND window, int low, int high) {
  ProgressState* state = state_of<ProgressState>(window);
  LRESULT previous = MAKELONG(state->low, state->high);
  if (low != state->low || high != state->high) {
    state->low = low;
    state->high = high;
    state->position = within_range(*state, state->position);
    redraw(window);
  }
  return previous;
}

COLORREF set_colour(HWND window, COLORREF* field, COLORREF colour) {
  COLORREF previous = *field;
  *field = colour;
  redraw(window);
  return previous;
}

LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_NCCREATE: attach_state(window, new ProgressState); break;
    case WM_CREATE: {
      // The bar always has the thin sunken edge, whatever edge it was created with.
      LONG ex_style = GetWindowLongA(window, GWL_EXSTYLE);
      SetWindowLongA(window, GWL_EXSTYLE, (ex_style & ~(WS_EX_CLIENTEDGE | WS_EX_WINDOWEDGE)) | WS_EX_STATICEDGE);
      SetWindowPos(window, nullptr, 0, 0, 0, 0,
                   SWP_FRAMECHANGED | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_NCDESTROY: return destroy_with_state<ProgressState>(window, message, wparam, lparam);
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: return paint_message(window, wparam, paint);
    case WM_SETFONT:
      state_of<ProgressState>(window)->font = reinterpret_cast<HFONT>(wparam);
      if (LOWORD(lparam)) redraw(window);
      return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(state_of<ProgressState>(window)->font);
    case PBM_SETRANGE: return set_range(window, static_cast<SHORT>(LOWORD(lparam)), static_cast<SHORT>(HIWORD(lparam)));
    case PBM_SETRANGE32: return set_range(window, static_cast<int>(wparam), static_cast<int>(lparam));
    case PBM_GETRANGE: {
      ProgressState* state = state_of<ProgressState>(window);
      if (lparam != 0) *reinterpret_cast<PBRANGE*>(lparam) = PBRANGE{state->low, state->high};
      return wparam ? state->low : state->high;
    }
    case PBM_SETPOS: return move_to(window, within_range(*state_of<ProgressState>(window), static_cast<int>(wparam)));
    case PBM_DELTAPOS: {
      ProgressState* state = state_of<ProgressState>(window);
      return move_to(window, within_range(*state, state->position + static_cast<long long>(static_cast<int>(wparam))));
    }
    case PBM_GETPOS: return state_of<ProgressState>(window)->position;
    case PBM_SETSTEP: {
      ProgressState* state = state_of<ProgressState>(window);
      int previous = state->step;
      state->step = static_cast<int>(wparam);
      return previous;
    }
    case PBM_STEPIT: return move_to(window, stepped(*state_of<ProgressState>(window)));
    case PBM_SETBARCOLOR:
      return set_colour(window, &state_of<ProgressState>(window)->bar, static_cast<COLORREF>(lparam));
    case PBM_SETBKCOLOR:
      return set_colour(window, &state_of<ProgressState>(window)->background, static_cast<COLORREF>(lparam));
    case PBM_GETBARCOLOR: return state_of<ProgressState>(window)->bar;
    case PBM_GETBKCOLOR: return state_of<ProgressState>(window)->background;
    default: break;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

WNDPROC progress_procedure() { return procedure; }

}  // namespace controls
