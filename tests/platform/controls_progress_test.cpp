// The progress bar: range and position messages and their answers, the
// filled part, and the colours.
#include "controls_fixture.h"

namespace {

using test_support::pixel_at;
using test_support::pump_messages;

class Progress : public Controls {
 protected:
  void SetUp() override {
    Controls::SetUp();
    bar = CreateWindowExA(0, PROGRESS_CLASSA, nullptr, WS_CHILD | WS_VISIBLE, 20, 70, 220, 20, parent, nullptr,
                          GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(bar, nullptr);
  }
  // How many pixels of the middle row show the colour.
  int pixels_of(COLORREF colour) {
    pump_messages();
    RECT client;
    GetClientRect(bar, &client);
    int count = 0;
    for (int x = 0; x < client.right; ++x) count += pixel_at(bar, x, client.bottom / 2) == colour;
    return count;
  }
  HWND bar = nullptr;
};

TEST_F(Progress, RangeAndPositionAnswersFollowWin32) {
  EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, TRUE, 0), 0);
  EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, FALSE, 0), 100);
  EXPECT_EQ(SendMessageA(bar, PBM_SETRANGE32, 10, 200), MAKELONG(0, 100)) << "the previous range";
  PBRANGE range{};
  EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range)), 10);
  EXPECT_EQ(range.iLow, 10);
  EXPECT_EQ(range.iHigh, 200);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 10) << "the position moved into the new range";
  EXPECT_EQ(SendMessageA(bar, PBM_SETPOS, 50, 0), 10) << "PBM_SETPOS returns the previous position";
  EXPECT_EQ(SendMessageA(bar, PBM_SETPOS, 70, 0), 50);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 70);
  SendMessageA(bar, PBM_SETPOS, 500, 0);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 200) << "kept within the range";
  SendMessageA(bar, PBM_SETPOS, 0, 0);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 10);
  EXPECT_EQ(SendMessageA(bar, PBM_DELTAPOS, 5, 0), 10);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 15);
}

TEST_F(Progress, TheFilledPartGrowsWithThePosition) {
  const COLORREF red = RGB(255, 0, 0);
  EXPECT_EQ(SendMessageA(bar, PBM_SETBARCOLOR, 0, red), static_cast<LRESULT>(CLR_DEFAULT));
  EXPECT_EQ(pixels_of(red), 0);
  SendMessageA(bar, PBM_SETPOS, 25, 0);
  int quarter = pixels_of(red);
  SendMessageA(bar, PBM_SETPOS, 75, 0);
  int three_quarters = pixels_of(red);
  SendMessageA(bar, PBM_SETPOS, 100, 0);
  int full = pixels_of(red);
  EXPECT_GT(quarter, 0);
  EXPECT_GT(three_quarters, 2 * quarter);
  EXPECT_GT(full, three_quarters);
  EXPECT_GT(full, 150) << "a full bar covers most of its width";
}

TEST_F(Progress, DefaultColoursComeBackWithClrDefault) {
  const COLORREF red = RGB(255, 0, 0), blue = RGB(0, 0, 255);
  SendMessageA(bar, PBM_SETPOS, 50, 0);
  SendMessageA(bar, PBM_SETBARCOLOR, 0, red);
  EXPECT_EQ(SendMessageA(bar, PBM_SETBKCOLOR, 0, blue), static_cast<LRESULT>(CLR_DEFAULT));
  EXPECT_GT(pixels_of(red), 0);
  EXPECT_GT(pixels_of(blue), 0);
  EXPECT_EQ(SendMessageA(bar, PBM_SETBARCOLOR, 0, CLR_DEFAULT), static_cast<LRESULT>(red));
  EXPECT_EQ(SendMessageA(bar, PBM_SETBKCOLOR, 0, CLR_DEFAULT), static_cast<LRESULT>(blue));
  EXPECT_EQ(pixels_of(red), 0);
  EXPECT_EQ(pixels_of(blue), 0);
  EXPECT_GT(pixels_of(GetSysColor(COLOR_HIGHLIGHT)), 0) << "the default bar is the highlight colour";
}

TEST_F(Progress, TheBarHasAThinSunkenEdge) {
  EXPECT_TRUE(GetWindowLongA(bar, GWL_EXSTYLE) & WS_EX_STATICEDGE);
  RECT client;
  GetClientRect(bar, &client);
  EXPECT_EQ(client.right, 218);
  EXPECT_EQ(client.bottom, 18);
}

}  // namespace
