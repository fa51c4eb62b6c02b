// The calling thread's last-error value, and the words for an error code.
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {
thread_local DWORD last_error = ERROR_SUCCESS;

// The errno that each code of this layer stands for, so that its words are
// the system's own (strerror); codes without one have their words here.
struct ErrorWords {
  DWORD code;
  int error;
  const char* words;
};
constexpr ErrorWords ERROR_WORDS[] = {
    {ERROR_SUCCESS, 0, "Success"},
    {ERROR_FILE_NOT_FOUND, ENOENT, nullptr},
    {ERROR_PATH_NOT_FOUND, ENOENT, nullptr},
    {ERROR_ACCESS_DENIED, EACCES, nullptr},
    {ERROR_INVALID_HANDLE, EBADF, nullptr},
    {ERROR_NOT_ENOUGH_MEMORY, ENOMEM, nullptr},
    {ERROR_SHARING_VIOLATION, EBUSY, nullptr},
    {ERROR_NOT_SUPPORTED, ENOTTY, nullptr},
    {ERROR_FILE_EXISTS, EEXIST, nullptr},
    {ERROR_INVALID_PARAMETER, EINVAL, nullptr},
    {ERROR_DISK_FULL, ENOSPC, nullptr},
    {ERROR_INVALID_NAME, ENAMETOOLONG, nullptr},
    {ERROR_ALREADY_EXISTS, EEXIST, nullptr},
    {ERROR_FILE_TOO_LARGE, EFBIG, nullptr},
    {ERROR_IO_DEVICE, EIO, nullptr},
    {ERROR_DISK_QUOTA_EXCEEDED, EDQUOT, nullptr},
    {ERROR_INVALID_OWNER, 0, "The file belongs to another user"},
    {ERROR_GEN_FAILURE, 0, "The device does not work"},
};
}  // namespace

DWORD WINAPI GetLastError() { return last_error; }

void WINAPI SetLastError(DWORD error) { last_error = error; }

// Windows' texts end with a line end ("...disk.\r\n"), and so do these.
DWORD WINAPI FormatMessageA(DWORD flags, LPCVOID /*source*/, DWORD message_id, DWORD /*language_id*/, LPSTR buffer,
                            DWORD size, va_list* /*arguments*/) {
  if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || buffer == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const char* words = nullptr;
  for (const ErrorWords& entry : ERROR_WORDS) {
    if (entry.code == message_id) words = entry.words != nullptr ? entry.words : std::strerror(entry.error);
  }
  if (words == nullptr) {
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
  }
  const int length = std::snprintf(buffer, size, "%s\r\n", words);
  if (length < 0 || static_cast<DWORD>(length) >= size) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  return static_cast<DWORD>(length);
}
