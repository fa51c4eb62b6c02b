// The system timer's period (winmm), which Windows programs may raise for
// finer sleeps and timeouts.
#pragma once

#include <windows.h>

typedef UINT MMRESULT;

#define TIMERR_NOERROR 0
#define TIMERR_NOCANDO 97

MMRESULT WINAPI timeBeginPeriod(UINT period_ms);
MMRESULT WINAPI timeEndPeriod(UINT period_ms);
