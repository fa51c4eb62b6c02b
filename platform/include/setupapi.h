// setupapi: the devices of one class and what the system knows of each, as
// far as the program lists its serial ports (the "Ports" class). Names and
// values as the SDK has them. Here the platform answers from the kernel's
// list of serial devices (sysfs): a USB adapter's hardware id carries its
// vendor and product ids, its instance id its serial number.
#pragma once

#include <windows.h>

typedef PVOID HDEVINFO;

typedef struct _SP_DEVINFO_DATA {
  DWORD cbSize;
  GUID ClassGuid;
  DWORD DevInst;
  ULONG_PTR Reserved;
} SP_DEVINFO_DATA, *PSP_DEVINFO_DATA;

#define DIGCF_PRESENT 0x00000002

#define SPDRP_DEVICEDESC 0x00000000
#define SPDRP_HARDWAREID 0x00000001
#define SPDRP_MFG 0x0000000B
#define SPDRP_FRIENDLYNAME 0x0000000C
#define SPDRP_PHYSICAL_DEVICE_OBJECT_NAME 0x0000000E

#define REG_MULTI_SZ 7
#define ERROR_INVALID_DATA 13
#define ERROR_INVALID_USER_BUFFER 1784

// The present devices of a class (GUID_DEVCLASS_PORTS, {4d36e978-e325-11ce-
// bfc1-08002be10318}, is the only class with devices here), a snapshot until
// destroyed; INVALID_HANDLE_VALUE when the class is not given.
HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* class_guid, PCSTR enumerator, HWND parent, DWORD flags);
// The index-th device; FALSE with ERROR_NO_MORE_ITEMS after the last.
BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA data);
// A property's text (REG_SZ, or REG_MULTI_SZ for the hardware ids); FALSE
// with ERROR_INVALID_DATA when the device has none, ERROR_INSUFFICIENT_BUFFER
// (and *required set) when it does not fit.
BOOL WINAPI SetupDiGetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA data, DWORD property, PDWORD type,
                                              PBYTE buffer, DWORD size, PDWORD required);
BOOL WINAPI SetupDiGetDeviceInstanceIdA(HDEVINFO set, PSP_DEVINFO_DATA data, PSTR buffer, DWORD size, PDWORD required);
BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set);
