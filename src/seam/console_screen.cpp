#include "seam/console_screen.h"

namespace {
int ScreenDeviceCaps(int index) {
  HDC screen = GetDC(nullptr);
  if (!screen) return 0;
  int value = GetDeviceCaps(screen, index);
  ReleaseDC(nullptr, screen);
  return value;
}

DWORD WindowOwnerProcess(HWND window) {
  DWORD owner = 0;
  if (window) GetWindowThreadProcessId(window, &owner);
  return owner;
}

const ConsoleScreenCalls kWin32Calls = {GetConsoleScreenBufferInfo,
                                        ReadConsoleOutputW,
                                        WriteConsoleOutputW,
                                        SetConsoleScreenBufferSize,
                                        GetConsoleWindow,
                                        GetWindowRect,
                                        MoveWindow,
                                        ScreenDeviceCaps,
                                        WindowOwnerProcess,
                                        FlushConsoleInputBuffer,
                                        ReadConsoleInputW};
}  // namespace

ConsoleScreenCalls ConsoleScreen = kWin32Calls;

void RestoreConsoleScreenCalls() { ConsoleScreen = kWin32Calls; }
