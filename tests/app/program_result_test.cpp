// What the result shows for the speed fields that tell the decoding apart,
// a port that cannot be opened, and the window driven by the keyboard alone.
#include <gtest/gtest.h>

#include <cstring>
#include <string_view>

#include "gadgets.h"
#include "main_window.h"
#include "program_harness.h"
#include "test_support.h"
#include "toolkit_internal.h"

namespace {

using namespace program_test;

// Scenario fields with --fields "64 32,64 0A,01 32,64 0A,01 96,64 0A,01 FA,64 0A,FF 64,64 0A,FF FF,64 0A,ff 64":
// the telling values, each after 10 km/h so that equal results stay apart.
TEST(ResultText, ShowsEveryTellingSpeedFieldAsDecoded) {
  std::vector<std::string> shown;
  Script script;
  script.act("press Connect", press_connect).wait_until("the last field shown", [&] {
    const std::string result = text_of(GADGET_RESULT);
    if (!result.empty() && (shown.empty() || shown.back() != result)) shown.push_back(result);
    return shown.size() >= 13;
  });
  RUN_PROGRAM(run, script, 20s);
  EXPECT_EQ(shown, (std::vector<std::string>{"50 km/h", "10 km/h", "0 km/h", "10 km/h", "2 km/h", "10 km/h", "2 km/h",
                                             "10 km/h", "255 km/h", "10 km/h", "650 km/h", "10 km/h", "255 km/h"}));
}

HWND requester = nullptr;

BOOL CALLBACK find_requester(HWND window, LPARAM) {
  char title[32] = {};
  GetWindowTextA(window, title, sizeof title);
  if (std::strcmp(title, "Error") == 0 && IsWindowVisible(window)) requester = window;
  return requester == nullptr;
}

BOOL CALLBACK collect_static_text(HWND child, LPARAM texts) {
  char class_name[32] = {}, text[256] = {};
  GetClassNameA(child, class_name, sizeof class_name);
  GetWindowTextA(child, text, sizeof text);
  if (std::string_view(class_name) == "Static" && text[0] != '\0') {
    reinterpret_cast<std::vector<std::string>*>(texts)->push_back(text);
  }
  return TRUE;
}

// Scenario fixed: COM17 answers; COM99 does not exist.
TEST(OpenFailure, ShowsTheRequesterThenWaitsForEventsAndConnectsWhenPressedAgain) {
  std::vector<std::string> requester_texts;
  std::string log_after, caption;
  int progress_after = -1;
  bool main_enabled_after = false;
  Script script;
  script.act("type COM99", [] { set_gadget_text(GADGET_PORT, "COM99"); })
      .act("press Connect", press_connect)
      .wait_until("the requester",
                  [] {
                    requester = nullptr;
                    EnumThreadWindows(GetCurrentThreadId(), find_requester, 0);
                    return requester != nullptr && FindWindowExA(requester, nullptr, "Button", "OK") != nullptr;
                  })
      .act("read it and press OK",
           [&] {
             EnumChildWindows(requester, collect_static_text, reinterpret_cast<LPARAM>(&requester_texts));
             RECT ok;
             GetWindowRect(FindWindowExA(requester, nullptr, "Button", "OK"), &ok);
             test_support::bring_to_front(requester);
             test_support::click_screen({(ok.left + ok.right) / 2, (ok.top + ok.bottom) / 2});
           })
      .wait_until("the requester gone", [] { return !IsWindow(requester) || !IsWindowVisible(requester); })
      .act("look at the window",
           [&] {
             log_after = text_of(GADGET_LOG);
             progress_after = progress_position();
             main_enabled_after = IsWindowEnabled(main_window());
           })
      .act("type COM17 and press Connect",
           [] {
             set_gadget_text(GADGET_PORT, "COM17");
             press_connect();
           })
      .wait_until("the speed", [] { return text_of(GADGET_RESULT) == "50 km/h"; });
  RUN_PROGRAM(run, script, 15s);

  // The first line as ever, then why (the list of ports is the machine's).
  ASSERT_EQ(requester_texts.size(), 1u);
  EXPECT_TRUE(requester_texts[0].starts_with("Error during open COM99: Port\n\nThere is no port COM99. "))
      << requester_texts[0];
  EXPECT_EQ(log_after, "");
  EXPECT_EQ(progress_after, 0);
  EXPECT_TRUE(main_enabled_after);
  EXPECT_TRUE(simulator_saw_close());
}

// Whether a field has the focus with its whole text selected.
bool focused_and_selected(ObjectNumber gadget) {
  HWND field = gadget_record(gadget)->control;
  DWORD start = 99, end = 99;
  SendMessageA(field, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return GetFocus() == field && start == 0 && end == static_cast<DWORD>(GetWindowTextLengthA(field)) && end > 0;
}

// Scenario fixed. The port field has the focus at the start and after the
// error box, its text selected so that typing replaces it; Tab selects the
// group field's text; Enter in either field presses Connect.
TEST(OpenFailure, TheKeyboardAloneTypesAPortConnectsAndCorrectsIt) {
  Script script;
  script.wait_until("the port field focused and selected", [] { return focused_and_selected(GADGET_PORT); })
      .act("type COM99", [] { test_support::type_text("COM99"); })
      .act("press Tab", [] { test_support::press_key(VK_TAB); })
      .wait_until("the group field focused and selected", [] { return focused_and_selected(GADGET_GROUP); })
      .act("press Enter", [] { test_support::press_key(VK_RETURN); })
      .wait_until("the requester",
                  [] {
                    requester = nullptr;
                    EnumThreadWindows(GetCurrentThreadId(), find_requester, 0);
                    return requester != nullptr && GetActiveWindow() == requester;
                  })
      .act("press Enter in it", [] { test_support::press_key(VK_RETURN); })
      .wait_until("the port field focused and selected again",
                  [] { return !IsWindowVisible(requester) && focused_and_selected(GADGET_PORT); })
      .act("type COM17 and press Enter",
           [] {
             test_support::type_text("COM17");
             test_support::press_key(VK_RETURN);
           })
      .wait_until("the speed", [] { return text_of(GADGET_RESULT) == "50 km/h"; });
  RUN_PROGRAM(run, script, 15s);
}

}  // namespace
