// Files by path: CreateFileA's dispositions, appending, what GetFileType and
// GetFileInformationByHandle tell of what was opened, and the words for an
// error. Ours here, Win32's under Wine; what only a shared Unix folder can
// provoke (a planted link, another user's file, a FIFO) is the programs'
// table, tests/app/writers_test.sh.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string file_text(const char* path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

HANDLE open_file(const char* path, DWORD access, DWORD disposition, DWORD flags = FILE_FLAG_OPEN_REPARSE_POINT) {
  return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                     FILE_ATTRIBUTE_NORMAL | flags, nullptr);
}

bool write_text(HANDLE file, const std::string& text) {
  DWORD written = 0;
  return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
}

TEST(Files, OpenAlwaysCreatesOnceAndAppendingWritesAtTheEnd) {
  const char* path = "kernel_files_test.txt";
  std::remove(path);
  HANDLE file = open_file(path, FILE_APPEND_DATA, OPEN_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(GetFileType(file), static_cast<DWORD>(FILE_TYPE_DISK));
  EXPECT_TRUE(write_text(file, "ab\n"));
  EXPECT_TRUE(CloseHandle(file));

  file = open_file(path, FILE_APPEND_DATA, OPEN_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(write_text(file, "cd\n"));
  BY_HANDLE_FILE_INFORMATION information{};
  ASSERT_TRUE(GetFileInformationByHandle(file, &information));
  EXPECT_EQ(information.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY), 0u);
  EXPECT_EQ(information.nFileSizeLow, 6u);
  EXPECT_EQ(information.nNumberOfLinks, 1u);
  DWORD read = 0;
  char byte = 0;
  EXPECT_FALSE(ReadFile(file, &byte, 1, &read, nullptr));  // opened to write only
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_EQ(file_text(path), "ab\ncd\n");

  // Write access (not only appending) starts at the beginning; nothing is cut.
  file = open_file(path, GENERIC_WRITE, OPEN_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(write_text(file, "X"));
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_EQ(file_text(path), "Xb\ncd\n");

  file = open_file(path, GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  char text[16] = "";
  EXPECT_TRUE(ReadFile(file, text, sizeof text, &read, nullptr));
  EXPECT_EQ(std::string(text, read), "Xb\ncd\n");
  EXPECT_FALSE(write_text(file, "no"));  // opened to read only
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_EQ(std::remove(path), 0);
}

TEST(Files, DispositionsRefuseWhatIsOrIsNotThere) {
  const char* path = "kernel_files_test_disposition.txt";
  std::remove(path);
  SetLastError(0);
  EXPECT_EQ(open_file(path, GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  HANDLE file = open_file(path, GENERIC_WRITE, CREATE_NEW);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(write_text(file, "abc"));
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_EQ(open_file(path, GENERIC_WRITE, CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  file = open_file(path, GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_EQ(file_text(path), "");
  EXPECT_EQ(std::remove(path), 0);

  EXPECT_EQ(open_file("no-such-folder/file.txt", FILE_APPEND_DATA, OPEN_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(open_file(".", FILE_APPEND_DATA, OPEN_ALWAYS), INVALID_HANDLE_VALUE);  // a folder
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(Files, ErrorsHaveTheSystemsWords) {
  char text[256] = "";
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                      ERROR_DISK_FULL, 0, text, sizeof text, nullptr);
  ASSERT_GT(length, 2u);
  EXPECT_EQ(std::string(text).substr(length - 2), "\r\n");
#ifndef _WIN32
  EXPECT_EQ(std::string(text), "No space left on device\r\n");
#endif
}

}  // namespace
