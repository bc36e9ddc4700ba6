#include "console/control.h"

#include "base/memory.h"
#include "base/run_options.h"
#include "console/output.h"
#include "console/status_line.h"
#include "seam/system_calls.h"

namespace {
constexpr DWORD kLongestHandlerWait = 2000;  // ms; a handler stuck in a write must not keep the process alive

// Control events whose handler has not printed its line yet.
volatile LONG HandlersRunning = 0;

// Started in a console of its own: no shell is left behind to show the output once the window closes.
bool OwnsConsoleWindow() {
  HWND window = ConsoleScreen.GetWindow();
  return window && ConsoleScreen.WindowOwner(window) == GetCurrentProcessId();
}

bool IsClosingKey(const INPUT_RECORD& record) {
  // A lone Shift, Ctrl, Alt, Pause or Caps Lock does not close the window.
  return record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
         (record.Event.KeyEvent.wVirtualKeyCode < VK_SHIFT || record.Event.KeyEvent.wVirtualKeyCode > VK_CAPITAL);
}
}  // namespace

ConsoleContext* CreateConsoleContext() {
  SetConsoleCtrlHandler(ControlHandler, TRUE);
  ConsoleContext* context = static_cast<ConsoleContext*>(MemAlloc(sizeof(ConsoleContext)));
  context->hStdOut = GetStdHandle(STD_OUTPUT_HANDLE);
  context->hStdIn = GetStdHandle(STD_INPUT_HANDLE);
  context->redirected = GetFileType(context->hStdOut) != FILE_TYPE_CHAR;
  SetConsoleMode(context->hStdIn, ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT);
  Console = context;
  return context;
}

void ReleaseConsoleContext(ConsoleContext* context) {
  Sleep(1);
  if (Console == context) Console = nullptr;
  MemFree(context);
}

BOOL WINAPI ControlHandler(DWORD eventType) {
  InterlockedIncrement(&HandlersRunning);
  CancelRequested = 1;
  Sleep(100);
  // Not just behind text: the scan leaves the cursor at column 0 of its label row, which keeps its count.
  StartCleanLine();
  switch (eventType) {
    case CTRL_C_EVENT: ConsolePrint(L"Ctrl+C pressed -> abort\n"); break;
    case CTRL_BREAK_EVENT: ConsolePrint(L"Ctrl+Break pressed -> abort\n"); break;
    case CTRL_CLOSE_EVENT: ConsolePrint(L"Close Button pressed -> abort\n"); break;
    case CTRL_LOGOFF_EVENT: ConsolePrint(L"User LogOff -> abort\n"); break;
    case CTRL_SHUTDOWN_EVENT: ConsolePrint(L"System Shutdown -> abort\n"); break;
    default: break;
  }
  InterlockedDecrement(&HandlersRunning);
  return TRUE;
}

void WaitForControlHandler() {
  for (DWORD waited = 0; HandlersRunning > 0 && waited < kLongestHandlerWait; waited += 10) Sleep(10);
}

int IsStandalone(const ConsoleContext* context) { return !context->redirected && OwnsConsoleWindow(); }

void WaitForKeyIfStandalone(const ConsoleContext* context) {
  if (RunOptions.NoWaitForKey) return;
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (ConsoleScreen.GetBufferInfo(context->hStdOut, &info) &&
      (info.dwCursorPosition.X != 0 || info.dwCursorPosition.Y != 0))
    ConsolePrint(L"\n");
  if (OwnsConsoleWindow()) {
    // Keys pressed during the run do not count.
    Sleep(300);
    ConsoleScreen.FlushInput(context->hStdIn);
    ConsolePrint(L"Press any key to close");
    for (;;) {
      Sleep(100);
      INPUT_RECORD record;
      DWORD read = 0;
      // Input that cannot be read (not a console) would never deliver the key.
      if (!ConsoleScreen.ReadInput(context->hStdIn, &record, 1, &read)) break;
      if (read == 1 && IsClosingKey(record)) break;
    }
  }
  Sleep(100);
}

void SetCursorVisible(int visible) {
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  CONSOLE_CURSOR_INFO info;
  if (!GetConsoleCursorInfo(output, &info)) return;
  info.bVisible = visible ? TRUE : FALSE;
  SetConsoleCursorInfo(output, &info);
}
