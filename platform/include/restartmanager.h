// The Restart Manager (rstrtmgr), as far as the program asks it which
// process holds a port it could not open. Names and values as the SDK has
// them. Here the platform answers from /proc: the process that has the
// device open or locked, or whose lock file names it, with its command name.
#pragma once

#include <windows.h>

#define CCH_RM_SESSION_KEY 32
#define CCH_RM_MAX_APP_NAME 255
#define CCH_RM_MAX_SVC_NAME 63

typedef struct _RM_UNIQUE_PROCESS {
  DWORD dwProcessId;
  FILETIME ProcessStartTime;
} RM_UNIQUE_PROCESS, *PRM_UNIQUE_PROCESS;

typedef enum _RM_APP_TYPE {
  RmUnknownApp = 0,
  RmMainWindow = 1,
  RmOtherWindow = 2,
  RmService = 3,
  RmExplorer = 4,
  RmConsole = 5,
  RmCritical = 1000
} RM_APP_TYPE;

typedef struct _RM_PROCESS_INFO {
  RM_UNIQUE_PROCESS Process;
  WCHAR strAppName[CCH_RM_MAX_APP_NAME + 1];
  WCHAR strServiceShortName[CCH_RM_MAX_SVC_NAME + 1];
  RM_APP_TYPE ApplicationType;
  ULONG AppStatus;
  DWORD TSSessionId;
  BOOL bRestartable;
} RM_PROCESS_INFO, *PRM_PROCESS_INFO;

DWORD WINAPI RmStartSession(DWORD* session, DWORD flags, WCHAR session_key[]);
// Only files count here; applications and services given are ignored.
DWORD WINAPI RmRegisterResources(DWORD session, UINT file_count, LPCWSTR file_names[], UINT application_count,
                                 RM_UNIQUE_PROCESS applications[], UINT service_count, LPCWSTR service_names[]);
// The processes holding the files registered: ERROR_MORE_DATA (with *needed
// set) when *count is too small for them.
DWORD WINAPI RmGetList(DWORD session, UINT* needed, UINT* count, RM_PROCESS_INFO affected[], LPDWORD reboot_reasons);
DWORD WINAPI RmEndSession(DWORD session);
