#include "fake_screen.h"

#include "console/output.h"

FakeScreen Screen;

namespace {
BOOL WINAPI FakeGetBufferInfo(HANDLE, PCONSOLE_SCREEN_BUFFER_INFO info) {
  if (Screen.queryFails) return FALSE;
  *info = {};
  info->dwSize = COORD{SHORT(Screen.width), SHORT(Screen.height)};
  info->dwCursorPosition = Screen.cursor;
  return TRUE;
}

// Copies between the screen and a caller's buffer the way the console does, clipping the region to the screen.
BOOL Transfer(CHAR_INFO* buffer, COORD size, COORD origin, PSMALL_RECT region, bool toScreen) {
  if (region->Top < 0 || region->Top >= Screen.height || region->Left < 0 || region->Left >= Screen.width)
    return FALSE;
  if (region->Right >= Screen.width) region->Right = SHORT(Screen.width - 1);
  if (region->Bottom >= Screen.height) region->Bottom = SHORT(Screen.height - 1);
  for (int row = region->Top; row <= region->Bottom; ++row) {
    for (int column = region->Left; column <= region->Right; ++column) {
      CHAR_INFO& inBuffer = buffer[(origin.Y + row - region->Top) * size.X + origin.X + column - region->Left];
      if (toScreen)
        Screen.Cell(row, column) = inBuffer;
      else
        inBuffer = Screen.Cell(row, column);
    }
  }
  return TRUE;
}

BOOL WINAPI FakeReadCells(HANDLE, PCHAR_INFO cells, COORD size, COORD origin, PSMALL_RECT region) {
  if (Screen.readFails) return FALSE;
  return Transfer(cells, size, origin, region, false);
}

BOOL WINAPI FakeWriteCells(HANDLE, const CHAR_INFO* cells, COORD size, COORD origin, PSMALL_RECT region) {
  Screen.writes.push_back({region->Top, region->Left, region->Right});
  return Transfer(const_cast<CHAR_INFO*>(cells), size, origin, region, true);
}

BOOL WINAPI FakeSetBufferSize(HANDLE, COORD size) {
  Screen.bufferResized = true;
  Screen.newBufferSize = size;
  return TRUE;
}

HWND WINAPI FakeGetWindow() { return reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234)); }

BOOL WINAPI FakeGetWindowRect(HWND, LPRECT rect) {
  if (Screen.rectFails) return FALSE;
  *rect = Screen.windowRect;
  return TRUE;
}

BOOL WINAPI FakeMoveWindow(HWND, int x, int y, int width, int height, BOOL) {
  Screen.moved = true;
  Screen.movedTo = RECT{x, y, width, height};
  return TRUE;
}

DWORD FakeWindowOwner(HWND) { return Screen.windowOwner; }

BOOL WINAPI FakeFlushInput(HANDLE) {
  Screen.flushed = true;
  return TRUE;
}

BOOL WINAPI FakeReadInput(HANDLE, PINPUT_RECORD records, DWORD, LPDWORD read) {
  if (Screen.inputRead >= Screen.input.size()) return FALSE;
  records[0] = Screen.input[Screen.inputRead++];
  *read = 1;
  return TRUE;
}

int FakeDisplayCaps(int index) { return index == HORZRES ? Screen.displayWidth : Screen.displayHeight; }
}  // namespace

void FakeScreen::Reset(int columns, int rows) {
  *this = FakeScreen();
  width = columns;
  height = rows;
  CHAR_INFO blank = {};
  blank.Char.UnicodeChar = L' ';
  blank.Attributes = 0x07;
  cells.assign(size_t(columns) * rows, blank);
}

void FakeScreen::Show(int row, int column, const std::wstring& text) {
  for (size_t i = 0; i < text.size(); ++i) Cell(row, column + int(i)).Char.UnicodeChar = text[i];
}

std::wstring FakeScreen::RowText(int row) const {
  std::wstring text;
  for (int column = 0; column < width; ++column) text += cells[size_t(row) * width + column].Char.UnicodeChar;
  return text.substr(0, text.find_last_not_of(L' ') + 1);
}

FakeConsoleScope::FakeConsoleScope() {
  Screen.Reset(80, 25);
  ConsoleScreen.GetBufferInfo = FakeGetBufferInfo;
  ConsoleScreen.ReadCells = FakeReadCells;
  ConsoleScreen.WriteCells = FakeWriteCells;
  ConsoleScreen.SetBufferSize = FakeSetBufferSize;
  ConsoleScreen.GetWindow = FakeGetWindow;
  ConsoleScreen.GetWindowRect = FakeGetWindowRect;
  ConsoleScreen.MoveWindow = FakeMoveWindow;
  ConsoleScreen.DisplayCaps = FakeDisplayCaps;
  ConsoleScreen.WindowOwner = FakeWindowOwner;
  ConsoleScreen.FlushInput = FakeFlushInput;
  ConsoleScreen.ReadInput = FakeReadInput;
  CreatePipe(&read_, &write_, nullptr, 1 << 16);
  SetOutputHandleForTesting(write_);
}

FakeConsoleScope::~FakeConsoleScope() {
  RestoreConsoleScreenCalls();
  SetOutputHandleForTesting(GetStdHandle(STD_OUTPUT_HANDLE));
  CloseHandle(read_);
  CloseHandle(write_);
}

std::string FakeConsoleScope::TakeOutput() {
  std::string out;
  DWORD available = 0;
  while (PeekNamedPipe(read_, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
    char chunk[256];
    DWORD read = 0;
    if (!ReadFile(read_, chunk, sizeof chunk, &read, nullptr) || read == 0) break;
    out.append(chunk, read);
  }
  return out;
}
