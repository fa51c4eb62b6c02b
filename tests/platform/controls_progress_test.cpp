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
  // The middle row of the bar as the screen shows it.
  std::vector<COLORREF> middle_row() {
    pump_messages();
    RECT client;
    GetClientRect(bar, &client);
    std::vector<COLORREF> row;
    for (int x = 0; x < client.right; ++x) row.push_back(pixel_at(bar, x, client.bottom / 2));
    return row;
  }
  // How many pixels of the middle row show the colour.
  int pixels_of(COLORREF colour) {
    int count = 0;
    for (COLORREF c : middle_row()) count += c == colour;
    return count;
  }
  // How many pixels of the middle row differ from the empty bar's.
  int filled_pixels(const std::vector<COLORREF>& empty) {
    std::vector<COLORREF> row = middle_row();
    int count = 0;
    for (size_t x = 0; x < row.size() && x < empty.size(); ++x) count += row[x] != empty[x];
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

// Stepping past either end wraps by the range's length, also for steps longer
// than the range and for a range given high to low, where the position is
// pushed to the high end first (as Windows does).
TEST_F(Progress, StepItWrapsPastEitherEnd) {
  struct Case {
    int low, high, position, step;
    int expected[3];  // the positions after three steps
  };
  const Case cases[] = {
      {0, 100, 95, 10, {5, 15, 25}},     {0, 100, 0, 150, {50, 0, 50}},     {0, 100, 0, 250, {50, 0, 50}},
      {0, 100, 50, -30, {20, 90, 60}},   {0, 100, 10, -130, {80, 50, 20}},  {-50, 50, 40, 30, {-30, 0, 30}},
      {100, 0, 50, 10, {-90, -80, -70}}, {100, 0, 0, -10, {-10, -20, -30}}, {10, -10, 0, 5, {-25, -20, -15}},
      {5, 5, 5, -3, {5, 5, 5}},          {0, 100, 100, 0, {100, 100, 100}},
  };
  for (const Case& c : cases) {
    SendMessageA(bar, PBM_SETRANGE32, c.low, c.high);
    SendMessageA(bar, PBM_SETPOS, c.position, 0);
    SendMessageA(bar, PBM_SETSTEP, c.step, 0);
    int previous = static_cast<int>(SendMessageA(bar, PBM_GETPOS, 0, 0));
    for (int expected : c.expected) {
      EXPECT_EQ(SendMessageA(bar, PBM_STEPIT, 0, 0), previous) << "PBM_STEPIT returns the previous position";
      previous = static_cast<int>(SendMessageA(bar, PBM_GETPOS, 0, 0));
      EXPECT_EQ(previous, expected) << c.low << ".." << c.high << " from " << c.position << " by " << c.step;
    }
  }
}

TEST_F(Progress, TheFilledPartGrowsWithThePosition) {
  std::vector<COLORREF> empty = middle_row();
  SendMessageA(bar, PBM_SETPOS, 25, 0);
  int quarter = filled_pixels(empty);
  SendMessageA(bar, PBM_SETPOS, 75, 0);
  int three_quarters = filled_pixels(empty);
  SendMessageA(bar, PBM_SETPOS, 100, 0);
  int full = filled_pixels(empty);
  EXPECT_GT(quarter, 0);
  EXPECT_GT(three_quarters, 2 * quarter);
  EXPECT_GT(full, three_quarters);
  EXPECT_GT(full, 150) << "a full bar covers most of its width";
}

TEST_F(Progress, ColourMessagesAnswerThePreviousColour) {
  const COLORREF red = RGB(255, 0, 0), blue = RGB(0, 0, 255);
  EXPECT_EQ(SendMessageA(bar, PBM_SETBARCOLOR, 0, red), static_cast<LRESULT>(CLR_DEFAULT));
  EXPECT_EQ(SendMessageA(bar, PBM_SETBKCOLOR, 0, blue), static_cast<LRESULT>(CLR_DEFAULT));
  EXPECT_EQ(SendMessageA(bar, PBM_SETBARCOLOR, 0, CLR_DEFAULT), static_cast<LRESULT>(red));
  EXPECT_EQ(SendMessageA(bar, PBM_SETBKCOLOR, 0, CLR_DEFAULT), static_cast<LRESULT>(blue));
}

#ifndef _WIN32
// The classic look, which ours is: a themed Windows (and Wine with its theme)
// draws the bar in the theme's colours and without the edge.
TEST_F(Progress, TheColoursPaintTheBarAndClrDefaultRestoresTheSystemOnes) {
  const COLORREF red = RGB(255, 0, 0), blue = RGB(0, 0, 255);
  SendMessageA(bar, PBM_SETPOS, 50, 0);
  SendMessageA(bar, PBM_SETBARCOLOR, 0, red);
  SendMessageA(bar, PBM_SETBKCOLOR, 0, blue);
  EXPECT_GT(pixels_of(red), 50);
  EXPECT_GT(pixels_of(blue), 50);
  SendMessageA(bar, PBM_SETBARCOLOR, 0, CLR_DEFAULT);
  SendMessageA(bar, PBM_SETBKCOLOR, 0, CLR_DEFAULT);
  EXPECT_EQ(pixels_of(red), 0);
  EXPECT_EQ(pixels_of(blue), 0);
  EXPECT_GT(pixels_of(GetSysColor(COLOR_HIGHLIGHT)), 50) << "the default bar is the highlight colour";
}

TEST_F(Progress, TheBarHasAThinSunkenEdge) {
  EXPECT_TRUE(GetWindowLongA(bar, GWL_EXSTYLE) & WS_EX_STATICEDGE);
  RECT client;
  GetClientRect(bar, &client);
  EXPECT_EQ(client.right, 218);
  EXPECT_EQ(client.bottom, 18);
}
#endif

}  // namespace
