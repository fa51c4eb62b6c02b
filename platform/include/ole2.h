// ole32: drag and drop registration. Names and values as the SDK has them.
#pragma once

#include <objbase.h>

#define DRAGDROP_E_NOTREGISTERED (static_cast<HRESULT>(0x80040100L))
#define DRAGDROP_E_ALREADYREGISTERED (static_cast<HRESULT>(0x80040101L))
#define DRAGDROP_E_INVALIDHWND (static_cast<HRESULT>(0x80040102L))

HRESULT WINAPI RevokeDragDrop(HWND window);
