// The "Static" control: alignment, wrapping, the edge, colours asked of the
// parent, and clicks passed on to the window beneath.
#include "controls_fixture.h"

namespace {

using test_support::pixel_at;
using test_support::pump_messages;

// The first and last columns with ink in a band of rows, or {-1, -1}.
std::pair<int, int> ink_span(HWND window, int top, int bottom, int width) {
  int first = -1, last = -1;
  for (int x = 0; x < width; ++x) {
    for (int y = top; y < bottom; ++y) {
      if (is_ink(pixel_at(window, x, y))) {
        if (first < 0) first = x;
        last = x;
        break;
      }
    }
  }
  return {first, last};
}

TEST_F(Controls, CentredTextHasEqualMarginsOnBothSides) {
  HWND label = control("Static", "50 km/h", SS_CENTER, 20, 20, 240, 30);
  pump_messages();
  auto [first, last] = ink_span(label, 0, 20, 240);
  ASSERT_GE(first, 0) << "the text is drawn";
  int left_margin = first, right_margin = 239 - last;
  EXPECT_NEAR(left_margin, right_margin, 6) << "ink and advance widths differ by a few pixels";
  EXPECT_GT(left_margin, 60) << "centred, not at the left";
}

TEST_F(Controls, LeftTextStartsAtTheLeftEdge) {
  HWND label = control("Static", "Port:", SS_LEFT, 20, 20, 240, 20);
  pump_messages();
  auto [first, last] = ink_span(label, 0, 20, 240);
  ASSERT_GE(first, 0);
  EXPECT_LT(first, 4);
  EXPECT_LT(last, 60);
}

TEST_F(Controls, LongTextWrapsAtWordsOntoFurtherLines) {
  HWND label = control("Static", "one two three four five six seven eight", SS_LEFT, 20, 20, 80, 100);
  pump_messages();
  HDC dc = GetDC(label);
  SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICA metrics;
  GetTextMetricsA(dc, &metrics);
  ReleaseDC(label, dc);
  int line = metrics.tmHeight;
  auto first_line = ink_span(label, 0, line, 80);
  auto third_line = ink_span(label, 2 * line, 3 * line, 80);
  EXPECT_GE(first_line.first, 0);
  EXPECT_GE(third_line.first, 0) << "the words go on over several lines";
  EXPECT_LT(first_line.second, 80) << "no line runs past the right edge";
}

TEST_F(Controls, ClientEdgeSinksTheTextInsideATwoPixelBorder) {
  HWND plain = control("Static", "", 0, 20, 20, 100, 40, 11);
  HWND sunken = control("Static", "", 0, 20, 80, 100, 40, 12, WS_EX_CLIENTEDGE);
  RECT plain_client, sunken_client;
  GetClientRect(plain, &plain_client);
  GetClientRect(sunken, &sunken_client);
  EXPECT_EQ(plain_client.right, 100);
  EXPECT_EQ(sunken_client.right, 96);
  EXPECT_EQ(sunken_client.bottom, 36);
}

TEST_F(Controls, TheParentsColourAnswerPaintsTheStatic) {
  HBRUSH green = CreateSolidBrush(RGB(0, 160, 0));
  HWND label = nullptr;
  recorder.handler = [&](HWND, UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) {
    if (message != WM_CTLCOLORSTATIC || reinterpret_cast<HWND>(lparam) != label) return false;
    SetBkColor(reinterpret_cast<HDC>(wparam), RGB(0, 160, 0));
    SetTextColor(reinterpret_cast<HDC>(wparam), RGB(255, 255, 0));
    *result = reinterpret_cast<LRESULT>(green);
    return true;
  };
  label = control("Static", "Speed", SS_LEFT, 20, 20, 200, 30);
  pump_messages();
  EXPECT_FALSE(recorder.only({WM_CTLCOLORSTATIC}).empty());
  EXPECT_EQ(pixel_at(label, 190, 25), RGB(0, 160, 0));
  recorder.handler = nullptr;
  DestroyWindow(label);
  DeleteObject(green);
}

TEST_F(Controls, ChangingTheTextRepaintsIt) {
  HWND label = control("Static", "", SS_LEFT, 20, 20, 200, 20);
  pump_messages();
  EXPECT_EQ(ink_span(label, 0, 20, 200).first, -1);
  SetWindowTextA(label, "12 km/h");
  pump_messages();
  EXPECT_GE(ink_span(label, 0, 20, 200).first, 0);
  EXPECT_EQ(text_of(label), "12 km/h");
}

TEST_F(Controls, AClickOnAPlainStaticReachesTheParentAndSsNotifyReportsIt) {
  HWND plain = control("Static", "Port:", SS_LEFT, 20, 20, 80, 20, 11);
  HWND notifying = control("Static", "Group:", SS_LEFT | SS_NOTIFY, 20, 60, 80, 20, 12);
  pump_messages();
  test_support::click_client(plain, 5, 5);
  pump_messages();
  recorder.expect_messages({WM_LBUTTONDOWN}, {{parent, WM_LBUTTONDOWN}});
  recorder.clear();
  test_support::click_client(notifying, 5, 5);
  pump_messages();
  EXPECT_TRUE(recorder.only({WM_LBUTTONDOWN}).empty());
  EXPECT_EQ(notifications(notifying), std::vector<WORD>{STN_CLICKED});
}

TEST_F(Controls, EveryControlKeepsTheFontItIsGiven) {
  HFONT font =
      CreateFontA(-20, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, DEFAULT_QUALITY, 0, "Arial");
  ASSERT_NE(font, nullptr);
  const char* classes[] = {"Static", "Edit", "Button", PROGRESS_CLASSA};
  for (const char* name : classes) {
    HWND made = CreateWindowExA(0, name, "", WS_CHILD | WS_VISIBLE, 10, 10, 100, 30, parent, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(made, nullptr) << name;
    EXPECT_EQ(SendMessageA(made, WM_GETFONT, 0, 0), 0) << name << " starts with the system font";
    SendMessageA(made, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(made, WM_GETFONT, 0, 0)), font) << name;
    char class_name[32];
    GetClassNameA(made, class_name, sizeof class_name);
    EXPECT_STRCASEEQ(class_name, name);
    DestroyWindow(made);
  }
  DeleteObject(font);
}

}  // namespace
