// Whatever the toolkit opens and closes, its private heaps come back to the
// count they had: a block left behind is a leak that the sanitizers cannot
// see, since every block stays linked from its heap.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <set>
#include <string>

#include "colours.h"
#include "events.h"
#include "fonts.h"
#include "gadgets.h"
#include "heap_usage.h"
#include "requester.h"
#include "toolkit_windows.h"
#include "ui_support.h"
#include "toolkit_internal.h"

namespace {

using test_support::heap_usage;

constexpr const char* caption = "Heap balance";

// Answers the requester as soon as it shows.
void CALLBACK press_ok(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND box = FindWindowExA(nullptr, nullptr, nullptr, caption);
  if (box == nullptr) return;
  KillTimer(nullptr, timer);
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

EventData* new_event_data() {
  auto* data = static_cast<EventData*>(HeapAlloc(main_heap, HEAP_ZERO_MEMORY, sizeof(EventData)));
  data->block = HeapAlloc(main_heap, 0, 100);
  return data;
}

// One round of everything the toolkit allocates for: windows numbered, unnumbered and
// owned, gadgets of every kind with colours and fonts, queued events, event data and
// a requester with another window in front.
void open_and_close_everything() {
  ASSERT_NE(window_open(0, 50, 50, 300, 200, "main", WS_OVERLAPPEDWINDOW), 0);
  HWND main_window = window_handle(0);
  ObjectNumber other = window_open(ANY_NUMBER, 60, 60, 200, 100, "other", WS_OVERLAPPEDWINDOW);
  ASSERT_NE(window_open(1, 70, 70, 100, 60, "owned", WS_POPUP | WS_CAPTION, main_window), 0);
  set_gadget_parent(main_window);
  create_text_gadget(7, 5, 5, 80, 20, "Port:");
  create_string_gadget(2, 5, 30, 80, 20, "COM17");
  create_button_gadget(1, 5, 55, 80, 20, "Connect");
  create_progress_bar(3, 5, 80, 80, 20, 0, 100);
  ObjectNumber any_text = create_text_gadget(ANY_NUMBER, 5, 105, 80, 20, "any");
  set_gadget_colour(7, COLOUR_BACK, RGB(200, 0, 0));
  set_gadget_colour(any_text, COLOUR_BACK, RGB(200, 0, 0));
  set_gadget_colour(2, COLOUR_BACK, RGB(0, 0, 200));
  set_gadget_colour(3, COLOUR_FRONT, RGB(0, 200, 0));
  create_text_gadget(7, 5, 5, 80, 20, "again");  // replaces the coloured one
  load_font(0, "Arial", 20, FONT_BOLD);
  ObjectNumber any_font = load_font(ANY_NUMBER, "Arial", 9, 0);
  set_gadget_font(1, font_handle(0));
  load_font(0, "Arial", 22, 0);

  event_queue_append(EV_MOVE, 0);
  event_queue_append(EV_SIZE, 0);
  PostMessageA(main_window, MSG_WINDOW_DATA, 0, reinterpret_cast<LPARAM>(new_event_data()));
  PostMessageA(main_window, MSG_GADGET_DATA, 1, reinterpret_cast<LPARAM>(new_event_data()));
  drain_events(20);

  bring_to_front(window_handle(other));
  SetTimer(nullptr, 0, 20, press_ok);
  EXPECT_EQ(message_requester(caption, "Something happened", 0), IDOK);

  free_font(any_font);
  window_close(other);
  PostMessageA(main_window, MSG_WINDOW_DATA, 0, reinterpret_cast<LPARAM>(new_event_data()));
  EXPECT_EQ(retrieve_until([](const Event& event) { return event.code == EV_WINDOW_DATA; }).empty(), false);
  event_queue_append(EV_REPAINT, 0);
  windows_close_all();  // also frees the data of the last event
  free_all_fonts();
  drain_events(20);
}

TEST(HeapBalance, OpenAndCloseCyclesReturnEveryPrivateHeapToItsCount) {
  // The first round lets registries and tables grow to what a round needs.
  open_and_close_everything();
  auto main_before = heap_usage(main_heap), list_before = heap_usage(list_heap_handle());
  ASSERT_GT(main_before.blocks, 0u);
  for (int round = 0; round < 3; ++round) open_and_close_everything();
  EXPECT_EQ(heap_usage(main_heap), main_before);
  EXPECT_EQ(heap_usage(list_heap_handle()), list_before);
}

// One cycle of every kind of window: numbered, unnumbered, owned and closed
// by number, destroyed with its owner (numbered and unnumbered), and a child
// destroyed with its parent; each with gadgets, colours and a font, and with
// events and data records left waiting when it goes.
void cycle_every_window_kind(std::set<std::string>& class_names) {
  const DWORD popup = WS_POPUP | WS_CAPTION;
  ObjectNumber numbered[] = {0, 4, 5, 6, 7, 8};
  ASSERT_NE(window_open(0, 50, 50, 300, 200, "main", WS_OVERLAPPEDWINDOW), 0);
  ASSERT_NE(window_open(4, 60, 60, 200, 100, "numbered", WS_OVERLAPPEDWINDOW), 0);
  ObjectNumber unnumbered = window_open(ANY_NUMBER, 60, 60, 200, 100, "unnumbered", WS_OVERLAPPEDWINDOW);
  ASSERT_NE(window_open(5, 70, 70, 100, 60, "owned", popup, window_handle(0)), 0);
  ASSERT_NE(window_open(6, 80, 80, 200, 100, "owner", WS_OVERLAPPEDWINDOW), 0);
  ASSERT_NE(window_open(7, 90, 90, 100, 60, "goes with its owner", popup, window_handle(6)), 0);
  ObjectNumber unnumbered_owned = window_open(ANY_NUMBER, 90, 90, 100, 60, "goes too", popup, window_handle(6));
  ASSERT_NE(window_open(8, 5, 5, 100, 60, "child", WS_CHILD | WS_VISIBLE, window_handle(6)), 0);
  for (ObjectNumber number : numbered) class_names.insert("WindowClass_" + std::to_string(number));
  for (ObjectNumber identifier : {unnumbered, unnumbered_owned}) {
    ASSERT_NE(identifier, 0);
    class_names.insert("WindowClass_" + std::to_string(identifier));
  }

  ObjectNumber font = load_font(ANY_NUMBER, "Arial", 9, FONT_BOLD);
  for (ObjectNumber window : {ObjectNumber{4}, ObjectNumber{8}, unnumbered_owned}) {
    set_gadget_parent(window_handle(window));
    create_string_gadget(2, 5, 5, 80, 20, "COM17");
    create_button_gadget(1, 5, 30, 80, 20, "Connect");
    create_progress_bar(3, 5, 55, 80, 20, 0, 100);
    ObjectNumber text = create_text_gadget(ANY_NUMBER, 5, 80, 80, 20, "Port");
    set_gadget_colour(text, COLOUR_BACK, RGB(200, 0, 0));
    set_gadget_colour(2, COLOUR_BACK, RGB(0, 0, 200));
    set_gadget_font(1, font_handle(font));
    SendMessageA(window_handle(window), WM_CLOSE, 0, 0);
    PostMessageA(window_handle(window), MSG_WINDOW_DATA, 0, reinterpret_cast<LPARAM>(new_event_data()));
    PostMessageA(window_handle(window), MSG_GADGET_DATA, 1, reinterpret_cast<LPARAM>(new_event_data()));
  }
  for (ObjectNumber window : {ObjectNumber{5}, ObjectNumber{7}, unnumbered})
    PostMessageA(window_handle(window), MSG_WINDOW_DATA, 0, reinterpret_cast<LPARAM>(new_event_data()));

  window_close(unnumbered);
  window_close(4);
  window_close(6);  // 7, 8 and the unnumbered owned window go with it
  window_close(5);
  window_close(0);
  free_font(font);
  drain_events(0);
}

int classes_left(const std::set<std::string>& class_names) {
  int left = 0;
  WNDCLASSA found;
  for (const std::string& name : class_names)
    left += GetClassInfoA(GetModuleHandleA(nullptr), name.c_str(), &found) != 0;
  return left;
}

TEST(HeapBalance, ALongRunOfEveryWindowKindLeavesHeapsClassesAndGdiObjectsAtTheirCounts) {
  // VELMORANT_LONG_RUN_CYCLES runs it longer by hand.
  const char* wanted = std::getenv("VELMORANT_LONG_RUN_CYCLES");
  const int cycles = wanted != nullptr ? std::atoi(wanted) : 300;
  std::set<std::string> class_names;
  cycle_every_window_kind(class_names);
  auto main_before = heap_usage(main_heap), list_before = heap_usage(list_heap_handle());
  DWORD gdi_before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  for (int cycle = 0; cycle < cycles && !::testing::Test::HasFatalFailure(); ++cycle)
    cycle_every_window_kind(class_names);
  auto main_after = heap_usage(main_heap), list_after = heap_usage(list_heap_handle());
  DWORD gdi_after = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  std::cout << cycles << " cycles: main heap " << main_before << " -> " << main_after << "; list heap " << list_before
            << " -> " << list_after << "; GDI objects " << gdi_before << " -> " << gdi_after << "; classes left "
            << classes_left(class_names) << " of " << class_names.size() << "\n";
  EXPECT_EQ(main_after, main_before);
  EXPECT_EQ(list_after, list_before);
  EXPECT_EQ(gdi_after, gdi_before);
  EXPECT_EQ(classes_left(class_names), 0);
}

}  // namespace
