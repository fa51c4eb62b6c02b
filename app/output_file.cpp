#include "output_file.h"

std::string error_words(DWORD error) {
  char text[256] = "";
  if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, sizeof text,
                     nullptr) == 0)
    return "error " + std::to_string(error);
  std::string words = text;
  while (!words.empty() && (words.back() == '\r' || words.back() == '\n' || words.back() == ' ' || words.back() == '.'))
    words.pop_back();
  return words;
}

std::string OutputFile::open(const std::string& path) {
  close();
  HANDLE handle = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_INVALID_OWNER) return path + " belongs to another user: choose another path";
    return path + ": " + error_words(error);
  }
  BY_HANDLE_FILE_INFORMATION information{};
  std::string refusal;
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    refusal = path + ": not a regular file";
  } else if (!GetFileInformationByHandle(handle, &information)) {
    refusal = path + ": " + error_words(GetLastError());
  } else if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    refusal = path + " is a link: choose another path";
  } else if (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    refusal = path + ": not a regular file";
  }
  if (!refusal.empty()) {
    CloseHandle(handle);
    return refusal;
  }
  handle_ = handle;
  return "";
}

bool OutputFile::write_line(std::string_view text, std::string& problem) {
  if (handle_ == INVALID_HANDLE_VALUE) {
    problem = error_words(ERROR_INVALID_HANDLE);
    return false;
  }
  std::string line(text);
  line += '\n';
  DWORD written = 0;
  if (!WriteFile(handle_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr)) {
    problem = error_words(GetLastError());
    return false;
  }
  if (written != line.size()) {  // Windows writes a file whole or fails; said all the same
    problem = error_words(ERROR_DISK_FULL);
    return false;
  }
  return true;
}

void OutputFile::close() {
  if (handle_ == INVALID_HANDLE_VALUE) return;
  CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
}

std::string refusal_sentence(std::string_view cannot, std::string_view noun, const std::string& path,
                             const std::string& refusal) {
  std::string sentence = refusal.starts_with(path + ":") ? std::string(cannot) + " " : "";
  return sentence + std::string(noun) + " " + refusal;
}
