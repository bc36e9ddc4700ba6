#pragma once
// The console's process-wide state: the control handler that turns Ctrl+C and friends into an orderly
// cancel, standalone detection, the final key wait and the cursor.
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

ConsoleContext* CreateConsoleContext();
void ReleaseConsoleContext(ConsoleContext* context);
BOOL WINAPI ControlHandler(DWORD eventType);
// A cancel winds the run down faster than the handler prints its line: the process waits for that line
// before it ends.
void WaitForControlHandler();
// True when the console window belongs to this process and output is not redirected.
int IsStandalone(const ConsoleContext* context);
void WaitForKeyIfStandalone(const ConsoleContext* context);
void SetCursorVisible(int visible);
