#pragma once
// The in-place status line: short texts written straight into the console screen buffer, so progress
// is rewritten on one row. With redirected output every operation does nothing.
#include <windows.h>

#include <cstdint>

// A console cell: column in the low 16 bits, row in the high 16 bits.
inline uint32_t MakeCell(unsigned column, unsigned row) { return (column & 0xFFFF) | ((row & 0xFFFF) << 16); }
inline unsigned CellColumn(uint32_t cell) { return cell & 0xFFFF; }
inline unsigned CellRow(uint32_t cell) { return cell >> 16; }

// Geometry of the standard output's screen buffer; the fallbacks (80, 25, 0, 0) when it cannot be queried.
int GetScreenWidth();
int GetScreenHeight();
int GetCursorColumn();
int GetCursorRow();
// The cursor as one position; all zero when it cannot be queried.
COORD GetCursorPosition();

// Column just after the last non-blank cell of a row; 0 for a blank or unreadable row.
int RowTextEnd(int row);
// Writes a text of fewer than 80 characters at a cell (column in the low 16 bits, row in the high 16 bits),
// rewriting only the cells that change. Column 0xFFFF means the end of the row's text, row 0xFFFF the cursor's
// row. Returns the text length, 0 when the console cannot be queried.
int PutTextAt(uint32_t cell, const wchar_t* text);
// Formats a text and puts it at a cell as PutTextAt does.
void PrintAt(uint32_t cell, const wchar_t* format, ...);
// Formats a text and puts it at column 0 of the cursor's row; 0 when the console cannot be queried.
int StatusPrint(const wchar_t* format, ...);
// Blanks a row (-1: the cursor's row), keeping its colours, and returns the cursor to column 0.
void ClearLine(int row);
// Makes sure the next message starts on a fresh line.
void StartCleanLine();
