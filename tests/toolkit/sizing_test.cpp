// Sizing a window by a border drag or by the Size command and the arrow keys,
// through the toolkit's own sizing loop, while the application keeps
// retrieving events.
#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include "events.h"
#include "gadgets.h"
#include "test_support.h"
#include "toolkit_windows.h"
#include "ui_support.h"
#include "toolkit_internal.h"

namespace {

constexpr DWORD sizable_window = WS_OVERLAPPEDWINDOW;

// Retrieves events as the application does until the condition holds.
::testing::AssertionResult retrieve_until_true(const std::function<bool()>& condition) {
  for (int i = 0; i < 100 && !condition(); ++i) retrieve(50);
  if (condition()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the condition never held";
}

// Retrieves until the window message with this number has been retrieved.
::testing::AssertionResult message_retrieved(UINT message) {
  if (retrieve_until([&](const Event& event) { return event.code == static_cast<int>(message); }).empty())
    return ::testing::AssertionFailure() << "message " << message << " never came";
  return ::testing::AssertionSuccess();
}

RECT window_rect(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  return rect;
}

POINT cursor() {
  POINT point;
  GetCursorPos(&point);
  return point;
}

// A point of the window's frame whose hit test gives the area, half-way along that side.
POINT border_point(HWND window, LRESULT area) {
  RECT rect = window_rect(window);
  int middle_y = (rect.top + rect.bottom) / 2;
  int middle_x = (rect.left + rect.right) / 2;
  for (int inside = 0; inside < 8; ++inside) {
    POINT point = area == HTLEFT    ? POINT{rect.left + inside, middle_y}
                  : area == HTRIGHT ? POINT{rect.right - 1 - inside, middle_y}
                                    : POINT{middle_x, rect.bottom - 1 - inside};
    if (SendMessageA(window, WM_NCHITTEST, 0, MAKELPARAM(point.x, point.y)) == area) return point;
  }
  ADD_FAILURE() << "no point of the frame hits " << area;
  return POINT{rect.left, middle_y};
}

// Presses the left button on a border, moves to the end point and releases.
void drag_border(HWND window, LRESULT area, POINT end) {
  POINT start = border_point(window, area);
  test_support::move_mouse_to(start);
  test_support::mouse_button(VK_LBUTTON, true);
  ASSERT_TRUE(retrieve_until_true([] { return sizing_state->active == 1; })) << "the drag did not start the loop";
  test_support::move_mouse_to(POINT{(start.x + end.x) / 2, (start.y + end.y) / 2});
  test_support::move_mouse_to(end);
  ASSERT_TRUE(retrieve_until_true([&] { return cursor().x == end.x && cursor().y == end.y; }));
  retrieve_until_true([&] { return GetQueueStatus(QS_MOUSEMOVE) == 0; });
  test_support::mouse_button(VK_LBUTTON, false);
  ASSERT_TRUE(message_retrieved(WM_EXITSIZEMOVE));
}

int maximum_width = 0;
LRESULT cap_width(HWND, UINT message, WPARAM, LPARAM lparam) {
  if (message != WM_GETMINMAXINFO) return RESULT_CONTINUE;
  reinterpret_cast<MINMAXINFO*>(lparam)->ptMaxTrackSize.x = maximum_width;
  return 0;
}

class SizingLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, TRUE, nullptr, 0);
    ASSERT_NE(window_open(0, 200, 150, 300, 200, "Sizing", sizable_window), 0);
    window = window_handle(0);
    test_support::bring_to_front(window);
    SetFocus(window);
    test_support::move_mouse_to(POINT{350, 250});
    drain_events();
    start = window_rect(window);
  }
  void TearDown() override {
    if (sizing_state->active == 1) ReleaseCapture();
    windows_close_all();
    drain_events(20);
    SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, TRUE, nullptr, 0);
  }

  // The keyboard Size command, as the system menu gives it.
  ::testing::AssertionResult size_command() {
    PostMessageA(window, WM_SYSCOMMAND, SC_SIZE, 0);
    if (!message_retrieved(WM_ENTERSIZEMOVE)) return ::testing::AssertionFailure() << "the loop did not start";
    return ::testing::AssertionSuccess();
  }
  // Presses the key and retrieves until its release has been handled.
  ::testing::AssertionResult key(int virtual_key) {
    test_support::press_key(virtual_key);
    auto released = [&](const Event& event) {
      return event.code == WM_KEYUP && event_state->last_wparam == static_cast<WPARAM>(virtual_key);
    };
    if (retrieve_until(released).empty()) return ::testing::AssertionFailure() << "key " << virtual_key << " lost";
    drain_events(50);  // the mouse move that placing the cursor brings
    return ::testing::AssertionSuccess();
  }

  HWND window = nullptr;
  RECT start{};
};

TEST_F(SizingLoop, LeftThenUpChoosesTheTopLeftCornerAndAFurtherLeftWidensByTen) {
  ASSERT_TRUE(size_command());
  EXPECT_EQ(sizing_state->edge, 0);
  EXPECT_EQ(GetCapture(), window);

  ASSERT_TRUE(key(VK_LEFT));
  EXPECT_EQ(sizing_state->edge, WMSZ_LEFT);
  EXPECT_EQ(cursor().x, start.left);
  ASSERT_TRUE(key(VK_UP));
  EXPECT_EQ(sizing_state->edge, WMSZ_TOPLEFT);
  EXPECT_EQ(cursor().x, start.left + 2);
  EXPECT_EQ(cursor().y, start.top + 2);
  RECT chosen = window_rect(window);
  EXPECT_EQ(chosen.left, start.left) << "choosing an edge sizes nothing";
  EXPECT_EQ(chosen.top, start.top);

  ASSERT_TRUE(key(VK_LEFT));
  EXPECT_EQ(cursor().x, start.left + 2 - 10);
  RECT widened = window_rect(window);
  EXPECT_EQ(widened.left, start.left - 10);
  EXPECT_EQ(widened.right, start.right);
  EXPECT_EQ(widened.top, start.top);
  EXPECT_EQ(widened.bottom, start.bottom);
  EXPECT_EQ(sizing_state->active, 1) << "the loop goes on until it is ended";
}

TEST_F(SizingLoop, UpTwiceChoosesTheTopEdgeAndThenRaisesItByTen) {
  ASSERT_TRUE(size_command());
  ASSERT_TRUE(key(VK_UP));
  EXPECT_EQ(sizing_state->edge, WMSZ_TOP);
  EXPECT_EQ(cursor().y, start.top);
  ASSERT_TRUE(key(VK_UP));
  EXPECT_EQ(sizing_state->edge, WMSZ_TOP);
  RECT raised = window_rect(window);
  EXPECT_EQ(raised.top, start.top - 10);
  EXPECT_EQ(raised.bottom, start.bottom);
  EXPECT_EQ(raised.left, start.left);
  EXPECT_EQ(raised.right, start.right);
}

TEST_F(SizingLoop, EscapeKeepsTheNewSizeAndEndsTheLoop) {
  ASSERT_TRUE(size_command());
  ASSERT_TRUE(key(VK_RIGHT));
  EXPECT_EQ(sizing_state->edge, WMSZ_RIGHT);
  ASSERT_TRUE(key(VK_RIGHT));
  ASSERT_EQ(window_rect(window).right, start.right + 10);

  test_support::press_key(VK_ESCAPE);
  ASSERT_TRUE(message_retrieved(WM_EXITSIZEMOVE));
  EXPECT_EQ(sizing_state->active, 0);
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_EQ(window_rect(window).right, start.right + 10) << "Escape does not go back to the old size";
}

TEST_F(SizingLoop, EnterAtOnceEndsTheLoopWithTheCursorWhereItWas) {
  POINT before = cursor();
  ASSERT_TRUE(size_command());
  EXPECT_EQ(sizing_state->restore_cursor, 1);
  test_support::press_key(VK_RETURN);
  ASSERT_TRUE(message_retrieved(WM_EXITSIZEMOVE));
  EXPECT_EQ(sizing_state->active, 0);
  EXPECT_EQ(cursor().x, before.x);
  EXPECT_EQ(cursor().y, before.y);
  RECT after = window_rect(window);
  EXPECT_TRUE(EqualRect(&after, &start));

  // The next loop starts afresh: a window that goes before its loop began
  // leaves the cursor where it is.
  SetCursorPos(before.x + 40, before.y + 30);
  window_record(0)->callback = [](HWND sized, UINT message, WPARAM, LPARAM) {
    if (message == WM_GETMINMAXINFO) DestroyWindow(sized);
    return RESULT_CONTINUE;
  };
  SendMessageA(window, WM_SYSCOMMAND, SC_SIZE + WMSZ_RIGHT, 0);
  EXPECT_EQ(sizing_state->active, 0);
  EXPECT_EQ(cursor().x, before.x + 40);
}

TEST_F(SizingLoop, OnceTheCursorHasMovedEnterLeavesItAtTheChosenEdge) {
  ASSERT_TRUE(size_command());
  ASSERT_TRUE(key(VK_DOWN));
  EXPECT_EQ(sizing_state->restore_cursor, 0) << "the mouse move of placing the cursor clears it";
  POINT at_edge = cursor();
  EXPECT_EQ(at_edge.y, start.bottom - 2);
  test_support::press_key(VK_RETURN);
  ASSERT_TRUE(message_retrieved(WM_EXITSIZEMOVE));
  EXPECT_EQ(cursor().y, at_edge.y);
}

TEST_F(SizingLoop, DraggingTheLeftBorderPastTheMinimumKeepsTheMinimumWidthAndTheRightEdge) {
  drag_border(window, HTLEFT, POINT{start.right + 40, (start.top + start.bottom) / 2});
  RECT after = window_rect(window);
  EXPECT_EQ(after.right, start.right);
  EXPECT_EQ(after.right - after.left, GetSystemMetrics(SM_CXMINTRACK));
  EXPECT_EQ(after.top, start.top);
  EXPECT_EQ(after.bottom, start.bottom);
  EXPECT_EQ(sizing_state->active, 0);
}

TEST_F(SizingLoop, AWindowThatCapsItsWidthAt400IsNeverWiderThroughoutTheDrag) {
  maximum_width = 400;
  window_record(0)->callback = cap_width;
  POINT grip = border_point(window, HTRIGHT);
  test_support::move_mouse_to(grip);
  test_support::mouse_button(VK_LBUTTON, true);
  ASSERT_TRUE(retrieve_until_true([] { return sizing_state->active == 1; }));
  EXPECT_EQ(sizing_state->limits.ptMaxTrackSize.x, 400);
  for (int x : {grip.x + 50, grip.x + 150, grip.x + 300}) {
    test_support::move_mouse_to(POINT{x, grip.y});
    ASSERT_TRUE(retrieve_until_true([&] { return cursor().x == x; }));
    drain_events(50);
    RECT now = window_rect(window);
    EXPECT_LE(now.right - now.left, 400);
  }
  test_support::mouse_button(VK_LBUTTON, false);
  ASSERT_TRUE(message_retrieved(WM_EXITSIZEMOVE));
  RECT after = window_rect(window);
  EXPECT_EQ(after.right - after.left, 400);
  EXPECT_EQ(after.left, start.left);
}

TEST_F(SizingLoop, AChildWindowIsPlacedInItsParentsCoordinates) {
  ASSERT_NE(window_open(1, 20, 20, 120, 80, "Child", WS_CHILD | WS_THICKFRAME, window), 0);
  HWND child = window_handle(1);
  drain_events();
  RECT before = window_rect(child);
  POINT grip = border_point(child, HTRIGHT);
  drag_border(child, HTRIGHT, POINT{grip.x + 30, grip.y});

  RECT after = window_rect(child);
  EXPECT_EQ(after.left, before.left) << "screen position kept: the parent's offset was not applied twice";
  EXPECT_EQ(after.top, before.top);
  EXPECT_EQ(after.right, grip.x + 30 + 2) << "the right edge lies two pixels beyond the cursor";
  EXPECT_TRUE(EqualRect(&after, &sizing_state->rect)) << "the tracked rectangle stays in screen coordinates";
}

TEST_F(SizingLoop, OnlySizeCommandsWithFullWindowDraggingStartTheLoop) {
  EXPECT_EQ(sizing_loop_filter(window, WM_SYSCOMMAND, SC_MOVE, 0), RESULT_DEFAULT);
  EXPECT_EQ(sizing_loop_filter(window, WM_SYSCOMMAND, SC_MOVE + 2, 0), RESULT_DEFAULT);
  EXPECT_EQ(sizing_loop_filter(window, WM_SYSCOMMAND, SC_MAXIMIZE, 0), RESULT_DEFAULT);
  EXPECT_EQ(sizing_state->active, 0);

  SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, FALSE, nullptr, 0);
  for (WPARAM edge = 0; edge <= 8; ++edge)
    EXPECT_EQ(sizing_loop_filter(window, WM_SYSCOMMAND, SC_SIZE + edge, 0), RESULT_DEFAULT);
  EXPECT_EQ(sizing_state->active, 0);
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(SizingLoop, ADragOfTheBottomRightCornerStartsWithThatEdgeAndTheApplicationKeepsItsEvents) {
  ASSERT_EQ(sizing_loop_filter(window, WM_SYSCOMMAND, SC_SIZE + WMSZ_BOTTOMRIGHT, 0), 0);
  EXPECT_EQ(sizing_state->edge, WMSZ_BOTTOMRIGHT);
  EXPECT_EQ(sizing_state->restore_cursor, 0);
  EXPECT_EQ(GetCapture(), window);
  // A second size command while the loop runs is passed on.
  EXPECT_EQ(sizing_loop_filter(window, WM_SYSCOMMAND, SC_SIZE, 0), RESULT_DEFAULT);
  ASSERT_TRUE(message_retrieved(WM_ENTERSIZEMOVE));

  PostMessageA(window, WM_USER + 5, 0, 0);
  EXPECT_TRUE(message_retrieved(WM_USER + 5)) << "events go on during the loop";
  ReleaseCapture();
  ASSERT_TRUE(message_retrieved(WM_EXITSIZEMOVE));
  EXPECT_EQ(sizing_state->active, 0);
}

HCURSOR system_cursor(WORD id) { return LoadCursorA(nullptr, MAKEINTRESOURCEA(id)); }

// The keys are sent straight to the window, so the cursor's shape is looked
// at before the mouse move that placing it brings.
TEST_F(SizingLoop, EverySideAndCornerCanBeChosenByArrowKeysWithItsCursorAndWithoutSizing) {
  struct Choice {
    WORD first, second;  // second 0: a side only
    LONG edge;
    WORD shape;
    POINT (*at)(const RECT&, POINT cursor);
  };
  const Choice choices[] = {
      {VK_LEFT, 0, WMSZ_LEFT, 32644,
       [](const RECT& r, POINT c) {
         return POINT{r.left, c.y};
       }},
      {VK_RIGHT, 0, WMSZ_RIGHT, 32644,
       [](const RECT& r, POINT c) {
         return POINT{r.right - 2, c.y};
       }},
      {VK_UP, 0, WMSZ_TOP, 32645,
       [](const RECT& r, POINT c) {
         return POINT{c.x, r.top};
       }},
      {VK_DOWN, 0, WMSZ_BOTTOM, 32645,
       [](const RECT& r, POINT c) {
         return POINT{c.x, r.bottom - 2};
       }},
      {VK_LEFT, VK_UP, WMSZ_TOPLEFT, 32642,
       [](const RECT& r, POINT) {
         return POINT{r.left + 2, r.top + 2};
       }},
      {VK_UP, VK_LEFT, WMSZ_TOPLEFT, 32642,
       [](const RECT& r, POINT) {
         return POINT{r.left + 2, r.top + 2};
       }},
      {VK_LEFT, VK_DOWN, WMSZ_BOTTOMLEFT, 32643,
       [](const RECT& r, POINT) {
         return POINT{r.left, r.bottom - 2};
       }},
      {VK_DOWN, VK_LEFT, WMSZ_BOTTOMLEFT, 32643,
       [](const RECT& r, POINT) {
         return POINT{r.left, r.bottom - 2};
       }},
      {VK_RIGHT, VK_UP, WMSZ_TOPRIGHT, 32643,
       [](const RECT& r, POINT) {
         return POINT{r.right - 2, r.top};
       }},
      {VK_UP, VK_RIGHT, WMSZ_TOPRIGHT, 32643,
       [](const RECT& r, POINT) {
         return POINT{r.right - 2, r.top};
       }},
      {VK_RIGHT, VK_DOWN, WMSZ_BOTTOMRIGHT, 32642,
       [](const RECT& r, POINT) {
         return POINT{r.right - 2, r.bottom - 2};
       }},
      {VK_DOWN, VK_RIGHT, WMSZ_BOTTOMRIGHT, 32642,
       [](const RECT& r, POINT) {
         return POINT{r.right - 2, r.bottom - 2};
       }},
  };
  for (const Choice& choice : choices) {
    SCOPED_TRACE(::testing::Message() << "keys " << choice.first << ", " << choice.second);
    test_support::move_mouse_to(POINT{330, 240});
    drain_events(20);
    ASSERT_EQ(sizing_loop_filter(window, WM_SYSCOMMAND, SC_SIZE, 0), 0);
    EXPECT_EQ(GetCursor(), system_cursor(32646)) << "a keyboard start shows the four-way cursor";
    POINT before = cursor();
    SendMessageA(window, WM_KEYDOWN, choice.first, 0);
    if (choice.second != 0) SendMessageA(window, WM_KEYDOWN, choice.second, 0);
    EXPECT_EQ(sizing_state->edge, choice.edge);
    EXPECT_EQ(GetCursor(), system_cursor(choice.shape));
    POINT expected = choice.at(start, before);
    EXPECT_EQ(cursor().x, expected.x);
    EXPECT_EQ(cursor().y, expected.y);
    drain_events(20);
    RECT now = window_rect(window);
    EXPECT_TRUE(EqualRect(&now, &start)) << "the cursor was placed where the edges already are";
    ReleaseCapture();
    ASSERT_TRUE(message_retrieved(WM_EXITSIZEMOVE));
  }
}

// The edges follow a point within the track limits; the opposite edges stay.
TEST(SizingPoint, EachEdgeCodeMovesItsEdgesWithinTheLimits) {
  struct Row {
    LONG edge;
    int x, y;
    RECT expected;
  };
  const RECT from{100, 100, 400, 300};  // 300 x 200; limits 120..500 wide, 80..350 high
  const Row rows[] = {
      {WMSZ_LEFT, 50, 0, {50, 100, 400, 300}},
      {WMSZ_LEFT, 350, 0, {280, 100, 400, 300}},
      {WMSZ_LEFT, -200, 0, {-100, 100, 400, 300}},
      {WMSZ_RIGHT, 297, 0, {100, 100, 299, 300}},
      {WMSZ_RIGHT, 150, 0, {100, 100, 220, 300}},
      {WMSZ_RIGHT, 800, 0, {100, 100, 600, 300}},
      {WMSZ_TOP, 0, 60, {100, 60, 400, 300}},
      {WMSZ_TOP, 0, 280, {100, 220, 400, 300}},
      {WMSZ_TOP, 0, -100, {100, -50, 400, 300}},
      {WMSZ_BOTTOM, 0, 400, {100, 100, 400, 402}},
      {WMSZ_BOTTOM, 0, 120, {100, 100, 400, 180}},
      {WMSZ_BOTTOM, 0, 600, {100, 100, 400, 450}},
      {WMSZ_TOPLEFT, 52, 62, {50, 60, 400, 300}},
      {WMSZ_TOPRIGHT, 500, 62, {100, 62, 502, 300}},
      {WMSZ_BOTTOMLEFT, 52, 400, {52, 100, 400, 402}},
      {WMSZ_BOTTOMRIGHT, 600, 500, {100, 100, 600, 450}},
      {0, 10, 10, from},
      {9, 10, 10, from},
  };
  for (const Row& row : rows) {
    SizingLoopState state{};
    state.rect = from;
    state.edge = row.edge;
    state.limits.ptMinTrackSize = POINT{120, 80};
    state.limits.ptMaxTrackSize = POINT{500, 350};
    apply_sizing_point(&state, row.x, row.y);
    EXPECT_TRUE(EqualRect(&state.rect, &row.expected))
        << "edge " << row.edge << " to " << row.x << "," << row.y << ": " << state.rect.left << " " << state.rect.top
        << " " << state.rect.right << " " << state.rect.bottom;
  }
}

// A drag from the top-left corner moves two edges; a WM_SIZING handler has the last word.
int sizing_grid = 0;
LRESULT snap_to_grid(HWND, UINT message, WPARAM, LPARAM lparam) {
  if (message != WM_SIZING || sizing_grid == 0) return RESULT_CONTINUE;
  auto* rect = reinterpret_cast<RECT*>(lparam);
  rect->left = rect->right - (rect->right - rect->left) / sizing_grid * sizing_grid;
  return TRUE;
}

TEST_F(SizingLoop, ACornerDragMovesTwoEdgesAndAWmSizingHandlerCanChangeTheRectangle) {
  for (int grid : {0, 50}) {
    sizing_grid = grid;
    window_record(0)->callback = snap_to_grid;
    RECT before = window_rect(window);
    ASSERT_EQ(sizing_loop_filter(window, WM_SYSCOMMAND, SC_SIZE + WMSZ_TOPLEFT, 0), 0);
    POINT to{before.left - 33 + 2, before.top - 21 + 2};  // the corner's inset
    test_support::move_mouse_to(to);
    ASSERT_TRUE(retrieve_until_true([&] { return window_rect(window).top == before.top - 21; }));
    RECT after = window_rect(window);
    LONG width = before.right - before.left + 33;
    if (grid != 0) width = width / grid * grid;
    EXPECT_EQ(after.left, before.right - width) << grid;
    EXPECT_EQ(after.right, before.right);
    EXPECT_EQ(after.bottom, before.bottom);
    ReleaseCapture();
    ASSERT_TRUE(message_retrieved(WM_EXITSIZEMOVE));
  }
}

class SizingWithTwoWindows : public SizingLoop {
 protected:
  void SetUp() override {
    SizingLoop::SetUp();
    ASSERT_NE(window_open(1, 600, 150, 200, 120, "Other", sizable_window | WINDOW_INVISIBLE), 0);
    other = window_handle(1);
    other_start = window_rect(other);
  }
  HWND other = nullptr;
  RECT other_start{};
};

TEST_F(SizingWithTwoWindows, MessagesOfAnotherWindowNeitherSizeItNorEndTheLoop) {
  ASSERT_EQ(sizing_loop_filter(window, WM_SYSCOMMAND, SC_SIZE + WMSZ_RIGHT, 0), 0);
  SendMessageA(other, WM_MOUSEMOVE, 0, MAKELPARAM(150, 40));
  SendMessageA(other, WM_KEYDOWN, VK_RIGHT, 0);
  SendMessageA(other, WM_KEYDOWN, VK_ESCAPE, 0);
  SendMessageA(other, WM_CAPTURECHANGED, 0, 0);
  RECT now = window_rect(other);
  EXPECT_TRUE(EqualRect(&now, &other_start)) << "the other window keeps its place and size";
  EXPECT_EQ(sizing_state->active, 1);
  EXPECT_EQ(GetCapture(), window);
  ReleaseCapture();
  EXPECT_EQ(sizing_state->active, 0);
}

TEST_F(SizingWithTwoWindows, TakingTheCaptureFromAnotherWindowStartsTheLoopAndLosingItEndsIt) {
  SetCapture(other);
  ASSERT_EQ(sizing_loop_filter(window, WM_SYSCOMMAND, SC_SIZE + WMSZ_BOTTOM, 0), 0);
  EXPECT_EQ(sizing_state->active, 1) << "the other window's loss of the capture is not the loop's";
  EXPECT_EQ(GetCapture(), window);
  SetCapture(other);  // another window takes the capture: the loop is over
  EXPECT_EQ(sizing_state->active, 0);
  ASSERT_TRUE(message_retrieved(WM_EXITSIZEMOVE));
  ReleaseCapture();
}

TEST_F(SizingLoop, AWindowClosedDuringItsLoopEndsTheLoopAndLeavesNoCapture) {
  ASSERT_TRUE(size_command());
  ASSERT_TRUE(key(VK_RIGHT));
  window_close(0);
  EXPECT_EQ(sizing_state->active, 0);
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_EQ(cursor().x, start.right - 2) << "the cursor had moved, so it stays";
  // A new window can be sized at once.
  ASSERT_NE(window_open(0, 200, 150, 300, 200, "Sizing", sizable_window), 0);
  window = window_handle(0);
  EXPECT_EQ(sizing_loop_filter(window, WM_SYSCOMMAND, SC_SIZE + WMSZ_LEFT, 0), 0);
  EXPECT_EQ(sizing_state->active, 1);
}

TEST_F(SizingLoop, TheKeyboardSizesTheWindowWhileAChildControlHasTheFocus) {
  set_gadget_parent(window);
  ASSERT_NE(create_string_gadget(2, 10, 10, 120, 24, "COM17"), 0);
  SetFocus(gadget_control(2));
  ASSERT_TRUE(size_command());
  ASSERT_TRUE(key(VK_RIGHT));
  EXPECT_EQ(sizing_state->edge, WMSZ_RIGHT);
  ASSERT_TRUE(key(VK_RIGHT));
  EXPECT_EQ(window_rect(window).right, start.right + 10);
  EXPECT_EQ(GetFocus(), gadget_control(2)) << "the control keeps the focus";
  test_support::press_key(VK_ESCAPE);
  ASSERT_TRUE(message_retrieved(WM_EXITSIZEMOVE));
  EXPECT_EQ(sizing_state->active, 0);
  EXPECT_EQ(GetCapture(), nullptr);
}

MINMAXINFO asked{};
LRESULT keep_limits(HWND, UINT message, WPARAM, LPARAM lparam) {
  if (message == WM_GETMINMAXINFO) asked = *reinterpret_cast<MINMAXINFO*>(lparam);
  return RESULT_CONTINUE;
}

TEST_F(SizingLoop, TheWindowIsAskedForItsLimitsWithTheSystemDefaultsForItsFrame) {
  // Windows keeps WS_EX_WINDOWEDGE only with a thick or dialog frame.
  struct Frame {
    DWORD style, extended_style;
    POINT max_position;
  };
  const Frame frames[] = {
      {WS_OVERLAPPEDWINDOW, 0, {GetSystemMetrics(SM_CXBORDER), GetSystemMetrics(SM_CYBORDER)}},
      {WS_POPUP | WS_THICKFRAME, WS_EX_WINDOWEDGE, {GetSystemMetrics(SM_CXEDGE), GetSystemMetrics(SM_CYEDGE)}},
      {WS_POPUP, 0, {0, 0}},
  };
  for (const Frame& frame : frames) {
    ASSERT_NE(window_open(2, 50, 50, 200, 100, "limits", frame.style), 0);
    HWND sized = window_handle(2);
    SetWindowLongA(sized, GWL_EXSTYLE, static_cast<LONG>(frame.extended_style));
    window_record(2)->callback = keep_limits;
    asked = MINMAXINFO{{7, 7}, {7, 7}, {7, 7}, {7, 7}, {7, 7}};
    ASSERT_EQ(sizing_loop_filter(sized, WM_SYSCOMMAND, SC_SIZE + WMSZ_RIGHT, 0), 0);
    EXPECT_EQ(asked.ptReserved.x, 0);
    EXPECT_EQ(asked.ptReserved.y, 0);
    EXPECT_EQ(asked.ptMaxPosition.x, frame.max_position.x) << frame.style;
    EXPECT_EQ(asked.ptMaxPosition.y, frame.max_position.y) << frame.style;
    EXPECT_EQ(asked.ptMaxSize.x, GetSystemMetrics(SM_CXMAXIMIZED));
    EXPECT_EQ(asked.ptMaxSize.y, GetSystemMetrics(SM_CYMAXIMIZED));
    EXPECT_EQ(asked.ptMinTrackSize.x, GetSystemMetrics(SM_CXMINTRACK));
    EXPECT_EQ(asked.ptMinTrackSize.y, GetSystemMetrics(SM_CYMINTRACK));
    EXPECT_EQ(asked.ptMaxTrackSize.x, GetSystemMetrics(SM_CXMAXTRACK));
    EXPECT_EQ(asked.ptMaxTrackSize.y, GetSystemMetrics(SM_CYMAXTRACK));
    ReleaseCapture();
    window_close(2);
  }
}

}  // namespace

namespace {

TEST_F(SizingLoop, AWindowHiddenDisabledOrDestroyedMidLoopEndsItAndGivesUpTheCapture) {
  const std::pair<const char*, void (*)(HWND)> ends[] = {
      {"hidden", [](HWND sized) { ShowWindow(sized, SW_HIDE); }},
      {"disabled", [](HWND sized) { EnableWindow(sized, FALSE); }},
      {"disabled, its code answering WM_CANCELMODE and so keeping the capture",
       [](HWND sized) {
         window_record(0)->callback = [](HWND, UINT message, WPARAM, LPARAM) {
           return message == WM_CANCELMODE ? LRESULT{0} : RESULT_CONTINUE;
         };
         EnableWindow(sized, FALSE);
       }},
      {"destroyed", [](HWND sized) { DestroyWindow(sized); }},
  };
  for (const auto& [name, end] : ends) {
    SCOPED_TRACE(name);
    ASSERT_NE(window_open(0, 200, 150, 300, 200, "Sizing", sizable_window), 0);
    window = window_handle(0);
    test_support::bring_to_front(window);
    ASSERT_TRUE(size_command());
    ASSERT_EQ(GetCapture(), window);
    end(window);
    EXPECT_EQ(sizing_state->active, 0);
    EXPECT_EQ(GetCapture(), nullptr);
  }
}

// The window's own code runs before the loop takes the capture: a window that
// cannot be sized gets no loop, and one that hands the loop on keeps none; a
// loop that never began is never said to end.
TEST_F(SizingWithTwoWindows, ALoopStartsOnlyForAShownEnabledWindowThatKeepsIt) {
  static HWND hand_to = nullptr;
  window_record(0)->callback = [](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
    if (message == WM_GETMINMAXINFO && hand_to != nullptr)
      SendMessageA(std::exchange(hand_to, nullptr), WM_SYSCOMMAND, SC_SIZE + WMSZ_LEFT, 0);
    return RESULT_CONTINUE;
  };
  const std::pair<const char*, void (*)(HWND, HWND)> cases[] = {
      {"hidden", [](HWND sized, HWND) { ShowWindow(sized, SW_HIDE); }},
      {"disabled", [](HWND sized, HWND) { EnableWindow(sized, FALSE); }},
      {"hands the loop to another window", [](HWND, HWND second) { ShowWindow(hand_to = second, SW_SHOWNA); }},
  };
  for (const auto& [name, prepare] : cases) {
    SCOPED_TRACE(name);
    prepare(window, other);
    HWND kept = hand_to;  // the window that ends up with the loop, if any
    EXPECT_EQ(SendMessageA(window, WM_SYSCOMMAND, SC_SIZE + WMSZ_RIGHT, 0), 0);
    EXPECT_EQ(sizing_state->active, kept != nullptr ? 1 : 0);
    EXPECT_EQ(sizing_state->window, kept);
    EXPECT_EQ(GetCapture(), kept);
    MSG ended;
    EXPECT_FALSE(PeekMessageA(&ended, window, WM_EXITSIZEMOVE, WM_EXITSIZEMOVE, PM_REMOVE));
    ReleaseCapture();
    ShowWindow(window, SW_SHOWNA);
    EnableWindow(window, TRUE);
  }
}

TEST_F(SizingLoop, AnotherWindowAskingToBeSizedEndsTheLoopAndStartsItsOwn) {
  ASSERT_NE(window_open(1, 100, 100, 200, 150, "Other", sizable_window), 0);
  HWND other = window_handle(1);
  test_support::bring_to_front(window);
  ASSERT_TRUE(size_command());
  PostMessageA(other, WM_SYSCOMMAND, SC_SIZE, 0);
  auto ended_first = [](const Event& event) { return event.code == WM_EXITSIZEMOVE && event.window == 0; };
  EXPECT_FALSE(retrieve_until(ended_first).empty()) << "the first loop never ended";
  EXPECT_EQ(sizing_state->active, 1);
  EXPECT_EQ(sizing_state->window, other);
  EXPECT_EQ(GetCapture(), other);
}

}  // namespace
