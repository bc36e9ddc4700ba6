#pragma once
// A simulated console behind the console seam, and a pipe that catches what the console code prints.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "console/output.h"
#include "seam/console_screen.h"

struct FakeScreen {
  int width = 80, height = 25;
  COORD cursor = {0, 0};
  bool queryFails = false, readFails = false, rectFails = false;
  std::vector<CHAR_INFO> cells;
  std::vector<std::pair<int, int>> writes;  // first and last column of every write
  int displayWidth = 1920, displayHeight = 1080;
  RECT window = {};
  COORD newBufferSize = {0, 0};  // stays {0, 0} while the buffer is not resized
  RECT movedTo = {};             // left, top, width, height; stays zero while the window is not moved
  DWORD windowOwner = 0;
  std::vector<INPUT_RECORD> input;  // delivered one by one; reading fails once they are used up
  size_t inputRead = 0;

  CHAR_INFO& Cell(int row, int column) { return cells[size_t(row) * width + column]; }
  void Show(int row, const std::wstring& text) {
    for (size_t i = 0; i < text.size(); ++i) Cell(row, int(i)).Char.UnicodeChar = text[i];
  }
  std::wstring RowText(int row) {
    std::wstring text;
    for (int column = 0; column < width; ++column) text += Cell(row, column).Char.UnicodeChar;
    return text.substr(0, text.find_last_not_of(L' ') + 1);
  }
};

inline FakeScreen Screen;

inline void ResetScreen(int columns, int rows) {
  Screen = FakeScreen();
  Screen.width = columns;
  Screen.height = rows;
  Screen.cells.assign(size_t(columns) * rows, CHAR_INFO{{L' '}, 0x07});
}

// One-row reads and writes as the console does them: the region is clipped to the screen.
inline BOOL Transfer(CHAR_INFO* buffer, COORD origin, PSMALL_RECT region, bool toScreen) {
  if (region->Top < 0 || region->Top >= Screen.height || region->Left < 0 || region->Left >= Screen.width)
    return FALSE;
  if (region->Right >= Screen.width) region->Right = SHORT(Screen.width - 1);
  for (int column = region->Left; column <= region->Right; ++column) {
    CHAR_INFO& theirs = buffer[origin.X + column - region->Left];
    CHAR_INFO& mine = Screen.Cell(region->Top, column);
    toScreen ? (mine = theirs) : (theirs = mine);
  }
  return TRUE;
}

inline BOOL WINAPI FakeBufferInfo(HANDLE, PCONSOLE_SCREEN_BUFFER_INFO info) {
  *info = {};
  info->dwSize = COORD{SHORT(Screen.width), SHORT(Screen.height)};
  info->dwCursorPosition = Screen.cursor;
  return !Screen.queryFails;
}
inline BOOL WINAPI FakeRead(HANDLE, PCHAR_INFO cells, COORD, COORD origin, PSMALL_RECT region) {
  return !Screen.readFails && Transfer(cells, origin, region, false);
}
inline BOOL WINAPI FakeWrite(HANDLE, const CHAR_INFO* cells, COORD, COORD origin, PSMALL_RECT region) {
  Screen.writes.push_back({region->Left, region->Right});
  return Transfer(const_cast<CHAR_INFO*>(cells), origin, region, true);
}
inline BOOL WINAPI FakeSetBufferSize(HANDLE, COORD size) {
  Screen.newBufferSize = size;
  return TRUE;
}
inline HWND WINAPI FakeWindow() { return reinterpret_cast<HWND>(INT_PTR(0x1234)); }
inline BOOL WINAPI FakeWindowRect(HWND, LPRECT rect) {
  *rect = Screen.window;
  return !Screen.rectFails;
}
inline BOOL WINAPI FakeMove(HWND, int x, int y, int width, int height, BOOL) {
  Screen.movedTo = RECT{x, y, width, height};
  return TRUE;
}
inline int FakeDisplayCaps(int index) { return index == HORZRES ? Screen.displayWidth : Screen.displayHeight; }
inline DWORD FakeOwner(HWND) { return Screen.windowOwner; }
inline BOOL WINAPI FakeFlush(HANDLE) { return TRUE; }
inline BOOL WINAPI FakeReadInput(HANDLE, PINPUT_RECORD records, DWORD, LPDWORD read) {
  if (Screen.inputRead >= Screen.input.size()) return FALSE;
  records[0] = Screen.input[Screen.inputRead++];
  *read = 1;
  return TRUE;
}

// Points the console seam at Screen (reset to 80 x 25) and the output at a pipe; undone by the destructor.
class FakeConsoleScope {
 public:
  FakeConsoleScope() {
    ResetScreen(80, 25);
    ConsoleScreen = {FakeBufferInfo, FakeRead, FakeWrite, FakeSetBufferSize, FakeWindow, FakeWindowRect,
                     FakeMove, FakeDisplayCaps, FakeOwner, FakeFlush, FakeReadInput};
    CreatePipe(&read_, &write_, nullptr, 1 << 16);
    SetOutputHandleForTesting(write_);
  }
  ~FakeConsoleScope() {
    RestoreConsoleScreenCalls();
    SetOutputHandleForTesting(GetStdHandle(STD_OUTPUT_HANDLE));
    CloseHandle(read_);
    CloseHandle(write_);
  }
  // Everything printed since the last call.
  std::string TakeOutput() {
    std::string out;
    DWORD available = 0, read = 0;
    char chunk[256];
    while (PeekNamedPipe(read_, nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
           ReadFile(read_, chunk, sizeof chunk, &read, nullptr) && read > 0)
      out.append(chunk, read);
    return out;
  }

 private:
  HANDLE read_ = nullptr, write_ = nullptr;
};
