// Process and thread basics, time and MulDiv.
#include <windows.h>

#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// The module handle of the program itself: any stable, non-null address serves,
// since resources are not loaded from it.
const char program_module = 0;

}  // namespace

// Sleep: nanosleep, resumed after signals so the pause is never cut short.
void WINAPI Sleep(DWORD milliseconds) {
  timespec rest{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&rest, &rest) == -1 && errno == EINTR) {
  }
}

// GetTickCount64: milliseconds of the monotonic clock.
ULONGLONG WINAPI GetTickCount64() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<ULONGLONG>(now.tv_sec) * 1000u + static_cast<ULONGLONG>(now.tv_nsec) / 1000000u;
}

DWORD WINAPI GetTickCount() { return static_cast<DWORD>(GetTickCount64()); }

HMODULE WINAPI GetModuleHandleA(LPCSTR module_name) {
  if (module_name == nullptr) return reinterpret_cast<HMODULE>(const_cast<char*>(&program_module));
  SetLastError(ERROR_FILE_NOT_FOUND);
  return nullptr;
}

// Thread and process ids: the kernel's tid and pid.
DWORD WINAPI GetCurrentThreadId() { return static_cast<DWORD>(syscall(SYS_gettid)); }

DWORD WINAPI GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

void WINAPI ExitProcess(UINT exit_code) { std::exit(static_cast<int>(exit_code)); }

// MulDiv: number * numerator / denominator with a 64-bit product, rounded half
// away from zero; -1 when the denominator is 0 or the result does not fit.
int WINAPI MulDiv(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  long long product = static_cast<long long>(number) * numerator;
  bool negative = (product < 0) != (denominator < 0);
  unsigned long long magnitude = product < 0 ? 0ull - static_cast<unsigned long long>(product) : product;
  unsigned long long divisor = denominator < 0
                                   ? 0ull - static_cast<unsigned long long>(static_cast<long long>(denominator))
                                   : static_cast<unsigned long long>(denominator);
  unsigned long long quotient = (magnitude + divisor / 2) / divisor;
  if (quotient > 0x7fffffffull + (negative ? 1u : 0u)) return -1;
  return negative ? static_cast<int>(0ll - static_cast<long long>(quotient)) : static_cast<int>(quotient);
}
