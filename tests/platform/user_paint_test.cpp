// Geometry and painting: frame arithmetic, centring, erasing through the
// class brush, WM_PAINT with its rectangle, and what the screen then shows.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>

#include "recorder.h"
#include "test_support.h"

namespace {

using test_support::pixel_at;
using test_support::pump_messages;

TEST(Geometry, AdjustWindowRectGrowsByTheFrameAndCreationKeepsTheInnerSize) {
  const DWORD style = WS_CAPTION | WS_SYSMENU;
  RECT outer{0, 0, 260, 330};
  ASSERT_TRUE(AdjustWindowRect(&outer, style, FALSE));
  EXPECT_LT(outer.left, 0);
  EXPECT_EQ(outer.left, -(outer.right - 260)) << "left and right borders are equal";
  EXPECT_EQ(outer.bottom - 330, outer.right - 260) << "the bottom border is a side border";
  EXPECT_LE(outer.top, outer.left - GetSystemMetrics(SM_CYCAPTION) + 1) << "the caption is on top";
  RECT sizable{0, 0, 260, 330};
  AdjustWindowRect(&sizable, style | WS_THICKFRAME, FALSE);
  EXPECT_GE(sizable.right - sizable.left, outer.right - outer.left) << "a sizing border is no thinner";

  Recorder recorder;
  int width = outer.right - outer.left, height = outer.bottom - outer.top;
  int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  HWND window = recorder.top_level("Centred", style, x, y, width, height);
  WindowGuard guard{window};
  RECT client, frame;
  GetClientRect(window, &client);
  GetWindowRect(window, &frame);
  EXPECT_EQ(client.right, 260);
  EXPECT_EQ(client.bottom, 330);
  EXPECT_EQ(frame.left, x);
  EXPECT_EQ(frame.top, y);
  EXPECT_LE(std::abs(frame.left + frame.right - GetSystemMetrics(SM_CXSCREEN)), 1) << "centred across the screen";
  EXPECT_LE(std::abs(frame.top + frame.bottom - GetSystemMetrics(SM_CYSCREEN)), 1) << "and down it";
  POINT origin{0, 0};
  MapWindowPoints(window, nullptr, &origin, 1);
  EXPECT_EQ(origin.x - frame.left, -outer.left);
  EXPECT_EQ(origin.y - frame.top, -outer.top);
}

TEST(Geometry, MovingAWindowReportsTheNewClientPlaceAndSize) {
  Recorder recorder;
  HWND parent = recorder.top_level("Parent", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300);
  WindowGuard guard{parent};
  HWND child = recorder.child(parent, 1, 10, 10, 50, 20);
  recorder.clear();
  ASSERT_TRUE(MoveWindow(child, 30, 40, 70, 25, TRUE));
  recorder.expect_messages({WM_MOVE, WM_SIZE}, {
                                                   {nullptr, WM_MOVE, 0, 0, MAKELPARAM(30, 40)},
                                                   {nullptr, WM_SIZE, 0, 0, MAKELPARAM(70, 25)},
                                               });
  RECT rect;
  GetWindowRect(child, &rect);
  POINT corner{rect.left, rect.top};
  ScreenToClient(parent, &corner);
  EXPECT_EQ(corner.x, 30);
  EXPECT_EQ(corner.y, 40);
}

class Painting : public ::testing::Test {
 protected:
  void SetUp() override {
    window = recorder.top_level("Paint", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 150, 120, 300, 200);
    ASSERT_NE(window, nullptr);
    test_support::bring_to_front(window);
    pump_messages();
  }
  void TearDown() override {
    DestroyWindow(window);
    pump_messages();
  }
  Recorder recorder;
  HWND window = nullptr;
};

TEST_F(Painting, TheClassBrushErasesTheClientArea) {
  EXPECT_EQ(pixel_at(window, 5, 5), RGB(255, 255, 255));
  EXPECT_EQ(pixel_at(window, 200, 100), RGB(255, 255, 255));
}

TEST_F(Painting, InvalidatingPaintsOnceWithTheRectangleAndErasesFirst) {
  std::vector<RECT> painted;
  recorder.handler = [&painted](HWND w, UINT message, WPARAM wparam, LPARAM, LRESULT* result) {
    if (message == WM_ERASEBKGND) {
      RECT client;
      GetClientRect(w, &client);
      HBRUSH grey = CreateSolidBrush(RGB(192, 192, 192));
      FillRect(reinterpret_cast<HDC>(wparam), &client, grey);
      DeleteObject(grey);
      *result = 1;
      return true;
    }
    if (message != WM_PAINT) return false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(w, &paint);
    painted.push_back(paint.rcPaint);
    HBRUSH red = CreateSolidBrush(RGB(200, 0, 0));
    RECT square{10, 10, 30, 30};
    FillRect(dc, &square, red);
    DeleteObject(red);
    EndPaint(w, &paint);
    *result = 0;
    return true;
  };
  recorder.clear();
  RECT part{0, 0, 100, 50};
  InvalidateRect(window, &part, TRUE);
  pump_messages();
  ASSERT_EQ(painted.size(), 1u);
  EXPECT_EQ(painted[0].left, 0);
  EXPECT_EQ(painted[0].top, 0);
  EXPECT_GE(painted[0].right, 100);
  EXPECT_GE(painted[0].bottom, 50);
  EXPECT_EQ(recorder.kinds({WM_ERASEBKGND, WM_PAINT}, window), (std::vector<UINT>{WM_PAINT, WM_ERASEBKGND}))
      << "the erase is sent from BeginPaint, inside WM_PAINT";
  EXPECT_EQ(pixel_at(window, 15, 15), RGB(200, 0, 0));
  EXPECT_EQ(pixel_at(window, 50, 40), RGB(192, 192, 192));
  EXPECT_EQ(pixel_at(window, 200, 150), RGB(255, 255, 255)) << "outside the invalid part nothing changed";
}

TEST_F(Painting, RedrawWindowWithInternalPaintAsksForPaintWithoutAnInvalidArea) {
  recorder.clear();
  RedrawWindow(window, nullptr, nullptr, RDW_INTERNALPAINT);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, window, WM_PAINT, WM_PAINT, PM_REMOVE));
  RECT update;
  EXPECT_FALSE(GetUpdateRect(window, &update, FALSE));
  DispatchMessageA(&msg);
  EXPECT_FALSE(PeekMessageA(&msg, window, WM_PAINT, WM_PAINT, PM_REMOVE));
}

TEST_F(Painting, UpdateWindowPaintsAtOnce) {
  pump_messages();
  InvalidateRect(window, nullptr, FALSE);
  recorder.clear();
  UpdateWindow(window);
  EXPECT_EQ(recorder.kinds({WM_PAINT}, window).size(), 1u);
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, window, WM_PAINT, WM_PAINT, PM_REMOVE));
}

TEST_F(Painting, AFillThroughAChildsDcReachesExactlyItsClientArea) {
  HWND child =
      CreateWindowExA(0, "Static", "", WS_CHILD | WS_VISIBLE, 40, 30, 50, 40, window, nullptr, nullptr, nullptr);
  ASSERT_NE(child, nullptr);
  pump_messages();
  HDC dc = GetDC(child);
  HBRUSH blue = CreateSolidBrush(RGB(10, 20, 230));
  RECT beyond{-20, -20, 200, 200};
  FillRect(dc, &beyond, blue);
  DeleteObject(blue);
  ReleaseDC(child, dc);
  for (POINT inside : {POINT{40, 30}, POINT{89, 30}, POINT{40, 69}, POINT{89, 69}}) {
    EXPECT_EQ(pixel_at(window, inside.x, inside.y), RGB(10, 20, 230)) << inside.x << "," << inside.y;
  }
  for (POINT outside : {POINT{39, 50}, POINT{90, 50}, POINT{60, 29}, POINT{60, 70}}) {
    EXPECT_EQ(pixel_at(window, outside.x, outside.y), RGB(255, 255, 255)) << outside.x << "," << outside.y;
  }
  DestroyWindow(child);
}

TEST_F(Painting, TextIsDrawnInTheTextColourOnTheBackground) {
  HDC dc = GetDC(window);
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkColor(dc, RGB(255, 255, 0));
  SetBkMode(dc, OPAQUE);
  SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  SIZE size;
  ASSERT_TRUE(GetTextExtentPoint32A(dc, "WWWW", 4, &size));
  EXPECT_GT(size.cx, 20);
  EXPECT_GT(size.cy, 8);
  TextOutA(dc, 20, 20, "WWWW", 4);
  ReleaseDC(window, dc);
  int dark = 0, yellow = 0;
  for (int y = 20; y < 20 + size.cy; ++y) {
    for (int x = 20; x < 20 + size.cx; ++x) {
      COLORREF c = pixel_at(window, x, y);
      if (c == RGB(255, 255, 0)) ++yellow;
      if (GetRValue(c) < 100 && GetGValue(c) < 100) ++dark;
    }
  }
  EXPECT_GT(dark, 20) << "the letters are there";
  EXPECT_GT(yellow, 20) << "so is their background";
  EXPECT_EQ(pixel_at(window, 20 + size.cx + 5, 25), RGB(255, 255, 255));
}

TEST_F(Painting, AClippedOpaqueTextFillsItsBackgroundOnlyInsideTheClip) {
  HDC dc = GetDC(window);
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkColor(dc, RGB(0, 200, 0));
  SetBkMode(dc, OPAQUE);
  SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  // The opaque rectangle and the text both reach past the clip on every side.
  RECT clip{30, 30, 60, 45};
  ASSERT_TRUE(ExtTextOutA(dc, 20, 25, ETO_OPAQUE | ETO_CLIPPED, &clip, "MMMMMMMM", 8, nullptr));
  ReleaseDC(window, dc);
  int green = 0;
  for (int y = clip.top; y < clip.bottom; ++y) {
    for (int x = clip.left; x < clip.right; ++x) green += pixel_at(window, x, y) == RGB(0, 200, 0);
  }
  EXPECT_GT(green, 0) << "the background is there";
  for (POINT outside : {POINT{29, 35}, POINT{60, 35}, POINT{40, 29}, POINT{40, 45}, POINT{22, 27}}) {
    EXPECT_EQ(pixel_at(window, outside.x, outside.y), RGB(255, 255, 255)) << outside.x << "," << outside.y;
  }
}

}  // namespace
