// Creating gadgets by number, working on them by number, and freeing them.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <string>

#include "events.h"
#include "gadgets.h"
#include "toolkit_windows.h"
#include "ui_support.h"
#include "toolkit_internal.h"

namespace {

class GadgetsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(window_open(0, 100, 150, 260, 330, "Gadgets", 0xC80001), 0);
    window = window_handle(0);
    set_gadget_parent(window);
  }
  void TearDown() override {
    windows_close_all();
    set_gadget_font(-1, reinterpret_cast<HFONT>(static_cast<INT_PTR>(-1)));
    drain_events(20);
  }

  static int live_gadgets() {
    int count = 0;
    registry_enum_begin(gadget_registry);
    ObjectNumber value;
    while (registry_enum_next(gadget_registry, &value) != nullptr) ++count;
    return count;
  }
  static std::string class_of(HWND control) {
    char name[64] = {};
    GetClassNameA(control, name, sizeof name);
    return name;
  }
  static RECT client_rect_of(HWND control) {
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
  }

  HWND window = nullptr;
};

TEST_F(GadgetsTest, EachKindMakesItsControlWithTheNumberAsIdentifierAndProperty) {
  struct Expected {
    ObjectNumber number;
    const char* class_name;
    LONG style;
    bool client_edge;
  };
  HWND text = reinterpret_cast<HWND>(create_text_gadget(7, 20, 14, 30, 20, "Port:"));
  HWND log = reinterpret_cast<HWND>(create_text_gadget(4, 20, 100, 220, 140, "", TEXT_BORDER));
  HWND result = reinterpret_cast<HWND>(create_text_gadget(6, 20, 260, 220, 280, nullptr, TEXT_CENTER));
  HWND port = reinterpret_cast<HWND>(create_string_gadget(2, 50, 10, 50, 20, "COM17"));
  HWND bare = reinterpret_cast<HWND>(create_string_gadget(9, 50, 40, 50, 20, "x", STRING_BORDERLESS));
  HWND button = reinterpret_cast<HWND>(create_button_gadget(1, 20, 40, 80, 20, "Connect"));
  HWND bar = reinterpret_cast<HWND>(create_progress_bar(3, 20, 70, 220, 20, 0, 100));
  const std::pair<HWND, Expected> cases[] = {
      {text, {7, "Static", 0x50020000, false}},
      {log, {4, "Static", 0x50020000, true}},
      {result, {6, "Static", 0x50020001, false}},
      {port, {2, "Edit", 0x50030080, true}},
      {bare, {9, "Edit", 0x50030080, false}},
      {button, {1, "Button", 0x50030000, false}},
      {bar, {3, "msctls_progress32", 0x50000000, false}},
  };
  for (const auto& [control, expected] : cases) {
    SCOPED_TRACE(expected.number);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(GetParent(control), window);
    EXPECT_EQ(GetWindowLongPtrA(control, GWLP_ID), expected.number);
    EXPECT_EQ(reinterpret_cast<ObjectNumber>(GetPropA(control, "RZ_ID")), expected.number);
    EXPECT_EQ(GetDlgItem(window, static_cast<int>(expected.number)), control);
    EXPECT_EQ(class_of(control), expected.class_name);
    EXPECT_EQ(GetWindowLongA(control, GWL_STYLE) & expected.style, expected.style);
    EXPECT_EQ(GetWindowLongA(control, GWL_STYLE) & 0xFFFF, expected.style & 0xFFFF) << "no style of the class added";
    EXPECT_EQ((GetWindowLongA(control, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) != 0, expected.client_edge);
    ASSERT_NE(gadget_record(expected.number), nullptr);
    EXPECT_EQ(gadget_record(expected.number)->control, control);
  }
  EXPECT_EQ(gadget_record(6)->front_colour, -1);
  EXPECT_EQ(gadget_record(6)->back_colour, -1);
  EXPECT_EQ(gadget_record(1)->front_colour, 0) << "a button has no colours";
  // The kinds carry their fixed numbers.
  EXPECT_EQ(gadget_record(1)->kind->kind_id, 1);
  EXPECT_EQ(gadget_record(2)->kind->kind_id, 2);
  EXPECT_EQ(gadget_record(7)->kind->kind_id, 3);
  EXPECT_EQ(gadget_record(3)->kind->kind_id, 14);
  EXPECT_EQ(gadget_record(3)->kind->table_size, static_cast<LONG_PTR>(sizeof(GadgetKind)));
  EXPECT_EQ(gadget_record(4)->kind, gadget_record(7)->kind) << "one table per kind";

  RECT place = client_rect_of(bar);
  EXPECT_EQ(place.left, 20);
  EXPECT_EQ(place.top, 70);
  EXPECT_EQ(place.right - place.left, 220);
  EXPECT_EQ(place.bottom - place.top, 20);
}

TEST_F(GadgetsTest, RecreatingANumberMakesTheNewControlBeforeDestroyingTheOld) {
  HWND old_control = reinterpret_cast<HWND>(create_string_gadget(2, 50, 10, 50, 20, "old"));
  ASSERT_NE(old_control, nullptr);

  // Watch the old control's destruction: the new one must already exist.
  static WNDPROC gadget_chain;
  static int controls_at_destruction;
  controls_at_destruction = -1;
  gadget_chain = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
      old_control, GWLP_WNDPROC,
      reinterpret_cast<LONG_PTR>(+[](HWND control, UINT message, WPARAM wparam, LPARAM lparam) -> LRESULT {
        if (message == WM_DESTROY) {
          controls_at_destruction = 0;
          for (HWND child = GetWindow(GetParent(control), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            ++controls_at_destruction;
        }
        return CallWindowProcA(gadget_chain, control, message, wparam, lparam);
      })));
  HWND new_control = reinterpret_cast<HWND>(create_string_gadget(2, 60, 10, 50, 20, "new"));

  ASSERT_NE(new_control, nullptr);
  EXPECT_EQ(controls_at_destruction, 2) << "the old and the new control both existed";
  EXPECT_FALSE(IsWindow(old_control));
  EXPECT_EQ(gadget_control(2), new_control);
  EXPECT_EQ(get_gadget_text(2), "new");
  EXPECT_EQ(GetWindowLongPtrA(new_control, GWLP_ID), 2);

  // Typing into the new control reports gadget 2.
  click_client(new_control, 10, 5);
  press_key('A');
  std::vector<Event> events = retrieve_until(
      [](const Event& event) { return event.code == EV_GADGET && event.gadget == 2 && event.type == EN_CHANGE; });
  EXPECT_FALSE(events.empty());
}

TEST_F(GadgetsTest, AFailedCreationLeavesTheGadgetOfThatNumberAlone) {
  HWND existing = reinterpret_cast<HWND>(create_text_gadget(2, 20, 14, 30, 20, "stays"));
  ASSERT_NE(existing, nullptr);
  set_gadget_parent(reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7654321)));
  EXPECT_EQ(create_text_gadget(2, 20, 14, 30, 20, "never"), 0);
  EXPECT_EQ(create_progress_bar(2, 20, 14, 30, 20, 0, 10), 0);
  EXPECT_TRUE(IsWindow(existing));
  EXPECT_EQ(gadget_control(2), existing);
  EXPECT_EQ(get_gadget_text(2), "stays");

  // A number that no registry slot can take: the control made for it goes again.
  set_gadget_parent(window);
  EXPECT_EQ(create_text_gadget(-5, 20, 40, 30, 20, "no slot"), 0);
  EXPECT_EQ(FindWindowExA(window, nullptr, "Static", "no slot"), nullptr);
}

TEST_F(GadgetsTest, AnUnnumberedGadgetIsAddressedByItsIdentifierEverywhere) {
  ObjectNumber id = create_string_gadget(ANY_NUMBER, 50, 10, 50, 20, "first");
  ASSERT_NE(id, 0);
  HWND control = gadget_control(id);
  ASSERT_NE(control, nullptr);
  EXPECT_NE(id, reinterpret_cast<ObjectNumber>(control));
  EXPECT_EQ(GetWindowLongPtrA(control, GWLP_ID), id);
  EXPECT_EQ(reinterpret_cast<ObjectNumber>(GetPropA(control, "RZ_ID")), id);

  set_gadget_text(id, "second");
  EXPECT_EQ(get_gadget_text(id), "second");
  ObjectNumber other = create_button_gadget(ANY_NUMBER, 20, 40, 80, 20, "other");
  EXPECT_NE(other, id);

  click_client(control, 10, 5);
  EXPECT_FALSE(retrieve_until([&](const Event& event) {
                 return event.code == EV_GADGET && event.gadget == id && event.type == FOCUS_GAINED;
               }).empty());

  free_gadget(id);
  EXPECT_FALSE(IsWindow(control));
  EXPECT_EQ(gadget_record(id), nullptr);
  EXPECT_EQ(get_gadget_text(id), "");
}

TEST_F(GadgetsTest, TextsAreSetAndReadWhole) {
  create_text_gadget(4, 20, 100, 220, 140, "", TEXT_BORDER);
  std::string log(5000, 'x');
  log[4999] = 'y';
  set_gadget_text(4, log.c_str());
  EXPECT_EQ(get_gadget_text(4), log);
  set_gadget_text(4, nullptr);
  EXPECT_EQ(get_gadget_text(4), "");
  EXPECT_EQ(get_gadget_text(44), "") << "a gadget that was never created";
  set_gadget_text(44, "nowhere");  // does nothing

  // A kind with text routines of its own is asked instead of its control.
  static std::string kept;
  GadgetKind* kind = gadget_record(4)->kind;
  GadgetKind plain = *kind;
  kind->set_text = [](GadgetRecord*, const char* text) { kept = text; };
  kind->get_text = [](GadgetRecord*) { return "kept: " + kept; };
  set_gadget_text(4, "own");
  std::string read = get_gadget_text(4);
  *kind = plain;
  EXPECT_EQ(read, "kept: own");
  EXPECT_EQ(get_gadget_text(4), "") << "the control was not told";
}

TEST_F(GadgetsTest, StateMovesTheProgressBarAndChecksButtonsButTextsHaveNone) {
  create_progress_bar(3, 20, 70, 220, 20, 0, 100);
  create_text_gadget(7, 20, 14, 30, 20, "Port:");
  create_button_gadget(8, 20, 40, 80, 20, "Check", BS_AUTOCHECKBOX);
  set_gadget_state(3, 42);
  EXPECT_EQ(SendMessageA(gadget_control(3), PBM_GETPOS, 0, 0), 42);
  EXPECT_EQ(get_gadget_state(3), 42);
  EXPECT_EQ(SendMessageA(gadget_control(3), PBM_GETRANGE, FALSE, 0), 100);

  set_gadget_state(8, 5);
  EXPECT_EQ(SendMessageA(gadget_control(8), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(get_gadget_state(8), 1);
  set_gadget_state(8, 0);
  EXPECT_EQ(get_gadget_state(8), 0);

  set_gadget_state(7, 1);
  EXPECT_EQ(get_gadget_text(7), "Port:");
  EXPECT_EQ(get_gadget_state(7), 0);
}

TEST_F(GadgetsTest, FontsGoToOneGadgetOrBecomeTheDefaultForLaterOnes) {
  HFONT stock = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  HFONT other = static_cast<HFONT>(GetStockObject(ANSI_FIXED_FONT));
  HFONT stock_marker = reinterpret_cast<HFONT>(static_cast<INT_PTR>(-1));
  auto font_of = [](ObjectNumber gadget) {
    return reinterpret_cast<HFONT>(SendMessageA(gadget_control(gadget), WM_GETFONT, 0, 0));
  };

  create_text_gadget(6, 20, 260, 220, 280, "", TEXT_CENTER);
  EXPECT_EQ(font_of(6), stock);
  set_gadget_font(6, other);
  EXPECT_EQ(font_of(6), other);

  set_gadget_font(-1, other);
  create_text_gadget(7, 20, 14, 30, 20, "later");
  EXPECT_EQ(font_of(7), other);
  set_gadget_font(6, stock_marker);
  EXPECT_EQ(font_of(6), stock) << "the stock font, not the current default";

  set_gadget_font(-1, stock_marker);
  create_text_gadget(8, 20, 40, 30, 20, "again");
  EXPECT_EQ(font_of(8), stock);
  EXPECT_EQ(font_of(7), other) << "gadgets that exist keep their font";
}

TEST_F(GadgetsTest, ClosingTheWindowReleasesEveryGadgetOfIt) {
  create_text_gadget(7, 20, 14, 30, 20, "Port:");
  create_string_gadget(2, 50, 10, 50, 20, "COM17");
  create_button_gadget(1, 20, 40, 80, 20, "Connect");
  create_progress_bar(3, 20, 70, 220, 20, 0, 100);
  ObjectNumber id = create_text_gadget(ANY_NUMBER, 20, 100, 100, 20, "any");
  ASSERT_EQ(live_gadgets(), 5);
  window_close(0);
  EXPECT_EQ(live_gadgets(), 0);
  EXPECT_EQ(gadget_record(id), nullptr);
  for (ObjectNumber number : {1, 2, 3, 7}) EXPECT_EQ(gadget_record(number), nullptr);

  // The numbers are free for a new window's gadgets.
  window_open(0, 100, 150, 260, 330, "again", 0xC80001);
  set_gadget_parent(window_handle(0));
  EXPECT_NE(create_button_gadget(1, 20, 40, 80, 20, "Connect"), 0);
  EXPECT_EQ(live_gadgets(), 1);
}

TEST_F(GadgetsTest, FindingTheToolkitWindowOfAControlWalksUpToTheWindowWithTheProperty) {
  HWND control = reinterpret_cast<HWND>(create_button_gadget(1, 20, 40, 80, 20, "Connect"));
  EXPECT_EQ(find_toolkit_window(control), window);
  HWND plain = CreateWindowExA(0, "Static", "", WS_CHILD, 0, 0, 10, 10, window, nullptr, nullptr, nullptr);
  HWND nested = CreateWindowExA(0, "Button", "", WS_CHILD, 0, 0, 5, 5, plain, nullptr, nullptr, nullptr);
  EXPECT_EQ(find_toolkit_window(nested), window);
  EXPECT_EQ(find_toolkit_window(window), window) << "a top-level window is returned as it is";
}

}  // namespace
