// The push button: clicks by mouse and space bar, the pressed look, focus,
// and the check state a push button does not have.
#include "controls_fixture.h"

namespace {

using test_support::pump_messages;

class Buttons : public Controls {
 protected:
  void SetUp() override {
    Controls::SetUp();
    button = control("Button", "Connect", BS_PUSHBUTTON | WS_TABSTOP, 20, 40, 80, 24, 1);
    ASSERT_NE(button, nullptr);
    pump_messages();
    recorder.clear();
  }
  POINT screen_point(int x, int y) const {
    POINT p{x, y};
    ClientToScreen(button, &p);
    return p;
  }
  std::vector<COLORREF> pixels() const {
    std::vector<COLORREF> all;
    for (int y = 0; y < 24; ++y) {
      for (int x = 0; x < 80; ++x) all.push_back(test_support::pixel_at(button, x, y));
    }
    return all;
  }
  HWND button = nullptr;
};

TEST_F(Buttons, AClickNotifiesTheParentOnceAndTakesTheFocus) {
  test_support::click_client(button, 40, 12);
  pump_messages();
  EXPECT_EQ(notifications(button), std::vector<WORD>{BN_CLICKED});
  EXPECT_EQ(GetFocus(), button);
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_TRUE(SendMessageA(button, BM_GETSTATE, 0, 0) & BST_FOCUS);
}

TEST_F(Buttons, ItLooksPressedWhileHeldAndAReleaseOutsideIsNoClick) {
  RECT outer;
  GetWindowRect(button, &outer);
  test_support::move_mouse_to(screen_point(40, 12));
  test_support::mouse_button(VK_LBUTTON, true);
  pump_messages();
  EXPECT_TRUE(SendMessageA(button, BM_GETSTATE, 0, 0) & BST_PUSHED);
  std::vector<COLORREF> pressed = pixels();
  test_support::move_mouse_to(screen_point(200, 12));
  pump_messages();
  EXPECT_FALSE(SendMessageA(button, BM_GETSTATE, 0, 0) & BST_PUSHED) << "the mouse left the button";
  std::vector<COLORREF> raised = pixels();
  int changed = 0;
  for (size_t i = 0; i < pressed.size(); ++i) changed += pressed[i] != raised[i];
  EXPECT_GT(changed, 40) << "the pressed look differs from the raised one";
  test_support::mouse_button(VK_LBUTTON, false);
  pump_messages();
  EXPECT_TRUE(notifications(button).empty());
}

TEST_F(Buttons, TheSpaceBarClicksTheFocusedButtonOnRelease) {
  SetFocus(button);
  pump_messages();
  test_support::key_down(VK_SPACE);
  pump_messages();
  EXPECT_TRUE(SendMessageA(button, BM_GETSTATE, 0, 0) & BST_PUSHED);
  EXPECT_TRUE(notifications(button).empty());
  test_support::key_up(VK_SPACE);
  pump_messages();
  EXPECT_EQ(notifications(button), std::vector<WORD>{BN_CLICKED});
  EXPECT_FALSE(SendMessageA(button, BM_GETSTATE, 0, 0) & BST_PUSHED);
}

TEST_F(Buttons, EnterDoesNothingOutsideADialog) {
  SetFocus(button);
  test_support::press_key(VK_RETURN);
  pump_messages();
  EXPECT_TRUE(notifications(button).empty());
}

TEST_F(Buttons, ADisabledButtonIgnoresClicks) {
  EnableWindow(button, FALSE);
  pump_messages();
  test_support::click_client(button, 40, 12);
  pump_messages();
  EXPECT_TRUE(notifications(button).empty());
  EXPECT_NE(GetFocus(), button);
}

TEST_F(Buttons, APushButtonStaysUncheckedAndBmClickClicksIt) {
  SendMessageA(button, BM_SETCHECK, BST_CHECKED, 0);
  EXPECT_EQ(SendMessageA(button, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  SendMessageA(button, BM_CLICK, 0, 0);
  pump_messages();
  EXPECT_EQ(notifications(button), std::vector<WORD>{BN_CLICKED});
}

// The state told by messages, a press that loses the capture to another
// window, and keys other than the space bar.
TEST_F(Buttons, StateMessagesCaptureLossAndOtherKeys) {
  SendMessageA(button, BM_SETSTATE, 2, 0);
  EXPECT_TRUE(SendMessageA(button, BM_GETSTATE, 0, 0) & BST_PUSHED) << "any nonzero pushes";
  SendMessageA(button, BM_SETSTATE, 0, 0);
  EXPECT_FALSE(SendMessageA(button, BM_GETSTATE, 0, 0) & BST_PUSHED);

  HWND box = control("Button", "Box", BS_AUTOCHECKBOX, 120, 40, 80, 24, 2);
  for (WPARAM check : {BST_CHECKED, BST_UNCHECKED, BST_CHECKED}) {
    SendMessageA(box, BM_SETCHECK, check, 0);
    EXPECT_EQ(SendMessageA(box, BM_GETCHECK, 0, 0), static_cast<LRESULT>(check));
  }

  SetCapture(button);
  SendMessageA(button, WM_MOUSEMOVE, 0, MAKELPARAM(40, 12));
  EXPECT_FALSE(SendMessageA(button, BM_GETSTATE, 0, 0) & BST_PUSHED) << "a move with no button down pushes nothing";
  ReleaseCapture();

  SetFocus(button);
  SendMessageA(button, WM_KEYDOWN, 'A', 0);
  EXPECT_FALSE(SendMessageA(button, BM_GETSTATE, 0, 0) & BST_PUSHED) << "only the space bar presses";

  test_support::move_mouse_to(screen_point(40, 12));
  test_support::mouse_button(VK_LBUTTON, true);
  pump_messages();
  ASSERT_EQ(GetCapture(), button);
  SetCapture(parent);
  EXPECT_FALSE(SendMessageA(button, BM_GETSTATE, 0, 0) & BST_PUSHED) << "the press ended with the capture";
  ReleaseCapture();
  test_support::mouse_button(VK_LBUTTON, false);
  pump_messages();
  EXPECT_TRUE(notifications(button).empty()) << "no click";
}

// A default push button wears a frame in the window-frame colour; another,
// without the focus, shows its raised edge there.
TEST_F(Buttons, OnlyTheDefaultButtonIsFramed) {
  HWND made = control("Button", "OK", BS_DEFPUSHBUTTON, 120, 40, 80, 24, 2);
  pump_messages();
  ASSERT_NE(GetFocus(), button);
  const COLORREF frame = GetSysColor(COLOR_WINDOWFRAME);
  for (POINT p : {POINT{0, 0}, POINT{40, 0}, POINT{0, 12}}) {
    EXPECT_EQ(test_support::pixel_at(made, p.x, p.y), frame) << p.x << "," << p.y;
    EXPECT_NE(test_support::pixel_at(button, p.x, p.y), frame) << p.x << "," << p.y;
  }
}

TEST_F(Buttons, TheFocusRectangleComesAndGoesWithTheFocus) {
  HWND other = control("Button", "Other", BS_PUSHBUTTON, 120, 40, 80, 24, 2);
  SetFocus(button);
  pump_messages();
  EXPECT_TRUE(SendMessageA(button, BM_GETSTATE, 0, 0) & BST_FOCUS);
  SetFocus(other);
  pump_messages();
  EXPECT_FALSE(SendMessageA(button, BM_GETSTATE, 0, 0) & BST_FOCUS);
  EXPECT_TRUE(notifications(button).empty()) << "focus changes are told only with BS_NOTIFY";
}

}  // namespace

namespace {

// Each click on an automatic box or radio button moves its check on, as the
// system's controls do; the plain styles leave the check to their parent.
TEST_F(Buttons, AClickMovesTheCheckOfTheAutomaticStyles) {
  const struct {
    DWORD style;
    std::vector<LRESULT> checks;  // after each of three clicks
  } cases[] = {
      {BS_AUTOCHECKBOX, {BST_CHECKED, BST_UNCHECKED, BST_CHECKED}},
      {BS_AUTO3STATE, {BST_CHECKED, BST_INDETERMINATE, BST_UNCHECKED}},
      {BS_AUTORADIOBUTTON, {BST_CHECKED, BST_CHECKED, BST_CHECKED}},
      {BS_CHECKBOX, {BST_UNCHECKED, BST_UNCHECKED, BST_UNCHECKED}},
      {BS_3STATE, {BST_UNCHECKED, BST_UNCHECKED, BST_UNCHECKED}},
      {BS_RADIOBUTTON, {BST_UNCHECKED, BST_UNCHECKED, BST_UNCHECKED}},
  };
  for (const auto& c : cases) {
    HWND box = control("Button", "Box", c.style, 120, 40, 120, 24, 2);
    std::vector<LRESULT> seen;
    for (int click = 0; click < 3; ++click) {
      test_support::click_client(box, 10 + 30 * click, 12);  // apart, so never a double click
      pump_messages();
      seen.push_back(SendMessageA(box, BM_GETCHECK, 0, 0));
    }
    EXPECT_EQ(seen, c.checks) << "style " << c.style;
    EXPECT_EQ(notifications(box), std::vector<WORD>(3, BN_CLICKED)) << "style " << c.style;
    SendMessageA(box, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 12));
    SendMessageA(box, WM_LBUTTONUP, 0, MAKELPARAM(-50, 12));
    EXPECT_EQ(SendMessageA(box, BM_GETCHECK, 0, 0), c.checks.back()) << "a press let go outside is no click";
    EXPECT_EQ(notifications(box).size(), 3u);
    DestroyWindow(box);
    recorder.clear();
  }
}

// A click on an automatic radio button takes the check from the other
// automatic radio buttons of its group, which runs from a WS_GROUP sibling up
// to the next one, but not from a disabled or hidden one, nor from a check
// box; BM_SETCHECK leaves the others as they are.
TEST_F(Buttons, AClickOnAnAutoRadioButtonUnchecksTheRestOfItsGroup) {
  const DWORD styles[] = {BS_AUTORADIOBUTTON | WS_GROUP,
                          BS_AUTORADIOBUTTON,
                          BS_AUTOCHECKBOX,
                          BS_AUTORADIOBUTTON,
                          BS_AUTORADIOBUTTON | WS_GROUP,
                          BS_AUTORADIOBUTTON,
                          BS_AUTORADIOBUTTON | WS_DISABLED,
                          BS_AUTORADIOBUTTON};
  std::vector<HWND> boxes;
  for (DWORD style : styles)
    boxes.push_back(control("Button", "R", style, 120, 10 + 28 * static_cast<int>(boxes.size()), 100, 24, 2));
  ShowWindow(boxes.back(), SW_HIDE);
  const struct {
    bool click;  // else BM_SETCHECK
    size_t box;
    std::vector<LRESULT> checks;
  } steps[] = {
      {true, 0, {1, 0, 0, 0, 0, 0, 0, 0}},  {false, 3, {1, 0, 0, 1, 0, 0, 0, 0}}, {true, 1, {0, 1, 0, 0, 0, 0, 0, 0}},
      {true, 2, {0, 1, 1, 0, 0, 0, 0, 0}},  {false, 5, {0, 1, 1, 0, 0, 1, 0, 0}}, {false, 6, {0, 1, 1, 0, 0, 1, 1, 0}},
      {false, 7, {0, 1, 1, 0, 0, 1, 1, 1}}, {true, 4, {0, 1, 1, 0, 1, 0, 1, 1}},
  };
  for (const auto& step : steps) {
    if (step.click) {
      test_support::click_client(boxes[step.box], 10, 12);
      pump_messages();
    } else {
      SendMessageA(boxes[step.box], BM_SETCHECK, BST_CHECKED, 0);
    }
    std::vector<LRESULT> seen;
    for (HWND box : boxes) seen.push_back(SendMessageA(box, BM_GETCHECK, 0, 0));
    EXPECT_EQ(seen, step.checks) << (step.click ? "click on " : "BM_SETCHECK to ") << step.box;
  }
}

// Radio, user and owner-drawn buttons and those with BS_NOTIFY tell the parent
// of a double click;
// for the others it is one more press.
TEST_F(Buttons, ADoubleClickIsToldByRadioButtonsAndNotifyingButtons) {
  const struct {
    DWORD style;
    WORD code;
  } cases[] = {
      {BS_RADIOBUTTON, BN_DOUBLECLICKED}, {BS_CHECKBOX | BS_NOTIFY, BN_DOUBLECLICKED},
#ifndef _WIN32
      {BS_USERBUTTON, BN_DOUBLECLICKED},  // Wine: BN_CLICKED (platform/README.md)
#endif
      {BS_OWNERDRAW, BN_DOUBLECLICKED},   {BS_AUTORADIOBUTTON, BN_CLICKED},
      {BS_PUSHBUTTON, BN_CLICKED},
  };
  for (const auto& c : cases) {
    HWND box = control("Button", "Box", c.style, 120, 40, 120, 24, 2);
    SetFocus(box);
    recorder.clear();
    EXPECT_EQ(SendMessageA(box, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(10, 12)), 0);
    SendMessageA(box, WM_LBUTTONUP, 0, MAKELPARAM(10, 12));
    EXPECT_EQ(notifications(box), std::vector<WORD>{c.code}) << "style " << c.style;
    DestroyWindow(box);
  }
}

// What each style answers to WM_GETDLGCODE, which a dialog's keyboard handling asks.
TEST_F(Buttons, EachStyleTellsTheDialogWhatItIs) {
  const struct {
    DWORD style;
    LRESULT code;
  } cases[] = {
      {BS_PUSHBUTTON, DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON},
      {BS_DEFPUSHBUTTON, DLGC_BUTTON | DLGC_DEFPUSHBUTTON},
      {BS_CHECKBOX, DLGC_BUTTON},
      {BS_AUTOCHECKBOX, DLGC_BUTTON},
      {BS_3STATE, DLGC_BUTTON},
      {BS_AUTO3STATE, DLGC_BUTTON},
      {BS_RADIOBUTTON, DLGC_BUTTON | DLGC_RADIOBUTTON},
      {BS_AUTORADIOBUTTON, DLGC_BUTTON | DLGC_RADIOBUTTON},
      {BS_GROUPBOX, DLGC_STATIC},
  };
  for (const auto& c : cases) {
    HWND made = control("Button", "B", c.style, 120, 40, 80, 24, 2);
    EXPECT_EQ(SendMessageA(made, WM_GETDLGCODE, 0, 0), c.code) << "style " << c.style;
    DestroyWindow(made);
  }
}

// The button presses and releases itself with BM_SETSTATE, and an automatic
// style moves its check with BM_SETCHECK, all of which a subclass sees.
std::vector<Received> sent_to_itself;
WNDPROC button_class_procedure = nullptr;
LRESULT CALLBACK watch_itself(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == BM_SETSTATE || message == BM_SETCHECK) sent_to_itself.push_back({window, message, wparam, lparam});
  return CallWindowProcA(button_class_procedure, window, message, wparam, lparam);
}

TEST_F(Buttons, APressIsToldToTheButtonItselfWithBmSetState) {
  const struct {
    DWORD style;
    std::vector<WPARAM> checks;  // what each click's BM_SETCHECK asks for
  } cases[] = {
      {BS_PUSHBUTTON, {}},
      {BS_AUTOCHECKBOX, {BST_CHECKED, BST_UNCHECKED}},
      {BS_AUTO3STATE, {BST_CHECKED, BST_INDETERMINATE}},
      {BS_AUTORADIOBUTTON, {BST_CHECKED, BST_CHECKED}},
  };
  for (const auto& c : cases) {
    HWND made = control("Button", "Box", c.style, 120, 40, 120, 24, 2);
    button_class_procedure =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrA(made, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(watch_itself)));
    std::vector<WPARAM> checks;
    for (int click = 0; click < 2; ++click) {
      sent_to_itself.clear();
      test_support::click_client(made, 10 + 40 * click, 12);  // apart, so never a double click
      pump_messages();
      ASSERT_GE(sent_to_itself.size(), 2u) << "style " << c.style;
      EXPECT_EQ(sent_to_itself.front().message, static_cast<UINT>(BM_SETSTATE));
      EXPECT_EQ(sent_to_itself.front().wparam, static_cast<WPARAM>(TRUE)) << "style " << c.style;
      WPARAM released = TRUE;
      for (const Received& r : sent_to_itself) {
        EXPECT_EQ(r.lparam, 0) << "style " << c.style << ", message " << r.message;
        if (r.message == BM_SETSTATE) released = r.wparam;
        if (r.message == BM_SETCHECK) checks.push_back(r.wparam);
      }
      EXPECT_EQ(released, static_cast<WPARAM>(FALSE)) << "style " << c.style;
    }
    EXPECT_EQ(checks, c.checks) << "style " << c.style;
    EXPECT_EQ(notifications(made), std::vector<WORD>(2, BN_CLICKED)) << "style " << c.style;
    DestroyWindow(made);
    recorder.clear();
  }
}

}  // namespace
