#pragma once
// The in-place status line: short texts written straight into the console screen buffer.
// With redirected output every operation does nothing.
#include <cstdint>

int GetScreenWidth();
int GetScreenHeight();
int GetCursorColumn();
int GetCursorRow();
// Writes a formatted text at a cell (column in the low 16 bits, row in the high 16 bits).
void PrintAt(uint32_t cell, const wchar_t* format, ...);
// Writes a formatted text at column 0 of the cursor's row.
int StatusPrint(const wchar_t* format, ...);
// Blanks a row (-1: the cursor's row) and returns the cursor to column 0.
void ClearLine(int row);
// Makes sure the next message starts on a fresh line.
void StartCleanLine();
