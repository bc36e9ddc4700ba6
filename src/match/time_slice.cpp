#include "match/time_slice.h"

#include <windows.h>

namespace {
DWORD g_lastYield = 0;  // the matching runs on the main thread only
}

void YieldTimeSlice() {
  DWORD now = GetTickCount();
  if (now == g_lastYield) return;
  g_lastYield = now;
  Sleep(0);
}
