// The sizing loop is not built yet. Until it is, the filter takes no message,
// so every size command goes to the platform's own sizing loop; the state
// record already exists so that windows_init keeps its final shape.
#include "sizing.h"

#include "events.h"

SizingLoopState* sizing_state = nullptr;

LRESULT sizing_loop_filter(HWND, UINT, WPARAM, LPARAM) { return RESULT_DEFAULT; }
