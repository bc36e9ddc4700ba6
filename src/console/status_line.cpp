#include "console/status_line.h"

#include <cstdarg>

#include "console/console_state.h"
#include "console/output.h"
#include "seam/system_calls.h"

namespace {
constexpr int kLongestRow = 2048;   // rows this wide or wider are never read
constexpr int kStatusCells = 80;    // a status text must be shorter than this
constexpr int kFormatUnits = 1024;  // wvsprintfW never writes more
constexpr unsigned kDefault = 0xFFFF;

HANDLE Output() { return GetStdHandle(STD_OUTPUT_HANDLE); }

bool QueryScreen(CONSOLE_SCREEN_BUFFER_INFO* info) { return ConsoleScreen.GetBufferInfo(Output(), info) != 0; }

bool IsBlank(const CHAR_INFO& cell) { return cell.Char.UnicodeChar == L' '; }

// Reads count cells of a row, starting at a column, into cells[0..count-1].
bool ReadRow(CHAR_INFO* cells, int column, int row, int count) {
  SMALL_RECT region = {SHORT(column), SHORT(row), SHORT(column + count - 1), SHORT(row)};
  return ConsoleScreen.ReadCells(Output(), cells, COORD{SHORT(count), 1}, COORD{0, 0}, &region) != 0;
}

// Writes cells[first..last] of a buffer of count cells to the screen, the buffer's cell 0 at origin.
void WriteRun(const CHAR_INFO* cells, int count, COORD origin, int first, int last) {
  SMALL_RECT region = {SHORT(origin.X + first), origin.Y, SHORT(origin.X + last), origin.Y};
  ConsoleScreen.WriteCells(Output(), cells, COORD{SHORT(count), 1}, COORD{SHORT(first), 0}, &region);
}

// wvsprintfW stops at kFormatUnits with the terminator; a failure leaves an empty text.
void FormatText(wchar_t* text, const wchar_t* format, va_list args) {
  int length = wvsprintfW(text, format, args);
  text[length < 0 ? 0 : (length < kFormatUnits ? length : kFormatUnits - 1)] = 0;
}

bool IsRedirected() {
  if (Console) return Console->redirected != 0;
  // Without a context ask the output itself, so that no "\r" ever reaches a file.
  return GetOutputMode() == OutputMode::Redirected;
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

COORD GetCursorPosition() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  return QueryScreen(&info) ? info.dwCursorPosition : COORD{0, 0};
}

int RowTextEnd(int row) {
  int width = GetScreenWidth();
  if (width >= kLongestRow) return 0;
  // On the stack rather than static: the two scan threads may ask at the same time.
  CHAR_INFO cells[kLongestRow];
  if (!ReadRow(cells, 0, row, width)) return 0;
  for (int i = width - 1; i >= 0; --i)
    if (!IsBlank(cells[i])) return i + 1;
  return 0;
}

int PutTextAt(uint32_t cell, const wchar_t* text) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!QueryScreen(&info)) return 0;
  // The row first, so that "end of the cursor's row" looks at the cursor's row.
  int row = CellRow(cell) == kDefault ? info.dwCursorPosition.Y : int(CellRow(cell));
  int column = CellColumn(cell) == kDefault ? RowTextEnd(row) : int(CellColumn(cell));

  int length = lstrlenW(text);
  if (length >= kStatusCells) return length;
  if (length == 0) return 0;
  CHAR_INFO cells[kStatusCells] = {};
  if (!ReadRow(cells, column, row, length)) return length;
  WORD attributes = cells[0].Attributes;

  // Unchanged letters split the writes; unchanged blanks between changes are cheaper to rewrite.
  int first = length - 1, last = 0;
  for (int i = 0; i < length; ++i) {
    if (cells[i].Char.UnicodeChar != text[i]) {
      cells[i].Char.UnicodeChar = text[i];
      cells[i].Attributes = attributes;
      if (i < first) first = i;
      last = i;
    } else if (text[i] != L' ' && first <= last) {
      WriteRun(cells, length, COORD{SHORT(column), SHORT(row)}, first, last);
      first = length - 1;
      last = 0;
    }
  }
  if (first <= last) WriteRun(cells, length, COORD{SHORT(column), SHORT(row)}, first, last);
  return length;
}

void PrintAt(uint32_t cell, const wchar_t* format, ...) {
  wchar_t text[kFormatUnits];
  va_list args;
  va_start(args, format);
  FormatText(text, format, args);
  va_end(args);
  PutTextAt(cell, text);
  ConsoleScreen.ShownAt(cell, text);
}

int StatusPrint(const wchar_t* format, ...) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!QueryScreen(&info)) return 0;
  wchar_t text[kFormatUnits];
  va_list args;
  va_start(args, format);
  FormatText(text, format, args);
  va_end(args);
  return PutTextAt(MakeCell(0, info.dwCursorPosition.Y), text);
}

void ClearLine(int row) {
  if (IsRedirected()) return;
  int width = GetScreenWidth();
  if (row == -1) row = GetCursorRow();
  if (width < kLongestRow) {
    CHAR_INFO cells[kLongestRow];
    if (ReadRow(cells, 0, row, width)) {
      for (int i = 0; i < width; ++i) cells[i].Char.UnicodeChar = L' ';
      WriteRun(cells, width, COORD{0, SHORT(row)}, 0, width - 1);
    }
  }
  ConsolePrint(L"\r");
}

void StartCleanLine() {
  // The crash-dump writer calls this too, perhaps with the heap broken or exhausted: no heap here.
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!QueryScreen(&info)) return;  // redirected output has no row to clean
  if (info.dwCursorPosition.X > 0) {
    ConsolePrintA("\n");
    return;
  }
  int width = info.dwSize.X;
  if (width <= 0 || width >= kLongestRow) return;
  CHAR_INFO cells[kLongestRow];
  if (!ReadRow(cells, 0, info.dwCursorPosition.Y, width)) return;
  for (int i = 0; i < width; ++i) {
    if (!IsBlank(cells[i])) {
      ConsolePrintA("\n");
      return;
    }
  }
}
