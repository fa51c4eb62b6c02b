// ole32: the COM start of a thread. Names and values as the SDK has them.
#pragma once

#include <windows.h>

HRESULT WINAPI CoInitialize(LPVOID reserved);
void WINAPI CoUninitialize();
