// timeBeginPeriod and timeEndPeriod: Linux times every wait to the
// microsecond already, so there is no period to change; the calls succeed for
// every period Windows accepts (1 ms or more) and change nothing.
#include <mmsystem.h>

MMRESULT WINAPI timeBeginPeriod(UINT period_ms) { return period_ms >= 1 ? TIMERR_NOERROR : TIMERR_NOCANDO; }

MMRESULT WINAPI timeEndPeriod(UINT period_ms) { return period_ms >= 1 ? TIMERR_NOERROR : TIMERR_NOCANDO; }
