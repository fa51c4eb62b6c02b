// The clipboard calls and the global memory they take, on both systems: text
// set is text got, every call but IsClipboardFormatAvailable needs the
// clipboard open, and emptying it leaves no text.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

HGLOBAL text_block(const char* text) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, std::strlen(text) + 1);
  std::memcpy(GlobalLock(memory), text, std::strlen(text) + 1);
  SetLastError(ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(GlobalUnlock(memory));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS)) << "the last lock went";
  EXPECT_FALSE(GlobalUnlock(memory));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_LOCKED));
  return memory;
}

TEST(Clipboard, TextSetIsTextGotAndEmptyingLeavesNone) {
  HWND owner = CreateWindowExA(0, "Static", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(owner, nullptr);

  EXPECT_FALSE(EmptyClipboard());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLIPBOARD_NOT_OPEN));
  EXPECT_EQ(GetClipboardData(CF_TEXT), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLIPBOARD_NOT_OPEN));
  EXPECT_EQ(SetClipboardData(CF_TEXT, text_block("x")), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLIPBOARD_NOT_OPEN));
  EXPECT_FALSE(CloseClipboard());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLIPBOARD_NOT_OPEN));

  ASSERT_TRUE(OpenClipboard(owner));
  ASSERT_TRUE(EmptyClipboard());
  HGLOBAL memory = text_block("--link-port COM5 ttyUSB0");
  EXPECT_EQ(SetClipboardData(CF_TEXT, memory), memory);
  EXPECT_TRUE(CloseClipboard());
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_TEXT));

  ASSERT_TRUE(OpenClipboard(nullptr));
  HANDLE got = GetClipboardData(CF_TEXT);
  ASSERT_NE(got, nullptr);
  const char* text = static_cast<const char*>(GlobalLock(got));
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "--link-port COM5 ttyUSB0");
  GlobalUnlock(got);
  EXPECT_TRUE(EmptyClipboard());
  EXPECT_TRUE(CloseClipboard());
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_TEXT));
  DestroyWindow(owner);
}

TEST(GlobalMemory, AFixedBlockIsItsOwnAddressAndFreeingTellsWhatItFreed) {
  HGLOBAL fixed = GlobalAlloc(GPTR, 16);
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(GlobalLock(fixed), fixed);
  EXPECT_EQ(static_cast<const char*>(fixed)[15], '\0') << "GPTR clears the block";
  EXPECT_EQ(GlobalSize(fixed), 16u);
  EXPECT_EQ(GlobalFree(fixed), nullptr);
}

}  // namespace
