// The application's main window, built with the toolkit: where everything
// is, and what the user sees of the large result.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <string>

#include "events.h"
#include "fonts.h"
#include "gadgets.h"
#include "main_window.h"
#include "toolkit_windows.h"
#include "ui_support.h"

namespace {

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(build_main_window());
    window = window_handle(0);  // WINDOW_MAIN: callers of the toolkit know the window by number
    ASSERT_NE(window, nullptr);
    bring_to_front(window);
    drain_events();
  }
  void TearDown() override {
    windows_close_all();
    free_all_fonts();
    drain_events(20);
  }

  // The box around the dark pixels of the part of a control's client area
  // that its window shows.
  static RECT ink_of(HWND control) {
    RECT client, shown, ink{INT32_MAX, INT32_MAX, -1, -1};  // LONG is 32 bits on both systems
    GetClientRect(control, &client);
    GetClientRect(GetParent(control), &shown);
    MapWindowPoints(GetParent(control), control, reinterpret_cast<POINT*>(&shown), 2);
    IntersectRect(&client, &client, &shown);
    HDC context = GetDC(control);
    for (int y = 0; y < client.bottom; ++y) {
      for (int x = 0; x < client.right; ++x) {
        COLORREF colour = GetPixel(context, x, y);
        if (GetRValue(colour) + GetGValue(colour) + GetBValue(colour) > 3 * 80) continue;
        ink.left = std::min<LONG>(ink.left, x);
        ink.top = std::min<LONG>(ink.top, y);
        ink.right = std::max<LONG>(ink.right, x + 1);
        ink.bottom = std::max<LONG>(ink.bottom, y + 1);
      }
    }
    ReleaseDC(control, context);
    return ink;
  }

  HWND window = nullptr;
};

TEST_F(MainWindowTest, TheGadgetsAreWhereTheLayoutPutsThem) {
  struct Place {
    ObjectNumber gadget;
    int x, y, width, height;
    const char* text;
  };
  // By number, as the toolkit's callers find them.
  const Place places[] = {
      {7, 20, 14, 30, 20, "Port:"},    // GADGET_PORT_LABEL
      {2, 50, 10, 50, 20, "COM17"},    // GADGET_PORT
      {8, 120, 14, 40, 20, "Group:"},  // GADGET_GROUP_LABEL
      {5, 160, 10, 30, 20, "05"},      // GADGET_GROUP
      {1, 20, 40, 80, 20, "Connect"},  // GADGET_CONNECT
      {3, 20, 70, 220, 20, ""},        // GADGET_PROGRESS
      {4, 20, 100, 220, 140, ""},      // GADGET_LOG
      {6, 20, 260, 220, 280, ""},      // GADGET_RESULT
  };
  for (const Place& place : places) {
    SCOPED_TRACE(place.gadget);
    RECT rect;
    GetWindowRect(gadget_control(place.gadget), &rect);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_EQ(rect.left, place.x);
    EXPECT_EQ(rect.top, place.y);
    EXPECT_EQ(rect.right - rect.left, place.width);
    EXPECT_EQ(rect.bottom - rect.top, place.height);
    EXPECT_EQ(get_gadget_text(place.gadget), place.text);
  }
  // The fields show their text from the left, and the bar fills in segments.
  for (ObjectNumber field : {GADGET_PORT, GADGET_GROUP}) {
    EXPECT_EQ(GetWindowLongA(gadget_control(field), GWL_STYLE) & (ES_CENTER | ES_RIGHT), 0) << field;
  }
  EXPECT_EQ(GetWindowLongA(gadget_control(GADGET_PROGRESS), GWL_STYLE) & (PBS_SMOOTH | PBS_VERTICAL), 0);
  PBRANGE range{};
  SendMessageA(gadget_control(GADGET_PROGRESS), PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(range.iLow, 0);
  EXPECT_EQ(range.iHigh, 100) << "the bar is full at 100";
  // The result's font is 30-point Arial.
  LOGFONTA result_font{};
  ASSERT_NE(GetObjectA(font_handle(0), sizeof result_font, &result_font), 0);  // FONT_RESULT
  EXPECT_STREQ(result_font.lfFaceName, "Arial");
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(result_font.lfHeight, -MulDiv(30, GetDeviceCaps(screen, LOGPIXELSY), 72));
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(gadget_control(GADGET_RESULT), WM_GETFONT, 0, 0)),
            font_handle(FONT_RESULT));
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(gadget_control(GADGET_LOG), WM_GETFONT, 0, 0)),
            GetStockObject(DEFAULT_GUI_FONT));
}

TEST_F(MainWindowTest, TheResultIsDrawnLargeAndCentredAndTheLogHasASunkenEdge) {
  set_gadget_text(GADGET_RESULT, "50 km/h");
  set_gadget_text(GADGET_LOG, "07 00 32");
  UpdateWindow(window);
  pump_until([] { return false; }, 5);

  RECT result = ink_of(gadget_control(GADGET_RESULT));
  ASSERT_GE(result.right, 0) << "nothing drawn in the result field";
  EXPECT_GE(result.bottom - result.top, 25) << "30-point digits are about 29 pixels high";
  EXPECT_LE(result.bottom - result.top, 45);
  EXPECT_NEAR((result.left + result.right) / 2, 110, 10) << "centred in the 220-pixel field";

  RECT log = ink_of(gadget_control(GADGET_LOG));
  ASSERT_GE(log.right, 0);
  EXPECT_LE(log.bottom - log.top, 14) << "the log keeps the small default font";

  HDC frame = GetWindowDC(gadget_control(GADGET_LOG));
  EXPECT_EQ(GetPixel(frame, 0, 0), GetSysColor(COLOR_BTNSHADOW)) << "the sunken edge's shadow";
  ReleaseDC(gadget_control(GADGET_LOG), frame);
}

TEST_F(MainWindowTest, PressingConnectIsTheGadgetEventTheApplicationWaitsFor) {
  click_client(gadget_control(GADGET_CONNECT), 40, 10);
  std::vector<Event> events = retrieve_until([](const Event& event) { return event.code == EV_GADGET; });
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().gadget, GADGET_CONNECT);
  EXPECT_EQ(events.back().type, 0);
}

}  // namespace
