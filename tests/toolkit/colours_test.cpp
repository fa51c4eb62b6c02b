// Gadget colours and the progress bar's range: what the gadgets paint, what
// they answer their window's colour requests, and how brushes are shared.
#include <gtest/gtest.h>

#include "colours.h"
#include "events.h"
#include "gadgets.h"
#include "heap_usage.h"
#include "test_support.h"
#include "toolkit_windows.h"
#include "ui_support.h"
#include "toolkit_internal.h"

#include <commctrl.h>

#include <vector>

namespace {

constexpr LONG red = RGB(255, 0, 0);
constexpr LONG green = RGB(0, 160, 0);
constexpr LONG blue = RGB(0, 0, 255);

// A gadget's colour answer to its window, as default processing would ask it.
struct ColourRequest {
  LRESULT answer;
  COLORREF text_colour;
  COLORREF back_colour;
};

class GadgetColours : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(window_open(0, 100, 100, 300, 200, "Colours", 0xC80001), 0);
    window = window_handle(0);
    set_gadget_parent(window);
    test_support::bring_to_front(window);
    drain_events();
  }
  void TearDown() override {
    windows_close_all();
    drain_events(20);
  }

  // Lets the gadgets repaint, then reads a pixel of the gadget's control.
  COLORREF painted(ObjectNumber gadget, int x, int y) {
    drain_events(50);
    return test_support::pixel_at(gadget_control(gadget), x, y);
  }

  ColourRequest request(ObjectNumber gadget, UINT message) {
    HWND control = gadget_control(gadget);
    HDC context = GetDC(control);
    SetTextColor(context, RGB(1, 2, 3));
    SetBkColor(context, RGB(4, 5, 6));
    LRESULT answer = route_gadget_message(control, window, message, reinterpret_cast<WPARAM>(context),
                                          reinterpret_cast<LPARAM>(control));
    ColourRequest result{answer, GetTextColor(context), GetBkColor(context)};
    ReleaseDC(control, context);
    return result;
  }

  HWND window = nullptr;
};

TEST_F(GadgetColours, TwoGadgetsWithOneBackgroundShareOneBrushUntilTheLastLetsGo) {
  ASSERT_NE(create_text_gadget(10, 10, 10, 100, 30, "first"), 0);
  ASSERT_NE(create_text_gadget(11, 10, 50, 100, 30, "second"), 0);
  set_gadget_colour(10, COLOUR_BACK, red);
  set_gadget_colour(11, COLOUR_BACK, red);

  HBRUSH shared = gadget_record(10)->back_brush;
  ASSERT_NE(shared, nullptr);
  EXPECT_EQ(gadget_record(11)->back_brush, shared);
  EXPECT_EQ(brush_holders(shared), 2);
  EXPECT_EQ(painted(10, 95, 25), static_cast<COLORREF>(red));
  EXPECT_EQ(painted(11, 95, 25), static_cast<COLORREF>(red));

  set_gadget_colour(10, COLOUR_BACK, green);
  EXPECT_EQ(brush_holders(shared), 1) << "the second gadget still paints with it";
  EXPECT_EQ(painted(10, 95, 25), static_cast<COLORREF>(green));
  EXPECT_EQ(painted(11, 95, 25), static_cast<COLORREF>(red));

  HBRUSH green_brush = gadget_record(10)->back_brush;
  free_gadget(11);
  EXPECT_EQ(brush_holders(shared), 0) << "the last holder is gone";
  EXPECT_EQ(brush_holders(green_brush), 1);
  free_gadget(10);
  EXPECT_EQ(brush_holders(green_brush), 0);
}

TEST_F(GadgetColours, ABackgroundSetBackToDefaultGivesItsBrushBack) {
  ASSERT_NE(create_string_gadget(2, 10, 10, 100, 24, "COM17"), 0);
  set_gadget_colour(2, COLOUR_BACK, blue);
  HBRUSH brush = gadget_record(2)->back_brush;
  EXPECT_EQ(brush_holders(brush), 1);
  EXPECT_EQ(get_gadget_colour(2, COLOUR_BACK), blue);

  set_gadget_colour(2, COLOUR_BACK, -1);
  EXPECT_EQ(gadget_record(2)->back_brush, nullptr);
  EXPECT_EQ(brush_holders(brush), 0);
  EXPECT_EQ(get_gadget_colour(2, COLOUR_BACK), -1);
}

TEST_F(GadgetColours, ATextColourAloneKeepsTheBackgroundOfTheKindsSystemColour) {
  ASSERT_NE(create_text_gadget(7, 10, 10, 100, 30, "Port:"), 0);
  ASSERT_NE(create_string_gadget(2, 10, 50, 100, 24, "COM17"), 0);
  set_gadget_colour(7, COLOUR_FRONT, blue);
  set_gadget_colour(2, COLOUR_FRONT, blue);

  ColourRequest text = request(7, WM_CTLCOLORSTATIC);
  EXPECT_EQ(text.answer, reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE)));
  EXPECT_EQ(text.text_colour, static_cast<COLORREF>(blue));
  EXPECT_EQ(text.back_colour, GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(painted(7, 95, 25), GetSysColor(COLOR_BTNFACE));

  ColourRequest string = request(2, WM_CTLCOLOREDIT);
  EXPECT_EQ(string.answer, reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNHIGHLIGHT)));
  EXPECT_EQ(string.text_colour, static_cast<COLORREF>(blue));
  EXPECT_EQ(string.back_colour, GetSysColor(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(painted(2, 90, 10), GetSysColor(COLOR_BTNHIGHLIGHT));
}

TEST_F(GadgetColours, BothColoursAtTheDefaultLeaveEveryRequestToDefaultProcessing) {
  ASSERT_NE(create_text_gadget(7, 10, 10, 100, 30, "Port:"), 0);
  ASSERT_NE(create_string_gadget(2, 10, 50, 100, 24, "COM17"), 0);
  EXPECT_EQ(get_gadget_colour(7, COLOUR_FRONT), -1);
  EXPECT_EQ(get_gadget_colour(2, COLOUR_BACK), -1);

  ColourRequest text = request(7, WM_CTLCOLORSTATIC);
  EXPECT_EQ(text.answer, RESULT_DEFAULT);
  EXPECT_EQ(text.text_colour, RGB(1, 2, 3)) << "the device context was left alone";
  EXPECT_EQ(request(2, WM_CTLCOLOREDIT).answer, RESULT_DEFAULT);
  EXPECT_EQ(request(2, WM_CTLCOLORSTATIC).answer, RESULT_DEFAULT);
  EXPECT_EQ(painted(7, 95, 25), GetSysColor(COLOR_BTNFACE));
}

TEST_F(GadgetColours, ADisabledStringGadgetIgnoresItsColoursAndAReadOnlyOneKeepsThem) {
  ASSERT_NE(create_string_gadget(2, 10, 10, 100, 24, "COM17"), 0);
  ASSERT_NE(create_string_gadget(5, 10, 50, 100, 24, "05", ES_READONLY), 0);
  for (ObjectNumber gadget : {2, 5}) {
    set_gadget_colour(gadget, COLOUR_BACK, red);
    set_gadget_colour(gadget, COLOUR_FRONT, blue);
  }
  EXPECT_EQ(painted(5, 90, 10), static_cast<COLORREF>(red)) << "an enabled read-only field keeps its colours";

  EnableWindow(gadget_control(2), FALSE);
  EXPECT_EQ(request(2, WM_CTLCOLORSTATIC).answer, RESULT_DEFAULT);
  EXPECT_NE(painted(2, 90, 10), static_cast<COLORREF>(red));
  EXPECT_EQ(get_gadget_colour(2, COLOUR_BACK), red) << "the colour is kept for when it is enabled again";
}

TEST_F(GadgetColours, OtherColourTypesAndGadgetsWithoutColoursGiveNothing) {
  ASSERT_NE(create_text_gadget(7, 10, 10, 100, 30, "Port:"), 0);
  ASSERT_NE(create_button_gadget(1, 10, 50, 80, 24, "Connect"), 0);
  set_gadget_colour(7, 3, red);
  EXPECT_EQ(get_gadget_colour(7, 3), -1);
  EXPECT_EQ(get_gadget_colour(7, COLOUR_BACK), -1);
  set_gadget_colour(1, COLOUR_BACK, red);  // a button has no colours
  EXPECT_EQ(get_gadget_colour(1, COLOUR_BACK), 0);
  EXPECT_EQ(get_gadget_colour(99, COLOUR_BACK), 0);
  EXPECT_EQ(get_gadget_attribute(7, ATTR_MAXIMUM), 0);
}

TEST_F(GadgetColours, TheProgressBarsRangeChangesOneEndAtATime) {
  ASSERT_NE(create_progress_bar(3, 10, 10, 200, 20, 10, 100), 0);
  set_gadget_attribute(3, ATTR_MAXIMUM, 200);
  EXPECT_EQ(get_gadget_attribute(3, ATTR_MINIMUM), 10);
  EXPECT_EQ(get_gadget_attribute(3, ATTR_MAXIMUM), 200);
  set_gadget_attribute(3, ATTR_MINIMUM, 20);
  EXPECT_EQ(get_gadget_attribute(3, ATTR_MINIMUM), 20);
  EXPECT_EQ(get_gadget_attribute(3, ATTR_MAXIMUM), 200);
  set_gadget_attribute(3, 7, 50);
  EXPECT_EQ(get_gadget_attribute(3, 7), 0);
  EXPECT_EQ(get_gadget_attribute(3, ATTR_MAXIMUM), 200);
}

// The colour the bar was last told, read back through the answer of the same
// message (its previous colour), which is then told again. A themed bar draws
// the theme's colours whatever it is told, so what it was told is what counts.
COLORREF colour_told(HWND bar, UINT message) {
  auto told = static_cast<COLORREF>(SendMessageA(bar, message, 0, static_cast<LPARAM>(CLR_DEFAULT)));
  SendMessageA(bar, message, 0, static_cast<LPARAM>(told));
  return told;
}

TEST_F(GadgetColours, TheProgressBarIsToldItsColoursAndTheDefaultForMinusOne) {
  ASSERT_NE(create_progress_bar(3, 10, 10, 200, 20, 0, 100), 0);
  HWND bar = gadget_control(3);
  set_gadget_colour(3, COLOUR_FRONT, red);
  set_gadget_colour(3, COLOUR_BACK, green);
  EXPECT_EQ(colour_told(bar, PBM_SETBARCOLOR), static_cast<COLORREF>(red));
  EXPECT_EQ(colour_told(bar, PBM_SETBKCOLOR), static_cast<COLORREF>(green));
  EXPECT_EQ(get_gadget_colour(3, COLOUR_FRONT), red);
  EXPECT_EQ(get_gadget_colour(3, COLOUR_BACK), green);

  set_gadget_colour(3, COLOUR_FRONT, -1);
  EXPECT_EQ(colour_told(bar, PBM_SETBARCOLOR), CLR_DEFAULT);
  EXPECT_EQ(get_gadget_colour(3, COLOUR_FRONT), -1);

  set_gadget_colour(3, 5, blue);  // no such colour type: nothing is told or kept
  EXPECT_EQ(colour_told(bar, PBM_SETBKCOLOR), static_cast<COLORREF>(green));
  EXPECT_EQ(get_gadget_colour(3, 5), -1);
}

// Windows gives a process a limited number of GDI objects: with all of them
// taken, no brush can be made, and the cache must not keep an empty entry.
TEST(BrushCache, ABrushThatCouldNotBeMadeLeavesNoEntryAndIsTriedAgain) {
  std::vector<HBRUSH> taken;
  for (HBRUSH brush; taken.size() < 100000 && (brush = CreateSolidBrush(RGB(1, 2, 3))) != nullptr;)
    taken.push_back(brush);
  ASSERT_LT(taken.size(), 100000u) << "the system limits its objects";
  auto entries = test_support::heap_usage(list_heap_handle());
  EXPECT_EQ(brush_acquire(RGB(9, 8, 7)), nullptr);
  EXPECT_EQ(test_support::heap_usage(list_heap_handle()), entries) << "no entry for a brush that could not be made";
  DeleteObject(taken.back());
  HBRUSH made = brush_acquire(RGB(9, 8, 7));
  for (HBRUSH brush : taken) DeleteObject(brush);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(brush_holders(made), 1);
  brush_release(made);
  EXPECT_EQ(test_support::heap_usage(list_heap_handle()), entries);
}

}  // namespace
