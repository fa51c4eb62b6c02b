// kernel32: private heaps, errors, process basics, critical sections, timing.
#pragma once

#include "win32/types.h"

// Error codes reported through GetLastError.
#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_GEN_FAILURE 31
#define ERROR_SHARING_VIOLATION 32
#define ERROR_NOT_SUPPORTED 50
#define ERROR_INVALID_PARAMETER 87
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_INVALID_NAME 123
#define ERROR_LOCK_FAILED 167
#define ERROR_FILENAME_EXCED_RANGE 206
#define ERROR_OPERATION_ABORTED 995
#define ERROR_IO_PENDING 997
#define ERROR_BAD_DEVICE 1200
#define ERROR_INVALID_WINDOW_HANDLE 1400
#define ERROR_CLASS_ALREADY_EXISTS 1410
#define ERROR_CLASS_DOES_NOT_EXIST 1411
#define ERROR_CLASS_HAS_WINDOWS 1412
#define ERROR_FILE_EXISTS 80
#define ERROR_DISK_FULL 112
#define ERROR_ALREADY_EXISTS 183
#define ERROR_FILE_TOO_LARGE 223
#define ERROR_IO_DEVICE 1117
#define ERROR_DISK_QUOTA_EXCEEDED 1295
#define ERROR_INVALID_OWNER 1307
#define ERROR_MR_MID_NOT_FOUND 317

DWORD WINAPI GetLastError();
void WINAPI SetLastError(DWORD error);

// The system's words for an error code. Only FORMAT_MESSAGE_FROM_SYSTEM with
// FORMAT_MESSAGE_IGNORE_INSERTS into the caller's buffer; on Linux the words
// are the system's own for the errno behind the code ("No space left on
// device"), as every other program there says them.
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
DWORD WINAPI FormatMessageA(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id, LPSTR buffer, DWORD size,
                            va_list* arguments);

// Private heaps. Each heap keeps track of its blocks, so destroying it frees all of them.
#define HEAP_NO_SERIALIZE 0x00000001
#define HEAP_GENERATE_EXCEPTIONS 0x00000004
#define HEAP_ZERO_MEMORY 0x00000008
#define HEAP_REALLOC_IN_PLACE_ONLY 0x00000010

HANDLE WINAPI HeapCreate(DWORD options, SIZE_T initial_size, SIZE_T maximum_size);
BOOL WINAPI HeapDestroy(HANDLE heap);
LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
LPVOID WINAPI HeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T bytes);
BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, LPVOID block);
SIZE_T WINAPI HeapSize(HANDLE heap, DWORD flags, LPCVOID block);
HANDLE WINAPI GetProcessHeap();

// One entry of a heap walk. Our heaps report only their live blocks (BUSY),
// newest first; Windows also reports regions, which callers pass over.
#define ERROR_NO_MORE_ITEMS 259
#define PROCESS_HEAP_REGION 0x0001
#define PROCESS_HEAP_UNCOMMITTED_RANGE 0x0002
#define PROCESS_HEAP_ENTRY_BUSY 0x0004
typedef struct _PROCESS_HEAP_ENTRY {
  PVOID lpData;
  DWORD cbData;
  BYTE cbOverhead;
  BYTE iRegionIndex;
  WORD wFlags;
  union {
    struct {
      HANDLE hMem;
      DWORD dwReserved[3];
    } Block;
    struct {
      DWORD dwCommittedSize;
      DWORD dwUnCommittedSize;
      LPVOID lpFirstBlock;
      LPVOID lpLastBlock;
    } Region;
  };
} PROCESS_HEAP_ENTRY, *LPPROCESS_HEAP_ENTRY;

// Start with lpData null; each call gives the next entry, FALSE with
// ERROR_NO_MORE_ITEMS after the last.
BOOL WINAPI HeapWalk(HANDLE heap, LPPROCESS_HEAP_ENTRY entry);

// Global memory, as the clipboard takes it. A GMEM_MOVEABLE block is known by
// a handle and reached through GlobalLock; a GMEM_FIXED block's handle is its
// address.
#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)
#define ERROR_NOT_LOCKED 158
typedef HANDLE HGLOBAL;

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes);
LPVOID WINAPI GlobalLock(HGLOBAL memory);
BOOL WINAPI GlobalUnlock(HGLOBAL memory);
SIZE_T WINAPI GlobalSize(HGLOBAL memory);
HGLOBAL WINAPI GlobalFree(HGLOBAL memory);

// Files and devices. CreateFileA opens serial devices ("\\.\COM17") and files
// by path (platform/kernel/disk_file.cpp); ReadFile, WriteFile and CloseHandle
// work on every handle it returns.
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_READ_DATA 0x0001
#define FILE_WRITE_DATA 0x0002
#define FILE_APPEND_DATA 0x0004
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400
#define FILE_FLAG_OVERLAPPED 0x40000000
#define FILE_FLAG_OPEN_REPARSE_POINT 0x00200000
#define FILE_TYPE_UNKNOWN 0x0000
#define FILE_TYPE_DISK 0x0001
#define FILE_TYPE_CHAR 0x0002
#define FILE_TYPE_PIPE 0x0003

typedef struct _BY_HANDLE_FILE_INFORMATION {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD dwVolumeSerialNumber;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD nNumberOfLinks;
  DWORD nFileIndexHigh;
  DWORD nFileIndexLow;
} BY_HANDLE_FILE_INFORMATION, *LPBY_HANDLE_FILE_INFORMATION;

HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD share_mode, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE template_file);
BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD to_read, LPDWORD read, LPOVERLAPPED overlapped);
BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD to_write, LPDWORD written, LPOVERLAPPED overlapped);
BOOL WINAPI CloseHandle(HANDLE object);
DWORD WINAPI GetFileType(HANDLE file);
BOOL WINAPI GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information);
// The calling process's pseudo-handle, and how many kernel handles it holds open.
HANDLE WINAPI GetCurrentProcess();
BOOL WINAPI GetProcessHandleCount(HANDLE process, LPDWORD count);

// Waiting, time, process and thread basics.
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED 0x00000080u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define MAXIMUM_WAIT_OBJECTS 64

void WINAPI Sleep(DWORD milliseconds);

// Waitable timers: handles that MsgWaitForMultipleObjects can wait on. A due
// time below zero is relative, in units of 100 ns; one above zero is a
// FILETIME (100 ns units since 1601, UTC). A synchronization timer (not
// manual-reset) is reset by the wait that it satisfies.
#define CREATE_WAITABLE_TIMER_MANUAL_RESET 0x00000001
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#define TIMER_ALL_ACCESS 0x001F0003
typedef void(CALLBACK* PTIMERAPCROUTINE)(LPVOID argument, DWORD low_time, DWORD high_time);

HANDLE WINAPI CreateWaitableTimerW(LPSECURITY_ATTRIBUTES security, BOOL manual_reset, LPCWSTR name);
HANDLE WINAPI CreateWaitableTimerExW(LPSECURITY_ATTRIBUTES security, LPCWSTR name, DWORD flags, DWORD access);
BOOL WINAPI SetWaitableTimer(HANDLE timer, const LARGE_INTEGER* due_time, LONG period_ms, PTIMERAPCROUTINE routine,
                             LPVOID routine_argument, BOOL resume);
BOOL WINAPI CancelWaitableTimer(HANDLE timer);

// Console control events. Linux has no console: they stand for the signals
// of the terminal and the session (see SetConsoleCtrlHandler).
#define CTRL_C_EVENT 0
#define CTRL_BREAK_EVENT 1
#define CTRL_CLOSE_EVENT 2
#define CTRL_LOGOFF_EVENT 5
#define CTRL_SHUTDOWN_EVENT 6
typedef BOOL(WINAPI* PHANDLER_ROUTINE)(DWORD event);

BOOL WINAPI SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add);
DWORD WINAPI GetTickCount();
ULONGLONG WINAPI GetTickCount64();
HMODULE WINAPI GetModuleHandleA(LPCSTR module_name);
DWORD WINAPI GetCurrentThreadId();
DWORD WINAPI GetCurrentProcessId();
void WINAPI ExitProcess(UINT exit_code);
int WINAPI MulDiv(int number, int numerator, int denominator);
BOOL WINAPI SetEnvironmentVariableA(LPCSTR name, LPCSTR value);

// Critical sections. The record is opaque to callers; its size and layout are
// the SDK's, and the lock behind it is recursive, as on Windows.
typedef struct _RTL_CRITICAL_SECTION {
  PVOID DebugInfo;
  LONG LockCount;
  LONG RecursionCount;
  HANDLE OwningThread;
  HANDLE LockSemaphore;
  ULONG_PTR SpinCount;
} CRITICAL_SECTION, *LPCRITICAL_SECTION, *PCRITICAL_SECTION;

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section);
void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section);
BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION section);
void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section);
void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section);
