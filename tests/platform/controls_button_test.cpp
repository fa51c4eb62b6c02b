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
