// Retrieving events: what the user's clicks and keys, and the window's own
// messages, become.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "events.h"
#include "gadgets.h"
#include "toolkit_windows.h"
#include "ui_support.h"
#include "toolkit_internal.h"

namespace {

bool has_code(const std::vector<Event>& events, int code) {
  return std::any_of(events.begin(), events.end(), [&](const Event& event) { return event.code == code; });
}

// The application's kind of window: a button and two input fields.
class EventsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(window_open(0, 100, 150, 260, 200, "Events", 0xC80001), 0);
    window = window_handle(0);
    set_gadget_parent(window);
    ASSERT_NE(create_string_gadget(2, 50, 10, 50, 20, "COM17"), 0);
    ASSERT_NE(create_string_gadget(5, 160, 10, 30, 20, "05"), 0);
    ASSERT_NE(create_button_gadget(1, 20, 40, 80, 20, "Connect"), 0);
    bring_to_front(window);
    drain_events();
  }
  void TearDown() override {
    windows_close_all();
    drain_events(20);
  }

  HWND window = nullptr;
};

TEST_F(EventsTest, TheCloseBoxGivesTheClickThenACloseEventAndTheWindowStaysOpen) {
  POINT close_box;
  ASSERT_TRUE(find_frame_point(window, HTCLOSE, close_box));
  click_screen(close_box.x, close_box.y);

  std::vector<Event> events = retrieve_until([](const Event& event) { return event.code == WM_NCLBUTTONDOWN; });
  ASSERT_FALSE(events.empty()) << "the click on the close box was never retrieved";
  Event close = retrieve(0);
  EXPECT_EQ(close.code, EV_CLOSE);
  EXPECT_EQ(close.window, 0);
  EXPECT_EQ(close.type, -1);
  EXPECT_TRUE(IsWindow(window));
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(window_handle(0), window);
}

TEST_F(EventsTest, PressingAButtonGivesAGadgetEventOfTypeZero) {
  ASSERT_NE(create_button_gadget(0, 120, 40, 80, 20, "Zero"), 0);  // a number like any other
  for (ObjectNumber gadget : {1, 0}) {
    SCOPED_TRACE(gadget);
    click_client(window, gadget == 1 ? 60 : 160, 50);
    std::vector<Event> events =
        retrieve_until([=](const Event& event) { return event.code == EV_GADGET && event.gadget == gadget; });
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().type, BN_CLICKED);
    EXPECT_EQ(events.back().window, 0);
  }
}

int colour_changes_heard = 0;
LRESULT CALLBACK colour_listener(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_SYSCOLORCHANGE) ++colour_changes_heard;
  return DefWindowProcA(window, message, wparam, lparam);
}

TEST_F(EventsTest, AChangeOfTheSystemColoursReachesEveryWindowInsideTheWindow) {
  WNDCLASSA listener{};
  listener.lpfnWndProc = colour_listener;
  listener.hInstance = GetModuleHandleA(nullptr);
  listener.lpszClassName = "ColourListener";
  RegisterClassA(&listener);
  colour_changes_heard = 0;
  HWND child = CreateWindowExA(0, "ColourListener", "", WS_CHILD, 0, 0, 9, 9, window, nullptr, nullptr, nullptr);
  ASSERT_NE(CreateWindowExA(0, "ColourListener", "", WS_CHILD, 0, 0, 9, 9, child, nullptr, nullptr, nullptr), nullptr);
  SendMessageA(window, WM_SYSCOLORCHANGE, 0, 0);
  EXPECT_EQ(colour_changes_heard, 2);
}

TEST_F(EventsTest, FocusEnteringAndLeavingAnInputFieldAreGadgetEvents) {
  auto focus_event = [](ObjectNumber gadget, int type) {
    return [=](const Event& event) { return event.code == EV_GADGET && event.gadget == gadget && event.type == type; };
  };
  click_client(window, 70, 20);
  ASSERT_FALSE(retrieve_until(focus_event(2, FOCUS_GAINED)).empty());
  EXPECT_EQ(GetFocus(), GetDlgItem(window, 2));

  click_client(window, 170, 20);
  std::vector<Event> events = retrieve_until(focus_event(5, FOCUS_GAINED));
  ASSERT_FALSE(events.empty());
  EXPECT_TRUE(std::any_of(events.begin(), events.end(), focus_event(2, FOCUS_LOST)));
  EXPECT_EQ(events.back().window, 0);
}

TEST_F(EventsTest, FocusChangesArePostedToTheWindowNotSent) {
  SetFocus(GetDlgItem(window, 2));
  // Nothing has been retrieved yet: the change waits in the queue as a message.
  MSG message;
  ASSERT_TRUE(PeekMessageA(&message, window, MSG_FIELD_FOCUS, MSG_FIELD_FOCUS, PM_NOREMOVE));
  EXPECT_EQ(message.wParam, 2u);
  EXPECT_EQ(message.lParam, FOCUS_GAINED);
}

TEST_F(EventsTest, RepeatedMovesCollapseButAnyOtherEventInBetweenKeepsThemApart) {
  SendMessageA(window, WM_MOVE, 0, MAKELPARAM(10, 10));
  SendMessageA(window, WM_MOVE, 0, MAKELPARAM(11, 10));
  std::vector<Event> events = drain_events();
  EXPECT_EQ(std::count_if(events.begin(), events.end(), [](const Event& event) { return event.code == EV_MOVE; }), 1);

  HDC context = GetDC(window);
  SendMessageA(window, WM_MOVE, 0, MAKELPARAM(12, 10));
  SendMessageA(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(context), 0);
  SendMessageA(window, WM_MOVE, 0, MAKELPARAM(13, 10));
  ReleaseDC(window, context);
  EXPECT_EQ(retrieve(0).code, EV_MOVE);
  EXPECT_EQ(retrieve(0).code, EV_REPAINT);
  EXPECT_EQ(retrieve(0).code, EV_MOVE);
  EXPECT_EQ(event_state->queue_head, nullptr);
}

TEST_F(EventsTest, AQueuedEventKeepsTheGadgetOfTheLastDirectEventAndHasNoType) {
  click_client(window, 60, 50);
  ASSERT_FALSE(retrieve_until([](const Event& event) { return event.code == EV_GADGET && event.gadget == 1; }).empty());
  drain_events();
  SendMessageA(window, WM_MOVE, 0, 0);
  Event moved = retrieve(0);
  EXPECT_EQ(moved.code, EV_MOVE);
  EXPECT_EQ(moved.gadget, 1);
  EXPECT_EQ(moved.type, -1);
  EXPECT_EQ(moved.window, 0);

  // Each queued event keeps its own window.
  ASSERT_NE(window_open(1, 10, 10, 100, 60, "other", WS_OVERLAPPEDWINDOW | WINDOW_INVISIBLE), 0);
  drain_events();
  SendMessageA(window_handle(1), WM_MOVE, 0, 0);
  SendMessageA(window, WM_MOVE, 0, 0);
  EXPECT_EQ(retrieve(0).window, 1);
  EXPECT_EQ(retrieve(0).window, 0);
}

TEST_F(EventsTest, NothingWithinTheTimeoutGivesNoEventAndKeepsTheLastMessage) {
  event_state->last_wparam = 77;
  EXPECT_EQ(retrieve(0).code, EV_NONE);
  Event waited = retrieve(30);
  EXPECT_EQ(waited.code, EV_NONE);
  EXPECT_EQ(waited.type, -1);
  EXPECT_EQ(event_state->last_wparam, 77u) << "nothing was dispatched";
}

TEST_F(EventsTest, AMessageThatMakesNoEventIsReportedByItsNumberWithItsParameters) {
  PostMessageA(window, WM_USER + 7, 0x1234, 0x5678);
  Event event = retrieve(0);
  EXPECT_EQ(event.code, WM_USER + 7);
  EXPECT_EQ(event_state->last_wparam, 0x1234u);
  EXPECT_EQ(event_state->last_lparam, 0x5678);
}

TEST_F(EventsTest, TheTabCommandsFromTheAcceleratorMakeNoEventButAMenuItemOfTheSameNumberDoes) {
  // With no tab stop to move to, nothing but the translation of the commands
  // can make an event (an input field reports its focus changes itself).
  for (ObjectNumber gadget : {1, 2, 5}) EnableWindow(GetDlgItem(window, static_cast<int>(gadget)), FALSE);
  drain_events();
  // A Tab key translated with the window's table reaches the window as the command.
  MSG tab{window, WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
  ASSERT_TRUE(TranslateAcceleratorA(window, window_record(0)->accel_table, &tab));
  EXPECT_EQ(event_state->pending_event, 0);

  PostMessageA(window, WM_COMMAND, MAKEWPARAM(CMD_TAB_NEXT, 1), 0);
  EXPECT_EQ(retrieve(0).code, WM_COMMAND);
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(CMD_TAB_PREVIOUS, 1), 0);
  EXPECT_EQ(retrieve(0).code, WM_COMMAND);

  PostMessageA(window, WM_COMMAND, MAKEWPARAM(CMD_TAB_NEXT, 0), 0);
  Event menu = retrieve(0);
  EXPECT_EQ(menu.code, EV_MENU);
  EXPECT_EQ(menu.gadget, CMD_TAB_NEXT);
  EXPECT_EQ(menu.type, -1);

  PostMessageA(window, WM_COMMAND, MAKEWPARAM(77, 1), 0);  // any other accelerator
  Event accelerator = retrieve(0);
  EXPECT_EQ(accelerator.code, EV_MENU);
  EXPECT_EQ(accelerator.gadget, 77);
}

// Programs compare retrieved codes with these numbers, compiled in: they never change.
TEST(EventCodes, AreTheirFixedNumbers) {
  EXPECT_EQ((std::vector{EV_NONE, EV_MOVE, EV_SIZE, EV_REPAINT, EV_CLOSE, EV_GADGET, EV_MENU, EV_ITEM_CLICK,
                         EV_ACTIVATE, EV_WINDOW_DATA, EV_GADGET_DATA, FOCUS_GAINED, FOCUS_LOST}),
            (std::vector{0, 3, 5, 15, 16, 13100, 13101, 13102, 13104, 13105, 13106, 14000, 14001}));
}

TEST_F(EventsTest, ItemClicksAreDeferredOnceAndOnlyMouseButtonsMakeEvents) {
  // The click types are numbers that programs compare with.
  const std::pair<LPARAM, int> clicks[] = {
      {WM_LBUTTONDOWN, 0}, {WM_RBUTTONDOWN, 1}, {WM_LBUTTONDBLCLK, 2}, {WM_RBUTTONDBLCLK, 3}};
  for (const auto& [button, type] : clicks) {
    PostMessageA(window, MSG_ITEM_CLICK, 7, button);
    EXPECT_EQ(retrieve(0).code, static_cast<int>(MSG_ITEM_CLICK));
    Event click = retrieve(0);
    EXPECT_EQ(click.code, EV_ITEM_CLICK);
    EXPECT_EQ(click.gadget, 7);
    EXPECT_EQ(click.type, type) << button;
  }
  // Sent instead of posted, the click is answered as handled and deferred all the same.
  EXPECT_EQ(SendMessageA(window, MSG_ITEM_CLICK, 7, WM_LBUTTONDOWN), 0);
  EXPECT_EQ(retrieve(0).code, EV_ITEM_CLICK);

  PostMessageA(window, MSG_ITEM_CLICK_DEFERRED, 9, WM_MOUSEMOVE);
  Event moved = retrieve(0);
  EXPECT_EQ(moved.code, static_cast<int>(MSG_ITEM_CLICK_DEFERRED));
  EXPECT_EQ(moved.gadget, 9);
}

TEST_F(EventsTest, MinimisingMakesNoSizeEventButMaximisingDoes) {
  ShowWindow(window, SW_MINIMIZE);
  EXPECT_FALSE(has_code(drain_events(), EV_SIZE));
  ShowWindow(window, SW_RESTORE);
  EXPECT_TRUE(has_code(drain_events(), EV_SIZE));
}

TEST_F(EventsTest, DataRecordsComeWithTheirEventAndAreFreedByTheNextRetrieval) {
  auto* data = static_cast<EventData*>(HeapAlloc(main_heap, HEAP_ZERO_MEMORY, sizeof(EventData)));
  data->block = HeapAlloc(main_heap, 0, 64);
  PostMessageA(window, MSG_GADGET_DATA, 5, reinterpret_cast<LPARAM>(data));
  event_state->last_wparam = 77;
  Event event = retrieve(0);
  EXPECT_EQ(event.code, EV_GADGET_DATA);
  EXPECT_EQ(event.gadget, 5);
  EXPECT_EQ(event_state->event_data, data);
  EXPECT_EQ(event_state->last_wparam, 77u) << "an event keeps the parameters of the last plain message";
  retrieve(0);
  EXPECT_EQ(event_state->event_data, nullptr);
}

TEST_F(EventsTest, MessagesOfAWindowOutsideTheToolkitBelongToNoWindow) {
  // A window of the toolkit's procedure but without the property, such as a
  // window during its creation.
  HWND stranger = CreateWindowExA(0, "WindowClass_0", "stranger", WS_OVERLAPPED, 0, 0, 50, 50, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(stranger, nullptr);
  drain_events();
  EXPECT_EQ(SendMessageA(stranger, WM_CLOSE, 0, 0), 0);
  EXPECT_TRUE(IsWindow(stranger));
  EXPECT_EQ(SendMessageA(stranger, WM_SIZE, SIZE_RESTORED, 0), 1);
  SendMessageA(stranger, WM_ACTIVATE, WA_ACTIVE, 0);
  Event activated = retrieve(0);
  EXPECT_EQ(activated.code, EV_ACTIVATE);
  EXPECT_EQ(activated.window, -1);
  EXPECT_EQ(retrieve(0).code, EV_NONE) << "neither the close request nor the size made an event";
  DestroyWindow(stranger);
}

TEST_F(EventsTest, AMessageThatArrivesDuringTheWaitIsRetrieved) {
  SetTimer(window, 7, 30, nullptr);
  Event waited = retrieve(5000);
  KillTimer(window, 7);
  EXPECT_EQ(waited.code, WM_TIMER);
  EXPECT_EQ(event_state->last_wparam, 7u);
}

}  // namespace

namespace {

// What a closed window left in the queues: events, and posted data records.
TEST_F(EventsTest, NothingOfAClosedWindowReachesTheNextWindowOfItsNumber) {
  SendMessageA(window, WM_CLOSE, 0, 0);
  SetWindowPos(window, nullptr, 0, 0, 300, 240, SWP_NOMOVE | SWP_NOZORDER);
  auto* data = static_cast<EventData*>(HeapAlloc(main_heap, HEAP_ZERO_MEMORY, sizeof(EventData)));
  PostMessageA(window, MSG_WINDOW_DATA, 0, reinterpret_cast<LPARAM>(data));
  window_close(0);
  ASSERT_NE(window_open(0, 100, 150, 260, 200, "Next", WINDOW_INVISIBLE), 0);
  for (const Event& event : drain_events(20)) {
    EXPECT_NE(event.code, EV_CLOSE);
    EXPECT_NE(event.code, EV_SIZE);
    EXPECT_NE(event.code, EV_WINDOW_DATA);
  }
}

// A click made outside a retrieval waits as the pending event: freeing its
// gadget takes it along, freeing another gadget does not. The pending event is
// read where it waits: destroying a field may have the system erase the
// window at once (Wine does), and handing out that queued repaint clears it.
TEST_F(EventsTest, FreeingAGadgetTakesOnlyItsOwnPendingClickAlong) {
  for (ObjectNumber freed : {1, 2}) {
    SetUp();
    SendMessageA(gadget_control(1), BM_CLICK, 0, 0);
    ASSERT_EQ(event_state->pending_event, EV_GADGET);
    free_gadget(freed);
    EXPECT_EQ(std::pair(event_state->pending_event, event_state->gadget),
              std::pair(freed == 1 ? 0 : EV_GADGET, ObjectNumber{1}))
        << "gadget " << freed << " freed";
    windows_close_all();
    drain_events(20);
  }
}

// A callback that frees the gadget, or makes it again under its number, while
// the gadget tells of its own click or of its field losing the focus.
TEST_F(EventsTest, AGadgetFreedOrRemadeInItsOwnNotificationGivesNoEventAndKeepsTheNewRecord) {
  struct Case {
    const char* name;
    ObjectNumber gadget;
    bool remade;
    std::function<void()> notify;
    std::function<void()> act;
  };
  const Case cases[] = {
      {"click, freed", 1, false, [] { SendMessageA(gadget_control(1), BM_CLICK, 0, 0); }, [] { free_gadget(1); }},
      {"focus lost, freed", 2, false, [] { SetFocus(window_handle(0)); }, [] { free_gadget(2); }},
      {"focus lost, remade while the old field is destroyed", 2, true, [] { free_gadget(2); },
       [] { create_string_gadget(2, 50, 10, 50, 20, "again"); }},
      {"focus lost as the field is freed", 2, false, [] { free_gadget(2); }, [] {}},
      {"focus lost as the field is replaced, remade meanwhile", 2, true,
       [] { EXPECT_EQ(create_string_gadget(2, 50, 10, 50, 20, "outer"), 0) << "the newer gadget keeps the number"; },
       [] { create_string_gadget(2, 50, 10, 50, 20, "again"); }},
  };
  static std::function<void()> act;
  static ObjectNumber gadget;
  std::optional<DWORD> gdi_objects;  // counted after the first case, whose first paint makes what stays
  for (const Case& item : cases) {
    SCOPED_TRACE(item.name);
    SetUp();
    set_gadget_colour(item.gadget, COLOUR_BACK, RGB(0, 0, 200));  // a brush of its own, to be freed with it
    SetFocus(gadget_control(2));
    drain_events(20);
    act = item.act;
    gadget = item.gadget;
    window_record(0)->callback = [](HWND, UINT message, WPARAM wparam, LPARAM lparam) -> LRESULT {
      if (message == WM_COMMAND && act && reinterpret_cast<HWND>(lparam) == gadget_control(gadget) &&
          (HIWORD(wparam) == BN_CLICKED || HIWORD(wparam) == EN_KILLFOCUS))
        std::exchange(act, nullptr)();
      return RESULT_CONTINUE;
    };
    HWND old = gadget_control(item.gadget);
    item.notify();
    EXPECT_FALSE(act) << "the notification never came";
    for (const Event& event : drain_events(20)) {
      EXPECT_TRUE(event.code != EV_GADGET || (event.gadget != item.gadget && gadget_record(event.gadget) != nullptr))
          << "an event of gadget " << event.gadget;
    }
    HWND now = gadget_control(item.gadget);
    EXPECT_FALSE(IsWindow(old));
    ASSERT_EQ(now != nullptr, item.remade);
    if (item.remade) {
      // The new field takes input through its record.
      SendMessageA(now, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>("7"));
      EXPECT_EQ(get_gadget_text(item.gadget), "7again");
    }
    windows_close_all();
    drain_events(20);
    const DWORD gdi_now = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    EXPECT_EQ(gdi_now, gdi_objects.value_or(gdi_now)) << "GDI objects";
    gdi_objects = gdi_now;
  }
}

}  // namespace
