// The registry, as far as the program uses it (advapi32): the system's list
// of serial ports, HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM, whose
// values name a device and hold the port name to type, answered from the
// kernel's list of serial devices; and the current user's string values under
// HKEY_CURRENT_USER\Software\Maker\Program, kept in a file under the XDG
// config folder.
#pragma once

#include "types.h"

typedef LONG LSTATUS;
typedef DWORD REGSAM;
typedef HKEY* PHKEY;

#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000001)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000002)))
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define REG_OPTION_NON_VOLATILE 0
#define REG_CREATED_NEW_KEY 1
#define REG_OPENED_EXISTING_KEY 2
#define REG_SZ 1
#define ERROR_MORE_DATA 234

LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR sub_key, DWORD options, REGSAM access, PHKEY result);
LSTATUS WINAPI RegEnumValueA(HKEY key, DWORD index, LPSTR value_name, LPDWORD value_name_length, LPDWORD reserved,
                             LPDWORD type, LPBYTE data, LPDWORD data_length);
LSTATUS WINAPI RegCloseKey(HKEY key);
LSTATUS WINAPI RegCreateKeyExA(HKEY key, LPCSTR sub_key, DWORD reserved, LPSTR class_name, DWORD options, REGSAM access,
                               LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition);
LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR value_name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                LPDWORD data_length);
LSTATUS WINAPI RegSetValueExA(HKEY key, LPCSTR value_name, DWORD reserved, DWORD type, const BYTE* data,
                              DWORD data_length);
