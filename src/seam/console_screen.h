#pragma once
// The console screen-buffer and window calls behind the status line and the window sizing. They go through
// this one process-wide record, which holds the Win32 calls; tests put a simulated screen in their place.
#include <windows.h>

struct ConsoleScreenCalls {
  BOOL(WINAPI* GetBufferInfo)(HANDLE output, PCONSOLE_SCREEN_BUFFER_INFO info);
  BOOL(WINAPI* ReadCells)(HANDLE output, PCHAR_INFO cells, COORD cellsSize, COORD cellsOrigin, PSMALL_RECT region);
  BOOL(WINAPI* WriteCells)(HANDLE output, const CHAR_INFO* cells, COORD cellsSize, COORD cellsOrigin,
                           PSMALL_RECT region);
  BOOL(WINAPI* SetBufferSize)(HANDLE output, COORD size);
  HWND(WINAPI* GetWindow)();
  BOOL(WINAPI* GetWindowRect)(HWND window, LPRECT rect);
  BOOL(WINAPI* MoveWindow)(HWND window, int x, int y, int width, int height, BOOL repaint);
  // GetDeviceCaps of the display (HORZRES, VERTRES), with the screen DC taken and given back around it.
  int (*DisplayCaps)(int index);
};

extern ConsoleScreenCalls ConsoleScreen;

// Puts every entry back to its Win32 call.
void RestoreConsoleScreenCalls();
