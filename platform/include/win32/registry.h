// The registry, as far as the program reads it (advapi32): the system's list
// of serial ports, HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM, whose
// values name a device and hold the port name to type. Here the platform
// answers it from the kernel's list of serial devices.
#pragma once

#include "types.h"

typedef LONG LSTATUS;
typedef DWORD REGSAM;
typedef HKEY* PHKEY;

#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000002)))
#define KEY_QUERY_VALUE 0x0001
#define KEY_READ 0x20019
#define REG_SZ 1
#define ERROR_MORE_DATA 234

LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR sub_key, DWORD options, REGSAM access, PHKEY result);
LSTATUS WINAPI RegEnumValueA(HKEY key, DWORD index, LPSTR value_name, LPDWORD value_name_length, LPDWORD reserved,
                             LPDWORD type, LPBYTE data, LPDWORD data_length);
LSTATUS WINAPI RegCloseKey(HKEY key);
