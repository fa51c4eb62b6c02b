// Windows and their tree: creation and destruction messages, subclassing,
// properties, texts and enumeration, as a toolkit relies on them.
#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "recorder.h"

namespace {

using Messages = std::vector<UINT>;

TEST(Windows, AVisibleWindowIsCreatedThenShownAndActivatedThenToldItsSizeAndPlace) {
  Recorder recorder;
  HWND window = recorder.top_level("First", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 40, 50, 300, 200);
  WindowGuard guard{window};
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(recorder.kinds({WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE, WM_SHOWWINDOW, WM_ACTIVATE, WM_SETFOCUS}, window),
            (Messages{WM_NCCREATE, WM_CREATE, WM_SHOWWINDOW, WM_ACTIVATE, WM_SETFOCUS, WM_SIZE, WM_MOVE}));
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(GetActiveWindow(), window);
  EXPECT_EQ(GetFocus(), window);
  char title[32];
  EXPECT_EQ(GetWindowTextA(window, title, sizeof title), 5);
  EXPECT_STREQ(title, "First");
}

TEST(Windows, AHiddenWindowIsToldItsSizeAndPlaceWhenFirstShown) {
  Recorder recorder;
  HWND window = recorder.top_level("Hidden", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 40, 50, 300, 200);
  WindowGuard guard{window};
  EXPECT_EQ(recorder.kinds({WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE, WM_SHOWWINDOW}, window),
            (Messages{WM_NCCREATE, WM_CREATE}));
  EXPECT_FALSE(IsWindowVisible(window));
  recorder.clear();
  ShowWindow(window, SW_SHOWNORMAL);
  EXPECT_EQ(recorder.kinds({WM_SIZE, WM_MOVE, WM_SHOWWINDOW, WM_ACTIVATE, WM_SETFOCUS}, window),
            (Messages{WM_SHOWWINDOW, WM_ACTIVATE, WM_SETFOCUS, WM_SIZE, WM_MOVE}));
  recorder.clear();
  ShowWindow(window, SW_HIDE);
  ShowWindow(window, SW_SHOWNORMAL);
  EXPECT_TRUE(recorder.kinds({WM_SIZE, WM_MOVE}, window).empty()) << "only the first showing tells them";
}

TEST(Windows, AWindowRefusedByItsCreateMessageGetsOnlyNcDestroy) {
  Recorder recorder;
  recorder.handler = [](HWND, UINT message, WPARAM, LPARAM, LRESULT* result) {
    if (message != WM_CREATE) return false;
    *result = -1;
    return true;
  };
  HWND window = recorder.top_level("Refused", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100);
  EXPECT_EQ(window, nullptr);
  EXPECT_EQ(recorder.kinds({WM_CREATE, WM_DESTROY, WM_NCDESTROY}), (Messages{WM_CREATE, WM_NCDESTROY}));
}

TEST(Windows, DestroySendsDestroyParentFirstAndNcDestroyToEveryWindowChildrenFirst) {
  Recorder recorder;
  HWND parent = recorder.top_level("Parent", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200);
  HWND first = recorder.child(parent, 1, 0, 0, 50, 20);
  HWND grandchild = recorder.child(first, 3, 0, 0, 10, 10);
  HWND second = recorder.child(parent, 2, 60, 0, 50, 20);
  recorder.clear();
  ASSERT_TRUE(DestroyWindow(parent));
  std::vector<Received> order = recorder.only({WM_DESTROY, WM_NCDESTROY});
  std::vector<std::pair<HWND, UINT>> seen;
  for (const Received& r : order) seen.emplace_back(r.window, r.message);
  EXPECT_EQ(seen, (std::vector<std::pair<HWND, UINT>>{{parent, WM_DESTROY},
                                                      {first, WM_DESTROY},
                                                      {grandchild, WM_DESTROY},
                                                      {second, WM_DESTROY},
                                                      {grandchild, WM_NCDESTROY},
                                                      {first, WM_NCDESTROY},
                                                      {second, WM_NCDESTROY},
                                                      {parent, WM_NCDESTROY}}));
  EXPECT_FALSE(IsWindow(parent));
  EXPECT_FALSE(IsWindow(grandchild));
}

// A subclass procedure that counts and passes everything on to the procedure it replaced.
WNDPROC replaced = nullptr;
int subclass_nc_destroys = 0;
int subclass_seen = 0;

LRESULT CALLBACK counting_subclass(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  ++subclass_seen;
  if (message == WM_NCDESTROY) ++subclass_nc_destroys;
  if (message == WM_USER + 7) return 77;
  return CallWindowProcA(replaced, window, message, wparam, lparam);
}

TEST(Windows, ASubclassedChildSeesItsNcDestroyWhenTheParentIsDestroyed) {
  Recorder recorder;
  HWND parent = recorder.top_level("Parent", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200);
  HWND child = recorder.child(parent, 5, 0, 0, 50, 20);
  replaced =
      reinterpret_cast<WNDPROC>(SetWindowLongPtrA(child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(counting_subclass)));
  ASSERT_EQ(replaced, &Recorder::procedure);
  subclass_nc_destroys = 0;
  DestroyWindow(parent);
  EXPECT_EQ(subclass_nc_destroys, 1);
  EXPECT_EQ(recorder.kinds({WM_NCDESTROY}, child), (Messages{WM_NCDESTROY})) << "the chain reached the class procedure";
}

TEST(Windows, SubclassChainAnswersItsOwnMessagesAndPassesTheRestOn) {
  Recorder recorder;
  HWND window = recorder.top_level("Chain", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200);
  WindowGuard guard{window};
  replaced =
      reinterpret_cast<WNDPROC>(SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(counting_subclass)));
  EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC)), &counting_subclass);
  recorder.clear();
  subclass_seen = 0;
  EXPECT_EQ(SendMessageA(window, WM_USER + 7, 0, 0), 77);
  EXPECT_EQ(SendMessageA(window, WM_USER + 8, 1, 2), 0);
  EXPECT_EQ(subclass_seen, 2);
  EXPECT_EQ(recorder.kinds({WM_USER + 7, WM_USER + 8}), (Messages{WM_USER + 8}));
  // Putting the old procedure back ends the subclass.
  SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(replaced));
  SendMessageA(window, WM_USER + 7, 0, 0);
  EXPECT_EQ(subclass_seen, 2);
}

TEST(Windows, ThePlainFormsKeepIdStyleAndRefusePointerIndices) {
  Recorder recorder;
  HWND parent = recorder.top_level("Parent", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200);
  WindowGuard guard{parent};
  HWND child = recorder.child(parent, 42, 0, 0, 50, 20, WS_CHILD | WS_VISIBLE | WS_TABSTOP);
  EXPECT_EQ(GetWindowLongA(child, GWL_ID), 42);
  EXPECT_EQ(GetWindowLongA(child, GWL_STYLE) & (WS_CHILD | WS_TABSTOP), static_cast<LONG>(WS_CHILD | WS_TABSTOP));
  EXPECT_EQ(SetWindowLongA(child, GWL_ID, -1), 42);
  EXPECT_EQ(GetWindowLongA(child, GWL_ID), -1);
  EXPECT_EQ(GetDlgCtrlID(child), -1);
  SetLastError(0);
  EXPECT_EQ(GetWindowLongA(child, GWLP_WNDPROC), 0) << "a procedure does not fit in 32 bits";
  EXPECT_NE(GetLastError(), 0u);
}

TEST(Windows, PropertiesRoundTripAndRemovalReturnsTheValue) {
  Recorder recorder;
  HWND window = recorder.top_level("Props", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200);
  WindowGuard guard{window};
  EXPECT_EQ(GetPropA(window, "RZ_WindowID"), nullptr);
  EXPECT_TRUE(SetPropA(window, "RZ_WindowID", reinterpret_cast<HANDLE>(1)));
  EXPECT_TRUE(SetPropA(window, "Other", reinterpret_cast<HANDLE>(0x1234)));
  EXPECT_EQ(GetPropA(window, "RZ_WindowID"), reinterpret_cast<HANDLE>(1));
  EXPECT_EQ(GetPropA(window, "rz_windowid"), reinterpret_cast<HANDLE>(1)) << "names are atoms, without case";
  EXPECT_TRUE(SetPropA(window, "RZ_WindowID", reinterpret_cast<HANDLE>(2)));
  EXPECT_EQ(GetPropA(window, "RZ_WindowID"), reinterpret_cast<HANDLE>(2));
  EXPECT_EQ(RemovePropA(window, "RZ_WindowID"), reinterpret_cast<HANDLE>(2));
  EXPECT_EQ(RemovePropA(window, "RZ_WindowID"), nullptr);
  EXPECT_EQ(GetPropA(window, "Other"), reinterpret_cast<HANDLE>(0x1234));
  RemovePropA(window, "Other");
}

TEST(Windows, TextsGoThroughTheWindowProcedure) {
  Recorder recorder;
  HWND window = recorder.top_level("", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200);
  WindowGuard guard{window};
  recorder.clear();
  EXPECT_TRUE(SetWindowTextA(window, "Velmorant Demo"));
  EXPECT_EQ(GetWindowTextLengthA(window), 14);
  char small[6];
  EXPECT_EQ(GetWindowTextA(window, small, sizeof small), 5);
  EXPECT_STREQ(small, "Velmo");
  EXPECT_EQ(recorder.kinds({WM_SETTEXT, WM_GETTEXT, WM_GETTEXTLENGTH}),
            (Messages{WM_SETTEXT, WM_GETTEXTLENGTH, WM_GETTEXT}));
}

TEST(Windows, ChildrenAreEnumeratedInCreationOrderEachFollowedByItsOwn) {
  Recorder recorder;
  HWND parent = recorder.top_level("Parent", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200);
  WindowGuard guard{parent};
  HWND a = recorder.child(parent, 1, 0, 0, 50, 20);
  HWND b = recorder.child(parent, 2, 0, 30, 50, 20);
  HWND b1 = recorder.child(b, 21, 0, 0, 10, 10);
  HWND c = recorder.child(parent, 3, 0, 60, 50, 20);
  std::vector<HWND> seen;
  EnumChildWindows(
      parent,
      [](HWND window, LPARAM list) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&seen));
  EXPECT_EQ(seen, (std::vector<HWND>{a, b, b1, c}));
  EXPECT_EQ(GetWindow(parent, GW_CHILD), a);
  EXPECT_EQ(GetWindow(a, GW_HWNDNEXT), b);
  EXPECT_EQ(GetParent(b1), b);
  EXPECT_TRUE(IsChild(parent, b1));
  EXPECT_FALSE(IsChild(b1, parent));
}

TEST(Windows, AnOwnedWindowKnowsItsOwnerButHasNoParent) {
  Recorder recorder;
  HWND owner = recorder.top_level("Owner", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200);
  WindowGuard guard{owner};
  HWND owned = recorder.top_level("Owned", WS_CAPTION | WS_SYSMENU, 10, 10, 200, 100, owner);
  HWND popup = recorder.top_level("Popup", WS_POPUP, 10, 10, 200, 100, owner);
  EXPECT_EQ(GetWindow(owned, GW_OWNER), owner);
  EXPECT_EQ(GetParent(owned), nullptr);
  EXPECT_EQ(GetParent(popup), owner) << "a pop-up's parent is its owner";
  DestroyWindow(owner);
  EXPECT_FALSE(IsWindow(owned)) << "owned windows go with their owner";
  EXPECT_FALSE(IsWindow(popup));
}

TEST(Windows, ClassesAreUniqueAndStayWhileTheyHaveWindows) {
  Recorder recorder;
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "recorder";  // another case of an existing class
  EXPECT_EQ(RegisterClassA(&wc), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
  HWND window = recorder.top_level("Busy", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100);
  char name[4];
  EXPECT_EQ(GetClassNameA(window, name, sizeof name), 3);
  EXPECT_STREQ(name, "Rec");
  EXPECT_FALSE(UnregisterClassA("Recorder", GetModuleHandleA(nullptr)));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
  DestroyWindow(window);
}

// A child or pop-up window is told its size and place right after WM_CREATE;
// an overlapped one only when first shown. Showing and hiding go through
// WM_WINDOWPOSCHANGING/CHANGED, except for a child of a hidden window, and a
// child's parent hears of its creation and destruction unless the child asks
// otherwise.
TEST(Windows, CreationShowingAndDestructionSendTheirMessagesInWin32sOrder) {
  Recorder recorder;
  HWND parent = recorder.top_level("Parent", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200);
  WindowGuard guard{parent};
  const std::initializer_list<UINT> watched{WM_NCCREATE,  WM_NCCALCSIZE,        WM_CREATE,          WM_SIZE,
                                            WM_MOVE,      WM_PARENTNOTIFY,      WM_SHOWWINDOW,      WM_DESTROY,
                                            WM_NCDESTROY, WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED};
  const Messages created{WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE};
  const Messages shown_or_hidden{WM_SHOWWINDOW, WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED};
  struct Case {
    DWORD style, ex_style;
    Messages on_create;  // the new window's and its parent's, in order
    bool notified;
    Messages on_first_show;
  } cases[] = {
      {WS_OVERLAPPEDWINDOW,
       0,
       {WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE},
       false,
       {WM_SHOWWINDOW, WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_SIZE, WM_MOVE}},
      {WS_POPUP, 0, created, false, shown_or_hidden},
      {WS_CHILD, 0, {WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE, WM_PARENTNOTIFY}, true, shown_or_hidden},
      {WS_CHILD, WS_EX_NOPARENTNOTIFY, created, false, shown_or_hidden},
  };
  for (bool parent_visible : {false, true})
    for (const Case& c : cases) {
      ShowWindow(parent, parent_visible ? SW_SHOWNA : SW_HIDE);
      recorder.clear();
      HWND window = CreateWindowExA(c.ex_style, "Recorder", "", c.style, 10, 20, 100, 50, parent, nullptr,
                                    GetModuleHandleA(nullptr), nullptr);
      SCOPED_TRACE(testing::Message() << "style " << std::hex << c.style << " ex " << c.ex_style << " parent shown "
                                      << parent_visible);
      EXPECT_EQ(recorder.kinds(watched), c.on_create);
      if (c.notified) {
        EXPECT_EQ(recorder.only({WM_PARENTNOTIFY}),
                  (std::vector<Received>{{parent, WM_PARENTNOTIFY, WM_CREATE, reinterpret_cast<LPARAM>(window)}}));
      }
      for (int command : {SW_SHOWNA, SW_HIDE}) {
        recorder.clear();
        ShowWindow(window, command);
        // A child of a hidden window only changes its style.
        if ((c.style & WS_CHILD) && !parent_visible)
          EXPECT_EQ(recorder.kinds(watched, window), (Messages{WM_SHOWWINDOW}));
        else
          EXPECT_EQ(recorder.kinds(watched, window), command == SW_HIDE ? shown_or_hidden : c.on_first_show);
      }
      recorder.clear();
      DestroyWindow(window);
      Messages destroyed{WM_DESTROY, WM_NCDESTROY};
      if (c.notified) destroyed.insert(destroyed.begin(), WM_PARENTNOTIFY);
      EXPECT_EQ(recorder.kinds(watched), destroyed);
    }
}

// The client area is what WM_NCCALCSIZE answers, at creation and on every change of size.
TEST(Windows, TheClientAreaIsWhatNcCalcSizeAnswers) {
  Recorder recorder;
  static RECT asked_at_creation{}, old_client{};
  static int new_width = 0;
  recorder.handler = [](HWND, UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) {
    if (message != WM_NCCALCSIZE) return false;
    auto* params = reinterpret_cast<NCCALCSIZE_PARAMS*>(lparam);
    RECT* rect = wparam ? &params->rgrc[0] : reinterpret_cast<RECT*>(lparam);
    if (!wparam) asked_at_creation = *rect;
    if (wparam) {
      old_client = params->rgrc[2];
      new_width = params->lppos->cx;
    }
    InflateRect(rect, -5, -7);
    *result = 0;
    return true;
  };
  HWND window = recorder.top_level("Inset", WS_POPUP, 10, 20, 100, 50);
  WindowGuard guard{window};
  const RECT on_screen{10, 20, 110, 70};
  EXPECT_TRUE(EqualRect(&asked_at_creation, &on_screen)) << "the window's rectangle on the screen";
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  EXPECT_EQ(origin.x, 15);
  EXPECT_EQ(origin.y, 27);
  // A child is asked on the screen too, and told its client area's size and place in its parent's.
  recorder.clear();
  HWND child = recorder.child(window, 1, 3, 4, 40, 30);
  const RECT child_on_screen{18, 31, 58, 61};
  EXPECT_TRUE(EqualRect(&asked_at_creation, &child_on_screen));
  EXPECT_EQ(recorder.only({WM_SIZE, WM_MOVE}),
            (std::vector<Received>{{child, WM_SIZE, SIZE_RESTORED, MAKELPARAM(30, 16)},
                                   {child, WM_MOVE, 0, MAKELPARAM(8, 11)}}));
  RECT client;
  for (SIZE size : {SIZE{100, 50}, SIZE{60, 40}}) {
    SetWindowPos(window, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, size.cx - 10);
    EXPECT_EQ(client.bottom, size.cy - 14);
  }
  const RECT client_before{15, 27, 105, 63};
  EXPECT_TRUE(EqualRect(&old_client, &client_before)) << "a change of size also tells the old client area";
  EXPECT_EQ(new_width, 60) << "and the WINDOWPOS of the change";
}

// The default answer to WM_NCCALCSIZE, in either form, is 0 and the client
// area in the coordinates of the rectangle asked about.
TEST(Windows, TheDefaultNcCalcSizeAnswersTheClientArea) {
  Recorder recorder;
  HWND window = recorder.top_level("Frame", WS_OVERLAPPEDWINDOW, 30, 40, 200, 100);
  WindowGuard guard{window};
  RECT client;
  GetClientRect(window, &client);
  ClientToScreen(window, reinterpret_cast<POINT*>(&client.left));
  ClientToScreen(window, reinterpret_cast<POINT*>(&client.right));
  for (BOOL with_params : {FALSE, TRUE}) {
    WINDOWPOS pos{};
    NCCALCSIZE_PARAMS params{{}, &pos};
    GetWindowRect(window, &params.rgrc[0]);
    params.rgrc[1] = params.rgrc[0];
    params.rgrc[2] = client;
    LPARAM asked = with_params ? reinterpret_cast<LPARAM>(&params) : reinterpret_cast<LPARAM>(&params.rgrc[0]);
    EXPECT_EQ(DefWindowProcA(window, WM_NCCALCSIZE, with_params, asked), 0);
    EXPECT_TRUE(EqualRect(&params.rgrc[0], &client)) << "with parameters: " << with_params;
  }
}

// Class atoms come from a table of 16,384: a class is found by its atom as by
// its name, freed atoms are used again, two classes never share one, and only
// a full table refuses, with ERROR_NOT_ENOUGH_MEMORY. (MAKEINTRESOURCEA makes
// the same pointer from an atom as the SDK's MAKEINTATOM.)
TEST(Windows, ClassAtomsAreReusedAndOnlyAFullTableRefuses) {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = instance;
  wc.lpszClassName = "Again";
  for (int i = 0; i < 20000; ++i) {
    ATOM atom = RegisterClassA(&wc);
    ASSERT_GE(atom, 0xC000) << "registration " << i << ", error " << GetLastError();
    ASSERT_TRUE(UnregisterClassA(i % 2 ? "Again" : MAKEINTRESOURCEA(atom), instance));
  }
  std::vector<std::string> names;
  std::vector<ATOM> atoms;
  do {
    names.push_back("Full" + std::to_string(names.size()));
    wc.lpszClassName = names.back().c_str();
    atoms.push_back(RegisterClassA(&wc));
  } while (atoms.back() != 0 && names.size() <= 0x4000);
  EXPECT_EQ(atoms.back(), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  names.pop_back();
  atoms.pop_back();
  std::set<ATOM> live(atoms.begin(), atoms.end());
  EXPECT_EQ(live.size(), atoms.size()) << "each class has an atom of its own";
  // One freed atom at a time serves the next class.
  for (size_t i = 0; i < 64 && i < names.size(); ++i) {
    ASSERT_TRUE(UnregisterClassA(MAKEINTRESOURCEA(atoms[i]), instance));
    live.erase(atoms[i]);
    names[i] += "+";
    wc.lpszClassName = names[i].c_str();
    atoms[i] = RegisterClassA(&wc);
    ASSERT_NE(atoms[i], 0) << "replacing class " << i;
    EXPECT_TRUE(live.insert(atoms[i]).second) << "a free atom, not one in use";
    WNDCLASSA found{};
    EXPECT_TRUE(GetClassInfoA(instance, MAKEINTRESOURCEA(atoms[i]), &found));
  }
  for (const std::string& name : names) UnregisterClassA(name.c_str(), instance);
}

TEST(Windows, CloseDefaultsToDestroying) {
  Recorder recorder;
  HWND window = recorder.top_level("Closing", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100);
  SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(recorder.kinds({WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY}), (Messages{WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY}));
}

}  // namespace
