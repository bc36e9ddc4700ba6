#pragma once
// The control handler that turns Ctrl+C and friends into an orderly
// cancel, standalone detection, the final key wait and the cursor.
#include <windows.h>

#include "console/console_state.h"

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
