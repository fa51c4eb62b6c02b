// X keysyms to Windows virtual-key codes. The keysym is the key's own,
// unshifted one, so that Shift+; is VK_OEM_1 with Shift held, as on Windows.
#include <X11/keysym.h>

#include "display/x11.h"

namespace display {

int virtual_key_of(unsigned long keysym) {
  if (keysym >= XK_a && keysym <= XK_z) return static_cast<int>('A' + (keysym - XK_a));
  if (keysym >= XK_A && keysym <= XK_Z) return static_cast<int>('A' + (keysym - XK_A));
  if (keysym >= XK_0 && keysym <= XK_9) return static_cast<int>('0' + (keysym - XK_0));
  if (keysym >= XK_F1 && keysym <= XK_F12) return static_cast<int>(VK_F1 + (keysym - XK_F1));
  if (keysym >= XK_KP_0 && keysym <= XK_KP_9) return static_cast<int>(VK_NUMPAD0 + (keysym - XK_KP_0));
  static const struct {
    unsigned long keysym;
    int virtual_key;
  } table[] = {
      {XK_BackSpace, VK_BACK},
      {XK_Tab, VK_TAB},
      {XK_ISO_Left_Tab, VK_TAB},
      {XK_Return, VK_RETURN},
      {XK_KP_Enter, VK_RETURN},
      {XK_Escape, VK_ESCAPE},
      {XK_space, VK_SPACE},
      {XK_Delete, VK_DELETE},
      {XK_Insert, VK_INSERT},
      {XK_Home, VK_HOME},
      {XK_End, VK_END},
      {XK_Prior, VK_PRIOR},
      {XK_Next, VK_NEXT},
      {XK_Left, VK_LEFT},
      {XK_Up, VK_UP},
      {XK_Right, VK_RIGHT},
      {XK_Down, VK_DOWN},
      {XK_Shift_L, VK_LSHIFT},
      {XK_Shift_R, VK_RSHIFT},
      {XK_Control_L, VK_LCONTROL},
      {XK_Control_R, VK_RCONTROL},
      {XK_Alt_L, VK_LMENU},
      {XK_Alt_R, VK_RMENU},
      {XK_Meta_L, VK_LMENU},
      {XK_ISO_Level3_Shift, VK_RMENU},
      {XK_Super_L, VK_LWIN},
      {XK_Super_R, VK_RWIN},
      {XK_Menu, VK_APPS},
      {XK_Caps_Lock, VK_CAPITAL},
      {XK_Num_Lock, VK_NUMLOCK},
      {XK_Scroll_Lock, VK_SCROLL},
      {XK_Pause, VK_PAUSE},
      {XK_Print, VK_SNAPSHOT},
      {XK_semicolon, VK_OEM_1},
      {XK_equal, VK_OEM_PLUS},
      {XK_comma, VK_OEM_COMMA},
      {XK_minus, VK_OEM_MINUS},
      {XK_period, VK_OEM_PERIOD},
      {XK_slash, VK_OEM_2},
      {XK_grave, VK_OEM_3},
      {XK_bracketleft, VK_OEM_4},
      {XK_backslash, VK_OEM_5},
      {XK_bracketright, VK_OEM_6},
      {XK_apostrophe, VK_OEM_7},
      {XK_KP_Multiply, VK_MULTIPLY},
      {XK_KP_Add, VK_ADD},
      {XK_KP_Subtract, VK_SUBTRACT},
      {XK_KP_Decimal, VK_DECIMAL},
      {XK_KP_Divide, VK_DIVIDE},
  };
  for (const auto& entry : table) {
    if (entry.keysym == keysym) return entry.virtual_key;
  }
  return 0;
}

}  // namespace display
