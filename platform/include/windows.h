// The subset of the Win32 API that the program calls, implemented for Linux by
// this layer. Code above the platform includes <windows.h> on both systems;
// on Windows it gets the SDK's header, here it gets this one.
#pragma once

// The SDK's windows.h brings these too, and programs rely on it (va_list).
#include <stdarg.h>

#include "win32/types.h"
#include "win32/kernel.h"
#include "win32/comm.h"
#include "win32/registry.h"
#include "win32/gdi.h"
#include "win32/user.h"
// As the SDK's windows.h, this brings the OLE declarations too.
#include "ole2.h"
