// Fonts as the toolkit loads them (a face, a size in points at the screen's
// resolution, style flags), and the start-up calls of the common controls
// and COM, on both systems.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <ole2.h>

#include <string>
#include <vector>

#include "controls_fixture.h"

namespace {

struct ScreenDC {
  HDC dc = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  ~ScreenDC() { DeleteDC(dc); }
};

TEXTMETRICA metrics_of(HDC dc, HFONT font) {
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICA metrics{};
  EXPECT_TRUE(GetTextMetricsA(dc, &metrics));
  SelectObject(dc, old);
  return metrics;
}

TEST(Fonts, ThirtyPointsOnTheScreenIsAFortyPixelCharacterHeight) {
  ScreenDC screen;
  ASSERT_NE(screen.dc, nullptr);
  EXPECT_EQ(GetDeviceCaps(screen.dc, LOGPIXELSY), 96);
  int height = -MulDiv(30, GetDeviceCaps(screen.dc, LOGPIXELSY), 72);
  EXPECT_EQ(height, -40);
  HFONT font = CreateFontA(height, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, DEFAULT_QUALITY, 0, "Arial");
  ASSERT_NE(font, nullptr);
  TEXTMETRICA metrics = metrics_of(screen.dc, font);
  // Wine's rasteriser rounds the em height down by a pixel at some sizes.
  EXPECT_NEAR(metrics.tmHeight - metrics.tmInternalLeading, 40, 1) << "a negative height is the character height";
  EXPECT_EQ(metrics.tmWeight, FW_NORMAL);
  EXPECT_FALSE(metrics.tmItalic);
  LOGFONTA logical{};
  EXPECT_EQ(GetObjectA(font, sizeof logical, &logical), static_cast<int>(sizeof logical));
  EXPECT_EQ(logical.lfHeight, -40);
  EXPECT_STREQ(logical.lfFaceName, "Arial");
  EXPECT_TRUE(DeleteObject(font));
}

TEST(Fonts, APositiveHeightIsTheCellHeight) {
  ScreenDC screen;
  HFONT font = CreateFontA(40, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, DEFAULT_QUALITY, 0, "Arial");
  EXPECT_NEAR(metrics_of(screen.dc, font).tmHeight, 40, 1);
  DeleteObject(font);
}

TEST(Fonts, StyleFlagsReachTheFontAndBoldTextIsWider) {
  ScreenDC screen;
  HFONT plain = CreateFontA(-20, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, DEFAULT_QUALITY, 0, "Arial");
  HFONT styled = CreateFontA(-20, 0, 0, 0, FW_BOLD, TRUE, TRUE, TRUE, DEFAULT_CHARSET, 0, 0, PROOF_QUALITY, 0, "Arial");
  TEXTMETRICA metrics = metrics_of(screen.dc, styled);
  EXPECT_EQ(metrics.tmWeight, FW_BOLD);
  EXPECT_TRUE(metrics.tmItalic);
  EXPECT_TRUE(metrics.tmUnderlined);
  EXPECT_TRUE(metrics.tmStruckOut);
  SIZE plain_size{}, bold_size{};
  SelectObject(screen.dc, plain);
  GetTextExtentPoint32A(screen.dc, "50 km/h", 7, &plain_size);
  SelectObject(screen.dc, styled);
  GetTextExtentPoint32A(screen.dc, "50 km/h", 7, &bold_size);
  SelectObject(screen.dc, GetStockObject(SYSTEM_FONT));
  EXPECT_GT(plain_size.cx, 0);
  EXPECT_GT(bold_size.cx, plain_size.cx);
  DeleteObject(plain);
  DeleteObject(styled);
}

TEST(Fonts, TheGuiFontIsAStockObjectThatDeletingLeavesAlone) {
  HGDIOBJ font = GetStockObject(DEFAULT_GUI_FONT);
  ASSERT_NE(font, nullptr);
  EXPECT_TRUE(DeleteObject(font));
  ScreenDC screen;
  TEXTMETRICA metrics = metrics_of(screen.dc, static_cast<HFONT>(font));
  EXPECT_GT(metrics.tmHeight, 10);
  EXPECT_LT(metrics.tmHeight, 20);
}

TEST(Fonts, WindowsTextIsMeasuredAsWindows1252) {
  ScreenDC screen;
  SelectObject(screen.dc, GetStockObject(DEFAULT_GUI_FONT));
  SIZE euro{}, e{};
  GetTextExtentPoint32A(screen.dc, "\x80", 1, &euro);  // the euro sign
  GetTextExtentPoint32A(screen.dc, "\xE9", 1, &e);     // e with an acute accent
  EXPECT_GT(euro.cx, 0);
  EXPECT_GT(e.cx, 0);
}

// GDI places characters one advance after the other, without kerning, so a
// text is exactly as wide as its characters side by side. Every byte of
// Windows-1252 from the space on, in the sizes and styles the program uses.
TEST(Fonts, ATextIsAsWideAsItsCharactersSideBySide) {
  ScreenDC screen;
  std::string text;
  for (int byte = 0x20; byte < 0x100; ++byte) text += static_cast<char>(byte);
  text += "0B 20 30 0C 40 50\r>Velmorant 01 0A 64 07 64 0A 50 km/h";
  for (int height : {-11, -13, -40}) {
    for (int weight : {FW_NORMAL, FW_BOLD}) {
      HFONT font = CreateFontA(height, 0, 0, 0, weight, weight == FW_BOLD, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial");
      HGDIOBJ old = SelectObject(screen.dc, font);
      LONG side_by_side = 0;
      for (char c : text) {
        SIZE one{};
        ASSERT_TRUE(GetTextExtentPoint32A(screen.dc, &c, 1, &one));
        side_by_side += one.cx;
      }
      SIZE whole{};
      ASSERT_TRUE(GetTextExtentPoint32A(screen.dc, text.data(), static_cast<int>(text.size()), &whole));
      EXPECT_EQ(whole.cx, side_by_side) << "height " << height << ", weight " << weight;
      SelectObject(screen.dc, old);
      DeleteObject(font);
    }
  }
}

// GDI's metrics are the face's Windows metrics (the ascent and descent of its
// OS/2 table, the external leading from its line gap, the average width
// from the table too), each scaled to whole pixels on its own; a positive
// height asks for the largest whole em whose cell fits.
TEST(Fonts, TheMetricsAreTheFacesWindowsMetrics) {
  const struct {
    int height, weight;
    LONG expected[7];  // height, ascent, descent, internal and external leading, average and widest width
    const char* face = "Arial";
  } cases[] = {
      {-40, FW_NORMAL, {44, 36, 8, 5, 1, 24, 50}},
      {-37, FW_NORMAL, {41, 33, 8, 4, 1, 22, 46}},
      {-11, FW_NORMAL, {12, 10, 2, 1, 0, 6, 14}},
      {-50, FW_NORMAL, {56, 45, 11, 6, 2, 29, 63}},
      {20, FW_NORMAL, {20, 16, 4, 2, 1, 11, 23}},
      {16, FW_BOLD, {16, 13, 3, 2, 0, 9, 17}},
      {41, FW_BOLD, {41, 33, 8, 4, 1, 23, 46}},
      {2, FW_BOLD, {2, 2, 0, 0, 0, 1, 2}},
      // Its hhea ascent and descent differ from its Windows ones.
      {-40, FW_NORMAL, {45, 37, 8, 5, 1, 14, 47}, "Liberation Sans Narrow"},
  };
  ScreenDC screen;
  for (const auto& c : cases) {
    HFONT font = CreateFontA(c.height, 0, 0, 0, c.weight, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, c.face);
    TEXTMETRICA m = metrics_of(screen.dc, font);
    const LONG got[7] = {m.tmHeight,          m.tmAscent,       m.tmDescent,     m.tmInternalLeading,
                         m.tmExternalLeading, m.tmAveCharWidth, m.tmMaxCharWidth};
    EXPECT_EQ(std::vector<LONG>(got, got + 7), std::vector<LONG>(c.expected, c.expected + 7))
        << c.face << ", height " << c.height << ", weight " << c.weight;
    DeleteObject(font);
  }
}

TEST(Fonts, TheStockFontsAreTheSystemsOwn) {
  const struct {
    int stock;
    LONG height, weight;
    const char* face;
    LONG cell;
  } cases[] = {
      {SYSTEM_FONT, 16, FW_BOLD, "System", 16},
      {DEFAULT_GUI_FONT, -11, FW_NORMAL, "MS Shell Dlg", 12},
      {ANSI_VAR_FONT, 12, FW_NORMAL, "MS Sans Serif", 12},
  };
  ScreenDC screen;
  for (const auto& c : cases) {
    HFONT font = static_cast<HFONT>(GetStockObject(c.stock));
    LOGFONTA logical{};
    ASSERT_EQ(GetObjectA(font, sizeof logical, &logical), static_cast<int>(sizeof logical));
    EXPECT_EQ(logical.lfHeight, c.height) << c.face;
    EXPECT_EQ(logical.lfWeight, c.weight) << c.face;
    EXPECT_STREQ(logical.lfFaceName, c.face);
    TEXTMETRICA metrics = metrics_of(screen.dc, font);
    EXPECT_EQ(metrics.tmHeight, c.cell) << c.face;
    EXPECT_EQ(metrics.tmWeight, c.weight) << c.face;
  }
}

// DrawText's lines are the font's cell height apart; a single line placed in
// the middle or at the bottom returns how far below the rectangle's top the
// text ends; tabs expand to every eighth average character width.
TEST(Fonts, DrawTextPlacesLinesByTheCellHeightAndExpandsTabs) {
  ScreenDC screen;
  HFONT font = CreateFontA(-40, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial");
  TEXTMETRICA metrics = metrics_of(screen.dc, font);
  HGDIOBJ old = SelectObject(screen.dc, font);
  const LONG cell = metrics.tmHeight;
  const struct {
    const char* text;
    UINT format;
    int returned;
  } cases[] = {
      {"a\nb", 0, 2 * cell},
      {"ab", DT_SINGLELINE, cell},
      {"ab", DT_SINGLELINE | DT_VCENTER, (180 - cell) / 2 + cell},
      {"ab", DT_SINGLELINE | DT_BOTTOM, 180},
      {"ab", DT_VCENTER, cell},  // only a single line is placed
  };
  for (const auto& c : cases) {
    RECT r{10, 20, 400, 200};
    EXPECT_EQ(DrawTextA(screen.dc, c.text, -1, &r, c.format), c.returned) << c.format;
  }
  SIZE b{}, words{};
  GetTextExtentPoint32A(screen.dc, "b", 1, &b);
  const struct {
    const char* text;
    int stops;  // of eight average widths each, before the last "b"
  } tabs[] = {{"b", 0}, {"a\tb", 1}, {"\tb", 1}, {"abc\tb", 1}, {"mmmmmm\tb", 2}, {"a\tbcdefghi\tb", 2}};
  for (const auto& t : tabs) {
    RECT r{10, 20, 400, 200};
    DrawTextA(screen.dc, t.text, -1, &r, DT_EXPANDTABS | DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(r.right, 10 + t.stops * 8 * metrics.tmAveCharWidth + b.cx) << t.text;
  }
  GetTextExtentPoint32A(screen.dc, "ab cd", 5, &words);
  RECT fits{10, 20, 10 + words.cx, 200};
  EXPECT_EQ(DrawTextA(screen.dc, "ab cd", -1, &fits, DT_CALCRECT | DT_WORDBREAK), cell) << "a line that just fits";
  EXPECT_EQ(fits.right, 10 + words.cx) << "measured without tabs";
  SelectObject(screen.dc, old);
  DeleteObject(font);
}

// What follows a tab is drawn at the next stop, and nothing before it.
TEST(Fonts, DrawTextDrawsWhatFollowsATabAtTheStop) {
  Recorder recorder;
  HWND window = recorder.top_level("Tabs", WS_POPUP | WS_VISIBLE, 10, 10, 200, 40);
  test_support::bring_to_front(window);
  UpdateWindow(window);
  HDC dc = GetDC(window);
  SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICA metrics{};
  GetTextMetricsA(dc, &metrics);
  SIZE w{};
  GetTextExtentPoint32A(dc, "W", 1, &w);
  RECT r{0, 0, 200, 40};
  DrawTextA(dc, "\tW", -1, &r, DT_EXPANDTABS | DT_SINGLELINE);
  ReleaseDC(window, dc);
  const int stop = 8 * metrics.tmAveCharWidth;
  int before = 0, at = 0;
  for (int y = 0; y < metrics.tmHeight; ++y) {
    for (int x = 0; x < stop + w.cx; ++x) (x < stop ? before : at) += is_ink(test_support::pixel_at(window, x, y));
  }
  EXPECT_EQ(before, 0);
  EXPECT_GT(at, 5);
  DestroyWindow(window);
}

// Whatever makes a DC, it starts with the system font; the GUI font is only
// what controls and programs select themselves.
TEST(Fonts, ANewDCStartsWithTheSystemFont) {
  Recorder recorder;
  HWND window = recorder.top_level("New DCs", WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 10, 10, 200, 100);
  const HGDIOBJ system = GetStockObject(SYSTEM_FONT), other = GetStockObject(ANSI_VAR_FONT);
  HGDIOBJ in_paint = nullptr;
  recorder.handler = [&](HWND to, UINT message, WPARAM, LPARAM, LRESULT* result) {
    if (message != WM_PAINT) return false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(to, &paint);
    in_paint = SelectObject(dc, other);
    SelectObject(dc, in_paint);
    EndPaint(to, &paint);
    *result = 0;
    return true;
  };
  InvalidateRect(window, nullptr, TRUE);
  UpdateWindow(window);
  EXPECT_EQ(in_paint, system) << "BeginPaint";
  const struct {
    const char* maker;
    HWND window;  // for ReleaseDC
    HDC dc;
    bool created;  // by CreateDCA, so DeleteDC ends it
  } cases[] = {
      {"GetDC(window)", window, GetDC(window), false},
      {"GetDC(nullptr)", nullptr, GetDC(nullptr), false},
      {"CreateDCA", nullptr, CreateDCA("DISPLAY", nullptr, nullptr, nullptr), true},
  };
  for (const auto& c : cases) {
    TEXTMETRICA metrics{};
    EXPECT_TRUE(GetTextMetricsA(c.dc, &metrics));
    EXPECT_EQ(metrics.tmHeight, 16) << c.maker;
    EXPECT_EQ(metrics.tmWeight, FW_BOLD) << c.maker;
    EXPECT_EQ(SelectObject(c.dc, other), system) << c.maker;
    SelectObject(c.dc, system);
    if (c.created)
      DeleteDC(c.dc);
    else
      ReleaseDC(c.window, c.dc);
  }
  DestroyWindow(window);
}

#ifndef _WIN32
TEST(Fonts, ArialIsDrawnInAMetricCompatibleFace) {
  ScreenDC screen;
  HFONT arial = CreateFontA(-40, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial");
  HFONT liberation = CreateFontA(-40, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Liberation Sans");
  SIZE a{}, l{};
  SelectObject(screen.dc, arial);
  GetTextExtentPoint32A(screen.dc, "Velmorant 50 km/h", 17, &a);
  SelectObject(screen.dc, liberation);
  GetTextExtentPoint32A(screen.dc, "Velmorant 50 km/h", 17, &l);
  SelectObject(screen.dc, GetStockObject(SYSTEM_FONT));
  EXPECT_EQ(a.cx, l.cx);
  DeleteObject(arial);
  DeleteObject(liberation);
}
#endif

TEST(StartUp, CommonControlsAndComAnswerAsWindowsDoes) {
  InitCommonControls();
  INITCOMMONCONTROLSEX init{sizeof(INITCOMMONCONTROLSEX), 0x0B08};
  EXPECT_TRUE(InitCommonControlsEx(&init));
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE) << "a second start on the same thread only counts";
  Recorder recorder;
  HWND window = recorder.top_level("Drops", WS_OVERLAPPED | WS_CAPTION, 10, 10, 200, 100);
  EXPECT_EQ(RevokeDragDrop(window), DRAGDROP_E_NOTREGISTERED) << "nothing was registered for drops";
  DestroyWindow(window);
  EXPECT_EQ(RevokeDragDrop(window), DRAGDROP_E_INVALIDHWND);
  CoUninitialize();
  CoUninitialize();
}

}  // namespace
