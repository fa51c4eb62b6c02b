// The process's environment variables.
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

// SetEnvironmentVariableA: setenv, or unsetenv for a null value. A name that
// is empty or holds "=" is refused, as Windows refuses it.
BOOL WINAPI SetEnvironmentVariableA(LPCSTR name, LPCSTR value) {
  if (name == nullptr || *name == '\0' || std::strchr(name, '=') != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const int result = value == nullptr ? unsetenv(name) : setenv(name, value, 1);
  if (result != 0) {
    SetLastError(errno == ENOMEM ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return TRUE;
}
