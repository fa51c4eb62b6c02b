// Files named by a path, as CreateFileA opens them (the serial devices'
// "\\.\NAME" are comm's). ReadFile and WriteFile hand a file's handle here.
#pragma once

#include <windows.h>

HANDLE create_disk_file(LPCSTR name, DWORD access, DWORD disposition, DWORD flags);

// Whether handle is a file of this unit; read and write it as ReadFile and
// WriteFile do.
bool is_disk_file(HANDLE handle);
BOOL read_disk_file(HANDLE handle, LPVOID buffer, DWORD to_read, LPDWORD read_count);
BOOL write_disk_file(HANDLE handle, LPCVOID buffer, DWORD to_write, LPDWORD written);
