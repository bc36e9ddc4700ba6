#include "console/status_line.h"

#include <windows.h>

#include "console/output.h"

// The first cut: geometry queries and line hygiene. The in-place text writes come with the status line.
namespace {
bool QueryScreen(CONSOLE_SCREEN_BUFFER_INFO* info) {
  return GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), info) != 0;
}
}  // namespace

int GetScreenWidth() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  return QueryScreen(&info) ? info.dwSize.X : 80;
}

int GetScreenHeight() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  return QueryScreen(&info) ? info.dwSize.Y : 25;
}

int GetCursorColumn() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  return QueryScreen(&info) ? info.dwCursorPosition.X : 0;
}

int GetCursorRow() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  return QueryScreen(&info) ? info.dwCursorPosition.Y : 0;
}

void PrintAt(uint32_t, const wchar_t*, ...) {}

int StatusPrint(const wchar_t*, ...) { return 0; }

void ClearLine(int) {
  if (GetOutputMode() == OutputMode::Redirected) return;
  ConsolePrint(L"\r");
}

void StartCleanLine() {
  if (GetCursorColumn() > 0) ConsolePrintA("\n");
}
