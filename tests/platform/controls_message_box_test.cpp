// MessageBoxA: a modal box that a person answers with a key or a click
// while it shows. The person's actions run from a timer inside the box's own
// message loop, the only code that runs while the box waits.
#include <functional>

#include "controls_fixture.h"

namespace {

using test_support::pump_messages;

// What the person does once the box is showing, and what was seen meanwhile.
struct Person {
  std::function<void(HWND box)> act;
  HWND box = nullptr;
  bool owner_enabled_meanwhile = true;
  HWND capture_meanwhile = nullptr;
  std::string caption, text;
};

Person* person = nullptr;
HWND owner_window = nullptr;

bool is_message_box(HWND window) {
  char name[16] = {};
  return window != nullptr && GetClassNameA(window, name, sizeof name) && std::string(name) == "#32770";
}

void CALLBACK on_timer(HWND, UINT, UINT_PTR id, DWORD) {
  HWND box = GetActiveWindow();
  if (!is_message_box(box) || person->box != nullptr) return;
  KillTimer(nullptr, id);
  person->box = box;
  person->owner_enabled_meanwhile = IsWindowEnabled(owner_window);
  person->capture_meanwhile = GetCapture();
  char buffer[128] = {};
  GetWindowTextA(box, buffer, sizeof buffer);
  person->caption = buffer;
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    char name[16] = {};
    GetClassNameA(child, name, sizeof name);
    if (std::string(name) == "Static" && GetWindowTextLengthA(child) > 0) {
      GetWindowTextA(child, buffer, sizeof buffer);
      person->text = buffer;
    }
  }
  person->act(box);
}

class MessageBoxes : public Controls {
 protected:
  int show(const char* text, const char* caption, UINT type, std::function<void(HWND)> act) {
    seen = Person{};
    seen.act = std::move(act);
    person = &seen;
    owner_window = parent;
    SetTimer(nullptr, 0, 50, on_timer);
    int answer = MessageBoxA(with_owner ? parent : nullptr, text, caption, type);
    person = nullptr;
    return answer;
  }
  Person seen;
  bool with_owner = true;
};

// A box shown while a window holds the mouse (a sizing loop, say) first sends
// that window WM_CANCELMODE, whose default processing ends the capture, so
// that the box's own buttons get the clicks: whether the holder is the owner,
// a child of it or another window, and whether there is an owner at all.
TEST_F(MessageBoxes, ABoxCancelsTheCaptureHoldersModeBeforeItShows) {
  HWND field = control("Static", "", 0, 10, 10, 50, 20);
  HWND other = recorder.top_level("Other", WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 300, 300, 100, 100);
  WindowGuard guard{other};
  static bool keep_mode = false;
  recorder.handler = [](HWND, UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) {
    if (message == WM_CANCELMODE) {
      EXPECT_EQ(wparam + static_cast<WPARAM>(lparam), 0u) << "it has no parameters";
    }
    *result = 0;
    return keep_mode && message == WM_CANCELMODE;
  };
  struct Case {
    HWND holder;
    bool with_owner;
  } cases[] = {{parent, true}, {field, true}, {other, true}, {parent, false}};
  for (bool keep : {false, true}) {
    keep_mode = keep;
    for (const Case& c : cases) {
      with_owner = c.with_owner;
      SetCapture(c.holder);
      EXPECT_EQ(show("Busy", "Note", MB_OK, [](HWND) { test_support::press_key(VK_RETURN); }), IDOK);
      // The static text has no say: its procedure always ends the capture.
      bool kept = keep && c.holder != field;
      EXPECT_EQ(seen.capture_meanwhile, kept ? c.holder : nullptr)
          << "holder " << c.holder << (c.with_owner ? " with" : " without") << " owner, mode kept " << keep;
      ReleaseCapture();
    }
  }
  recorder.handler = nullptr;
}

TEST_F(MessageBoxes, EnterAnswersOkAndTheOwnerIsDisabledOnlyWhileItShows) {
  int answer = show("Error during open COM17: Port", "Error", MB_OK, [](HWND) { test_support::press_key(VK_RETURN); });
  EXPECT_EQ(answer, IDOK);
  EXPECT_EQ(seen.caption, "Error");
  EXPECT_EQ(seen.text, "Error during open COM17: Port");
  EXPECT_FALSE(seen.owner_enabled_meanwhile);
  EXPECT_TRUE(IsWindowEnabled(parent));
  EXPECT_FALSE(IsWindow(seen.box));
  pump_messages();
  EXPECT_EQ(GetActiveWindow(), parent) << "the owner is active again";
}

TEST_F(MessageBoxes, ClickingOkAnswersOk) {
  int answer = show("Saved.", "Note", MB_OK, [](HWND box) {
    HWND ok = GetDlgItem(box, IDOK);
    RECT r;
    GetClientRect(ok, &r);
    test_support::click_client(ok, r.right / 2, r.bottom / 2);
  });
  EXPECT_EQ(answer, IDOK);
}

TEST_F(MessageBoxes, EscapeCancelsEvenWhenOkIsTheOnlyButton) {
  EXPECT_EQ(show("Only OK", "Note", MB_OK, [](HWND) { test_support::press_key(VK_ESCAPE); }), IDCANCEL);
  EXPECT_EQ(show("OK or not", "Question", MB_OKCANCEL, [](HWND) { test_support::press_key(VK_ESCAPE); }), IDCANCEL);
}

TEST_F(MessageBoxes, TheCloseCommandCancels) {
  EXPECT_EQ(show("Close me", "Question", MB_OKCANCEL,
                 [](HWND) {
                   test_support::key_chord({VK_MENU, VK_F4});
                 }),
            IDCANCEL);
}

TEST_F(MessageBoxes, TabMovesToTheNextButtonAndEnterPressesIt) {
  int answer = show("Connect again?", "Question", MB_YESNO, [](HWND) {
    test_support::press_key(VK_TAB);
    test_support::press_key(VK_RETURN);
  });
  EXPECT_EQ(answer, IDNO);
}

#ifndef _WIN32
// Windows' own layout; Wine 8 copies nothing (platform/README.md).
TEST_F(MessageBoxes, CtrlCCopiesCaptionTextAndButtonsAsWindowsLaysThemOut) {
  int answer = show("Connect again?", "Question", MB_YESNO, [](HWND) {
    test_support::key_chord({VK_CONTROL, 'C'});
    test_support::press_key(VK_RETURN);
  });
  EXPECT_EQ(answer, IDYES);
  ASSERT_TRUE(OpenClipboard(nullptr));
  HANDLE memory = GetClipboardData(CF_TEXT);
  ASSERT_NE(memory, nullptr);
  const std::string copied = static_cast<const char*>(GlobalLock(memory));
  GlobalUnlock(memory);
  CloseClipboard();
  const std::string rule = "---------------------------\r\n";
  EXPECT_EQ(copied, rule + "Question\r\n" + rule + "Connect again?\r\n" + rule + "Yes   No   \r\n" + rule);
}
#endif

TEST_F(MessageBoxes, OtherWindowsKeepPaintingWhileItShows) {
  HWND other = recorder.top_level("Other", WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 500, 100, 200, 100);
  WindowGuard guard{other};
  pump_messages();
  recorder.clear();
  int answer = show("Wait", "Note", MB_OK, [other](HWND) {
    InvalidateRect(other, nullptr, TRUE);
    // The answer comes a little later, once the box's loop has had time to paint.
    SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR id, DWORD) {
      KillTimer(nullptr, id);
      test_support::press_key(VK_RETURN);
    });
  });
  EXPECT_EQ(answer, IDOK);
  bool painted = false;
  for (const Received& r : recorder.only({WM_PAINT})) painted |= r.window == other;
  EXPECT_TRUE(painted) << "the other window was painted by the box's loop";
}

}  // namespace
