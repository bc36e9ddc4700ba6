#pragma once
// The console's process-wide state, read by every console operation.
#include <windows.h>

#include <cstdint>

struct ConsoleContext {
  HANDLE hStdOut;
  HANDLE hStdIn;
  int32_t redirected;  // 1 when standard output is not a console
};

// Set once by the control handler, never cleared; polled by the scanners, the checksum loops and the drivers.
extern volatile LONG CancelRequested;
// The one context of the process (null before creation and after release).
extern ConsoleContext* Console;
