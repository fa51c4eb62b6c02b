// The single-line edit control: typing, the caret and selection by keyboard
// and mouse, the clipboard, scrolling, colours and the notifications the
// parent receives.
#include "controls_fixture.h"

namespace {

using test_support::pump_messages;

class Edits : public Controls {
 protected:
  void SetUp() override {
    Controls::SetUp();
    field = control("Edit", "COM17", WS_TABSTOP | ES_AUTOHSCROLL, 50, 10, 120, 20, 2, WS_EX_CLIENTEDGE);
    ASSERT_NE(field, nullptr);
    pump_messages();
    recorder.clear();
  }
  std::pair<DWORD, DWORD> selection() const {
    DWORD start = 99, end = 99;
    SendMessageA(field, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return {start, end};
  }
  HWND field = nullptr;
};

using Codes = std::vector<WORD>;

TEST_F(Edits, TheInitialTextArrivesWithoutNotificationsAndTheCaretAtTheStart) {
  EXPECT_EQ(text_of(field), "COM17");
  EXPECT_EQ(selection(), (std::pair<DWORD, DWORD>{0, 0}));
  EXPECT_TRUE(notifications(field).empty());
  EXPECT_FALSE(SendMessageA(field, EM_CANUNDO, 0, 0));
}

TEST_F(Edits, AClickFocusesTheFieldAndTypingNotifiesEachChange) {
  test_support::click_client(field, 100, 8);
  pump_messages();
  EXPECT_EQ(GetFocus(), field);
  EXPECT_EQ(notifications(field), Codes{EN_SETFOCUS});
  recorder.clear();
  test_support::press_key(VK_END);
  test_support::type_text("x1");
  pump_messages();
  EXPECT_EQ(text_of(field), "COM17x1");
  EXPECT_EQ(notifications(field), (Codes{EN_UPDATE, EN_CHANGE, EN_UPDATE, EN_CHANGE}));
  EXPECT_EQ(selection(), (std::pair<DWORD, DWORD>{7, 7}));
}

// A new text starts afresh: the caret at the start, nothing to undo, not modified.
TEST_F(Edits, SettingTheTextNotifiesAndStartsAfresh) {
  SendMessageA(field, EM_SETSEL, 1, 3);
  SendMessageA(field, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>("x"));
  SendMessageA(field, EM_SETMODIFY, TRUE, 0);
  ASSERT_TRUE(SendMessageA(field, EM_GETMODIFY, 0, 0));
  ASSERT_TRUE(SendMessageA(field, EM_CANUNDO, 0, 0));
  ASSERT_EQ(selection(), (std::pair<DWORD, DWORD>{2, 2}));
  recorder.clear();
  SetWindowTextA(field, "pts/4");
  EXPECT_EQ(notifications(field), (Codes{EN_UPDATE, EN_CHANGE}));
  EXPECT_EQ(text_of(field), "pts/4");
  EXPECT_EQ(GetWindowTextLengthA(field), 5);
  EXPECT_EQ(selection(), (std::pair<DWORD, DWORD>{0, 0}));
  EXPECT_FALSE(SendMessageA(field, EM_GETMODIFY, 0, 0));
  EXPECT_FALSE(SendMessageA(field, EM_CANUNDO, 0, 0));
  // Either place of EM_GETSEL may be left out.
  SendMessageA(field, EM_SETSEL, 1, 4);
  DWORD start = 99;
  EXPECT_EQ(SendMessageA(field, EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0), MAKELONG(1, 4));
  EXPECT_EQ(start, 1u);
}

TEST_F(Edits, LosingTheFocusNotifiesTheParent) {
  HWND other = control("Edit", "05", WS_TABSTOP, 50, 40, 60, 20, 5, WS_EX_CLIENTEDGE);
  SetFocus(field);
  SetFocus(other);
  pump_messages();
  EXPECT_EQ(notifications(field), (Codes{EN_SETFOCUS, EN_KILLFOCUS}));
  EXPECT_EQ(notifications(other), Codes{EN_SETFOCUS});
}

TEST_F(Edits, HomeEndShiftArrowsAndBackspaceEditAsExpected) {
  SetFocus(field);
  test_support::press_key(VK_END);
  test_support::key_chord({VK_SHIFT, VK_LEFT});
  test_support::key_chord({VK_SHIFT, VK_LEFT});
  pump_messages();
  EXPECT_EQ(selection(), (std::pair<DWORD, DWORD>{3, 5}));
  test_support::type_text("1");
  pump_messages();
  EXPECT_EQ(text_of(field), "COM1");
  test_support::press_key(VK_HOME);
  test_support::press_key(VK_DELETE);
  test_support::press_key(VK_RIGHT);
  test_support::press_key(VK_BACK);
  pump_messages();
  EXPECT_EQ(text_of(field), "M1");
  EXPECT_EQ(selection(), (std::pair<DWORD, DWORD>{0, 0}));
  test_support::press_key(VK_BACK);
  pump_messages();
  EXPECT_EQ(text_of(field), "M1") << "Backspace at the start changes nothing";
}

TEST_F(Edits, CopyAndPasteWorkWithinTheProgram) {
  SetFocus(field);
  test_support::press_key(VK_HOME);
  test_support::key_chord({VK_SHIFT, VK_END});
  test_support::key_chord({VK_CONTROL, 'C'});
  test_support::press_key(VK_END);
  test_support::key_chord({VK_CONTROL, 'V'});
  pump_messages();
  EXPECT_EQ(text_of(field), "COM17COM17");
  test_support::key_chord({VK_SHIFT, VK_HOME});
  test_support::key_chord({VK_CONTROL, 'X'});
  pump_messages();
  EXPECT_EQ(text_of(field), "");
  test_support::key_chord({VK_CONTROL, 'V'});
  pump_messages();
  EXPECT_EQ(text_of(field), "COM17COM17");
}

// Ctrl+Insert copies, Shift+Insert pastes, Shift+Delete cuts; a paste beyond
// the length limit is cut to it, and the parent told. Without a selection
// Shift+Delete takes the character before the caret and copies nothing, and
// Ctrl+Delete the rest of the line.
TEST_F(Edits, TheInsertAndDeleteKeysCopyCutAndPasteAndAPasteKeepsTheLimit) {
  SetFocus(field);
  SendMessageA(field, EM_SETSEL, 0, -1);
  test_support::key_chord({VK_CONTROL, VK_INSERT});
  test_support::press_key(VK_END);
  test_support::key_chord({VK_SHIFT, VK_INSERT});
  pump_messages();
  EXPECT_EQ(text_of(field), "COM17COM17");
  test_support::key_chord({VK_SHIFT, VK_DELETE});
  pump_messages();
  EXPECT_EQ(text_of(field), "COM17COM1");
  SendMessageA(field, EM_SETSEL, 3, 3);
  test_support::key_chord({VK_CONTROL, VK_DELETE});
  pump_messages();
  EXPECT_EQ(text_of(field), "COM");
  SendMessageA(field, EM_SETSEL, 0, -1);
  test_support::key_chord({VK_SHIFT, VK_DELETE});
  pump_messages();
  EXPECT_EQ(text_of(field), "");
  SendMessageA(field, EM_SETLIMITTEXT, 2, 0);
  recorder.clear();
  test_support::key_chord({VK_SHIFT, VK_INSERT});
  pump_messages();
  EXPECT_EQ(text_of(field), "CO");
  EXPECT_EQ(notifications(field), (Codes{EN_MAXTEXT, EN_UPDATE, EN_CHANGE}));
}

#ifndef _WIN32
// Ctrl+A selects the whole text in the version-6 field that the program's
// manifest asks for; this test program has no manifest, and under Wine gets
// user32's older field, where Ctrl+A does nothing.
TEST_F(Edits, CtrlASelectsTheWholeTextAsTheVersion6FieldDoes) {
  SetFocus(field);
  test_support::key_chord({VK_CONTROL, 'A'});
  pump_messages();
  EXPECT_EQ(selection(), (std::pair<DWORD, DWORD>{0, 5}));
}
#endif

TEST_F(Edits, DraggingTheMouseSelectsText) {
  RECT client;
  GetClientRect(field, &client);
  POINT from{1, client.bottom / 2}, to{client.right - 2, client.bottom / 2};
  ClientToScreen(field, &from);
  ClientToScreen(field, &to);
  test_support::move_mouse_to(from);
  test_support::mouse_button(VK_LBUTTON, true);
  test_support::move_mouse_to(to);
  test_support::mouse_button(VK_LBUTTON, false);
  pump_messages();
  EXPECT_EQ(selection(), (std::pair<DWORD, DWORD>{0, 5}));
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(Edits, WithoutAutoHScrollTheTextStopsAtTheRightEdge) {
  HWND fixed = control("Edit", "", WS_TABSTOP, 50, 40, 40, 20, 5, WS_EX_CLIENTEDGE);
  HWND scrolling = control("Edit", "", WS_TABSTOP | ES_AUTOHSCROLL, 50, 70, 40, 20, 6, WS_EX_CLIENTEDGE);
  SetFocus(fixed);
  test_support::type_text("abcdefghijklmnop");
  pump_messages();
  SetFocus(scrolling);
  test_support::type_text("abcdefghijklmnop");
  pump_messages();
  EXPECT_LT(text_of(fixed).size(), 16u);
  EXPECT_GT(text_of(fixed).size(), 2u);
  EXPECT_EQ(text_of(scrolling), "abcdefghijklmnop");
}

TEST_F(Edits, ReplaceSelAndSetSelBehaveAsWin32) {
  SendMessageA(field, EM_SETSEL, 0, -1);
  EXPECT_EQ(selection(), (std::pair<DWORD, DWORD>{0, 5}));
  SendMessageA(field, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>("ttyUSB0"));
  EXPECT_EQ(text_of(field), "ttyUSB0");
  EXPECT_EQ(notifications(field), (Codes{EN_UPDATE, EN_CHANGE}));
  EXPECT_EQ(selection(), (std::pair<DWORD, DWORD>{7, 7}));
  SendMessageA(field, EM_SETSEL, 3, 1);
  EXPECT_EQ(selection(), (std::pair<DWORD, DWORD>{1, 3})) << "reported in order";
  SendMessageA(field, EM_SETSEL, static_cast<WPARAM>(-1), 0);
  EXPECT_EQ(selection().first, selection().second) << "-1 removes the selection";
}

// A text beyond the limit is cut to it, and the parent told; replacing
// nothing with nothing changes nothing and tells nothing.
TEST_F(Edits, ATextBeyondTheLimitIsCutToItAndNothingForNothingIsNoChange) {
  SendMessageA(field, EM_SETLIMITTEXT, 7, 0);
  SendMessageA(field, EM_SETSEL, 5, 5);
  SendMessageA(field, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>("ABCD"));
  EXPECT_EQ(text_of(field), "COM17AB");
  EXPECT_EQ(notifications(field), (Codes{EN_MAXTEXT, EN_UPDATE, EN_CHANGE}));
  SendMessageA(field, EM_EMPTYUNDOBUFFER, 0, 0);
  SendMessageA(field, EM_SETMODIFY, FALSE, 0);
  recorder.clear();
  SendMessageA(field, EM_SETSEL, 2, 2);
  SendMessageA(field, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(""));
  EXPECT_TRUE(notifications(field).empty());
  EXPECT_FALSE(SendMessageA(field, EM_GETMODIFY, 0, 0));
  EXPECT_FALSE(SendMessageA(field, EM_CANUNDO, 0, 0));
}

TEST_F(Edits, AReadOnlyFieldRefusesTypingAndAsksForStaticColours) {
  SendMessageA(field, EM_SETREADONLY, TRUE, 0);
  SetFocus(field);
  test_support::type_text("9");
  pump_messages();
  EXPECT_EQ(text_of(field), "COM17");
  EXPECT_TRUE(notifications(field) == Codes{EN_SETFOCUS});
  bool asked_static = false;
  for (const Received& r : recorder.only({WM_CTLCOLORSTATIC}))
    asked_static |= reinterpret_cast<HWND>(r.lparam) == field;
  EXPECT_TRUE(asked_static);
}

TEST_F(Edits, TheParentsEditColoursAreHonoured) {
  HBRUSH yellow = CreateSolidBrush(RGB(255, 255, 0));
  recorder.handler = [&](HWND, UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) {
    if (message != WM_CTLCOLOREDIT || reinterpret_cast<HWND>(lparam) != field) return false;
    SetBkColor(reinterpret_cast<HDC>(wparam), RGB(255, 255, 0));
    *result = reinterpret_cast<LRESULT>(yellow);
    return true;
  };
  InvalidateRect(field, nullptr, TRUE);
  pump_messages();
  RECT client;
  GetClientRect(field, &client);
  EXPECT_EQ(test_support::pixel_at(field, client.right - 3, client.bottom - 3), RGB(255, 255, 0));
  recorder.handler = nullptr;
  DestroyWindow(field);
  DeleteObject(yellow);
}

// Undo takes back a typed run as one and selects what it restored; a second
// undo takes back the undo.
TEST_F(Edits, UndoTakesBackATypedRunAsOneAndSelectsWhatItRestored) {
  using Selection = std::pair<DWORD, DWORD>;
  const struct {
    const char* initial;
    Selection selected;
    const char* keys;  // typed, with \b for Backspace, \x7f for Delete and ^ for Home
    const char* typed;
    Selection after_undo;
    Selection after_redo;
    const char* undone = nullptr;  // the text after undo, when it is not the initial one
  } cases[] = {
      {"xy", {2, 2}, "abc", "xyabc", {2, 2}, {2, 5}},                  // a typed run
      {"hello", {1, 4}, "XY", "hXYo", {1, 4}, {1, 3}},                 // typing over a selection
      {"COM17", {5, 5}, "\b\b", "COM", {3, 5}, {3, 3}},                // Backspace, again
      {"xy", {0, 0}, "a", "axy", {0, 0}, {0, 1}},                      // a run of one
      {"xy", {2, 2}, "abc\b", "xyab", {4, 5}, {4, 4}, "xyabc"},        // Backspace after typing
      {"xy", {2, 2}, "abc^", "xyabc", {2, 2}, {2, 5}},                 // the caret moved away
      {"xy", {2, 2}, "a^b", "bxya", {0, 0}, {0, 1}, "xya"},            // typing elsewhere starts afresh
      {"xyz", {3, 3}, "\b^a", "axy", {0, 0}, {0, 1}, "xy"},            // and forgets a deletion
      {"abcdef", {3, 3}, "\b^\x7f", "bdef", {0, 1}, {0, 0}, "abdef"},  // a deletion elsewhere starts afresh
      {"COM17", {0, 0}, "\x7f\x7f", "M17", {0, 2}, {0, 0}},            // Delete, again
  };
  for (const auto& c : cases) {
    SetWindowTextA(field, c.initial);
    SetFocus(field);
    SendMessageA(field, EM_SETSEL, c.selected.first, static_cast<LPARAM>(c.selected.second));
    for (const char* key = c.keys; *key != '\0'; ++key) {
      const int special = *key == '\b' ? VK_BACK : *key == '\x7f' ? VK_DELETE : *key == '^' ? VK_HOME : 0;
      if (special != 0)
        test_support::press_key(special);
      else
        test_support::type_text(std::string(1, *key).c_str());
      pump_messages();  // keys and typed characters in the order given
    }
    pump_messages();
    ASSERT_EQ(text_of(field), c.typed);
    EXPECT_TRUE(SendMessageA(field, EM_UNDO, 0, 0));
    EXPECT_EQ(text_of(field), c.undone != nullptr ? c.undone : c.initial);
    EXPECT_EQ(selection(), c.after_undo) << c.initial;
    test_support::key_chord({VK_CONTROL, 'Z'});
    pump_messages();
    EXPECT_EQ(text_of(field), c.typed);
    EXPECT_EQ(selection(), c.after_redo) << c.initial;
  }
  SendMessageA(field, EM_SETREADONLY, TRUE, 0);
  SendMessageA(field, EM_UNDO, 0, 0);
  EXPECT_EQ(text_of(field), "M17") << "a read-only field keeps its text";
  EXPECT_TRUE(SendMessageA(field, EM_CANUNDO, 0, 0));
  EXPECT_EQ(SendMessageA(field, EM_EMPTYUNDOBUFFER, 0, 0), 0);
  EXPECT_FALSE(SendMessageA(field, EM_CANUNDO, 0, 0)) << "nothing is left to undo";
}

// ES_UPPERCASE and ES_LOWERCASE change every text the field is given.
TEST_F(Edits, TheCaseStylesApplyToTheInitialAndTheSetText) {
  const struct {
    DWORD style;
    const char* initial;
    const char* set;
  } cases[] = {{ES_UPPERCASE, "COM17", "PTS/4"}, {ES_LOWERCASE, "com17", "pts/4"}};
  for (const auto& c : cases) {
    HWND cased = control("Edit", "Com17", c.style, 50, 40, 120, 20, 5);
    EXPECT_EQ(text_of(cased), c.initial);
    SetWindowTextA(cased, "Pts/4");
    EXPECT_EQ(text_of(cased), c.set);
    DestroyWindow(cased);
  }
}

}  // namespace
