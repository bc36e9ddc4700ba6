#pragma once
// The console screen-buffer, window and key-input calls behind the status line, the window sizing and the
// final key wait. They go through this one process-wide record, which holds the Win32 calls; tests put a
// simulated console in their place.
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
  // Id of the process that owns a window (GetWindowThreadProcessId); 0 when unknown.
  DWORD (*WindowOwner)(HWND window);
  BOOL(WINAPI* FlushInput)(HANDLE input);
  BOOL(WINAPI* ReadInput)(HANDLE input, PINPUT_RECORD records, DWORD length, LPDWORD read);
};

extern ConsoleScreenCalls ConsoleScreen;

// Puts every entry back to its Win32 call.
void RestoreConsoleScreenCalls();
