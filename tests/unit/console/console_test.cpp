#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "console/control.h"
#include "console/output.h"
#include "console/status_line.h"
#include "console/window_size.h"
#include "pool/file_record.h"
#include "run/options.h"
#include "seam/console_screen.h"

namespace {
struct FakeScreen {
  explicit FakeScreen(int columns = 80, int rows = 25)
      : width(columns), height(rows), cells(size_t(columns) * rows, CHAR_INFO{{L' '}, 0x07}) {}
  int width, height;
  COORD cursor = {0, 0};
  std::vector<CHAR_INFO> cells;
  std::vector<std::pair<int, int>> writes;  // first and last column of every write
  SIZE display = {1920, 1080};
  RECT window = {};  // an empty one cannot be asked for
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
} Screen;

// The cells of a one-row region, clipped to the screen as the console does; null outside the screen.
CHAR_INFO* Shown(PSMALL_RECT region) {
  if (region->Top < 0 || region->Top >= Screen.height || region->Left < 0 || region->Left >= Screen.width)
    return nullptr;
  if (region->Right >= Screen.width) region->Right = SHORT(Screen.width - 1);
  return &Screen.Cell(region->Top, region->Left);
}

BOOL WINAPI FakeBufferInfo(HANDLE, PCONSOLE_SCREEN_BUFFER_INFO info) {
  *info = {};
  info->dwSize = COORD{SHORT(Screen.width), SHORT(Screen.height)};
  info->dwCursorPosition = Screen.cursor;
  return TRUE;
}
BOOL WINAPI FakeRead(HANDLE, PCHAR_INFO cells, COORD, COORD origin, PSMALL_RECT region) {
  CHAR_INFO* shown = Shown(region);
  if (shown) std::copy(shown, shown + region->Right - region->Left + 1, cells + origin.X);
  return shown != nullptr;
}
BOOL WINAPI FakeWrite(HANDLE, const CHAR_INFO* cells, COORD, COORD origin, PSMALL_RECT region) {
  Screen.writes.push_back({region->Left, region->Right});
  CHAR_INFO* shown = Shown(region);
  if (shown) std::copy(cells + origin.X, cells + origin.X + region->Right - region->Left + 1, shown);
  return shown != nullptr;
}
BOOL WINAPI FakeSetBufferSize(HANDLE, COORD size) {
  Screen.newBufferSize = size;
  return TRUE;
}
HWND WINAPI FakeWindow() { return reinterpret_cast<HWND>(INT_PTR(0x1234)); }
BOOL WINAPI FakeWindowRect(HWND, LPRECT rect) {
  *rect = Screen.window;
  return !IsRectEmpty(rect);
}
BOOL WINAPI FakeMove(HWND, int x, int y, int width, int height, BOOL) {
  Screen.movedTo = RECT{x, y, width, height};
  return TRUE;
}
int FakeDisplayCaps(int index) { return index == HORZRES ? Screen.display.cx : Screen.display.cy; }
DWORD FakeOwner(HWND) { return Screen.windowOwner; }
BOOL WINAPI FakeFlush(HANDLE) { return TRUE; }
BOOL WINAPI FakeReadInput(HANDLE, PINPUT_RECORD records, DWORD, LPDWORD read) {
  if (Screen.inputRead >= Screen.input.size()) return FALSE;
  records[0] = Screen.input[Screen.inputRead++];
  *read = 1;
  return TRUE;
}

// Points the console seam at Screen (reset to 80 x 25) and the output at a pipe; undone by the destructor.
struct FakeConsoleScope {
  FakeConsoleScope() {
    Screen = FakeScreen();
    ConsoleScreen = {FakeBufferInfo, FakeRead, FakeWrite, FakeSetBufferSize, FakeWindow, FakeWindowRect,
                     FakeMove, FakeDisplayCaps, FakeOwner, FakeFlush, FakeReadInput};
    CreatePipe(&read, &write, nullptr, 1 << 16);
    SetOutputHandleForTesting(write);
  }
  ~FakeConsoleScope() {
    RestoreConsoleScreenCalls();
    SetOutputHandleForTesting(GetStdHandle(STD_OUTPUT_HANDLE));
    CloseHandle(read);
    CloseHandle(write);
  }
  // Everything printed since the last call.
  std::string TakeOutput() {
    char text[4096];
    DWORD available = 0, taken = 0;
    if (PeekNamedPipe(read, nullptr, 0, nullptr, &available, nullptr) && available > 0)
      ReadFile(read, text, sizeof text, &taken, nullptr);
    return std::string(text, taken);
  }
  HANDLE read = nullptr, write = nullptr;
};

const unsigned kDefault = 0xFFFF;  // the cursor's row; the end of the row's text

TEST(PutTextAt, RewritesOnlyTheCellsThatChange) {
  struct Case {
    unsigned column, row;
    std::wstring shown, text;
    std::vector<std::pair<int, int>> writes;
    std::wstring after;
  };
  const std::wstring label = L"scanning file pool 1: ", z79(79, L'z');
  const Case cases[] = {
      {22, 3, label + L"12399", L"12345", {{25, 26}}, label + L"12345"},
      {22, 3, label + L"12345", L"12345", {}, label + L"12345"},
      {0, 3, L"aabb", L"aXbY", {{1, 1}, {3, 3}}, L"aXbY"},  // a kept letter splits the writes
      {0, 3, L"x   y", L"a   b", {{0, 4}}, L"a   b"},       // kept blanks between changes do not
      {1, 3, L"", z79, {{1, 79}}, L" " + z79},
      {1, 3, L"", z79 + L"z", {}, L""},
      {kDefault, 3, L"abc", L"12", {{3, 4}}, L"abc12"},
      {kDefault, kDefault, label, L"5", {{21, 21}}, L"scanning file pool 1:5"},
      {22, 24, label, L"1234", {{22, 25}}, label + L"1234"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    FakeConsoleScope console;
    int row = c.row == kDefault ? 3 : int(c.row);
    Screen.cursor = COORD{0, 3};
    Screen.Show(row, c.shown);
    EXPECT_EQ(PutTextAt(MakeCell(c.column, c.row), c.text.c_str()), int(c.text.size()));
    EXPECT_EQ(Screen.writes, c.writes);
    EXPECT_EQ(Screen.RowText(row), c.after);
  }
}

TEST(PutTextAt, ChangedCellsTakeTheColoursOfTheFirstCell) {
  FakeConsoleScope console;
  Screen.Cell(0, 5).Attributes = 0x1E;
  Screen.Cell(0, 6).Attributes = 0x4F;
  PutTextAt(MakeCell(5, 0), L"ab");
  EXPECT_EQ(Screen.Cell(0, 6).Attributes, 0x1E);
}

TEST(RowTextEnd, FindsTheLastNonBlankCellOfRowsItCanRead) {
  FakeConsoleScope console;
  Screen.Show(1, L"abc");
  Screen.Cell(2, 79).Char.UnicodeChar = L'z';
  Screen.Cell(3, 5).Char.UnicodeChar = L'\x2020';  // holds the byte 0x20 but is no blank
  EXPECT_EQ(RowTextEnd(0), 0);
  EXPECT_EQ(RowTextEnd(1), 3);
  EXPECT_EQ(RowTextEnd(2), 80);
  EXPECT_EQ(RowTextEnd(3), 6);
  for (int width : {2047, 2048}) {
    Screen = FakeScreen(width, 2);
    Screen.Show(0, L"abc");
    EXPECT_EQ(RowTextEnd(0), width < 2048 ? 3 : 0);  // wider rows are never read
  }
}

TEST(ClearLine, BlanksTheRowKeepingColoursOnlyOnTheConsole) {
  FakeConsoleScope console;
  ConsoleContext context = {nullptr, nullptr, 0};
  Console = &context;
  Screen.Show(5, L"checking file 3 of 9...");
  Screen.Cell(5, 2).Attributes = 0x2A;
  Screen.Show(6, L"keep");
  Screen.cursor = COORD{12, 5};
  ClearLine(-1);
  EXPECT_EQ(Screen.RowText(5), L"");
  EXPECT_EQ(Screen.Cell(5, 2).Attributes, 0x2A);
  EXPECT_EQ(Screen.RowText(6), L"keep");
  Screen = FakeScreen(3000, 3);  // too wide to read: only the cursor goes back
  ClearLine(0);
  EXPECT_TRUE(Screen.writes.empty());
  EXPECT_EQ(console.TakeOutput(), "\r\r");
  context.redirected = 1;
  ClearLine(-1);
  Console = nullptr;
  ClearLine(-1);  // without a context the output itself (a pipe here) decides
  EXPECT_EQ(console.TakeOutput(), "");
}

INPUT_RECORD Key(WORD key, BOOL down = TRUE) { return {KEY_EVENT, {{down, 1, key, 0, {0}, 0}}}; }

TEST(WaitForKeyIfStandalone, WaitsInItsOwnWindowForARealKey) {
  const std::vector<INPUT_RECORD> letter = {
      Key(VK_SHIFT), Key(VK_CONTROL), Key(VK_MENU), Key(VK_PAUSE), Key(VK_CAPITAL), {MOUSE_EVENT, {}},
      Key('A', FALSE), Key('A'), Key('B')};
  const std::vector<INPUT_RECORD> lone(letter.begin(), letter.end() - 2);
  struct Case {
    bool ownWindow;
    int redirected, noWait;
    std::vector<INPUT_RECORD> input;
    bool standalone;
    const char* printed;
    size_t keysRead;
  };
  const Case cases[] = {
      {true, 0, 0, letter, true, "\r\nPress any key to close", 8},  // ends on the letter, leaves the B
      {true, 0, 0, lone, true, "\r\nPress any key to close", 7},    // input that cannot be read ends it
      {true, 1, 0, letter, false, "\r\nPress any key to close", 8},  // its own window waits even so
      {false, 0, 0, letter, false, "\r\n", 0},
      {true, 0, 1, letter, true, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    FakeConsoleScope console;
    ConsoleContext context = {nullptr, nullptr, c.redirected};
    Screen.windowOwner = GetCurrentProcessId() + (c.ownWindow ? 0 : 4);
    Screen.cursor = COORD{5, 3};
    Screen.input = c.input;
    RunOptions.NoWaitForKey = c.noWait;
    EXPECT_EQ(IsStandalone(&context) != 0, c.standalone);
    WaitForKeyIfStandalone(&context);
    RunOptions.NoWaitForKey = 0;
    EXPECT_EQ(console.TakeOutput(), c.printed);
    EXPECT_EQ(Screen.inputRead, c.keysRead);
  }
}

TEST(ControlHandler, PrintsTheEventOnAFreshLineAndCancels) {
  struct Case {
    DWORD event;
    SHORT column;
    const wchar_t* row;  // what the cursor's row shows
    const char* printed;
  };
  const Case cases[] = {
      {CTRL_C_EVENT, 22, L"scanning file pool 1: ", "\r\nCtrl+C pressed -> abort\r\n"},
      {CTRL_C_EVENT, 0, L"scanning file pool 1: 3520", "\r\nCtrl+C pressed -> abort\r\n"},
      {CTRL_C_EVENT, 0, L"", "Ctrl+C pressed -> abort\r\n"},
      {CTRL_BREAK_EVENT, 0, L"", "Ctrl+Break pressed -> abort\r\n"},
      {CTRL_CLOSE_EVENT, 0, L"", "Close Button pressed -> abort\r\n"},
      {CTRL_LOGOFF_EVENT, 0, L"", "User LogOff -> abort\r\n"},
      {CTRL_SHUTDOWN_EVENT, 0, L"", "System Shutdown -> abort\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.event);
    FakeConsoleScope console;
    Screen.cursor = COORD{c.column, 4};
    Screen.Show(4, c.row);
    CancelRequested = 0;
    EXPECT_EQ(ControlHandler(c.event), TRUE);
    EXPECT_EQ(CancelRequested, 1);
    EXPECT_EQ(console.TakeOutput(), c.printed);
  }
  CancelRequested = 0;
}

TEST(SizeConsoleWindow, FitsTheWindowToTheDisplay) {
  struct Case {
    int columns;
    SIZE display;
    RECT window, moved;  // moved: left, top, width, height; all zero when the window stays
  };
  const Case cases[] = {
      {80, {1920, 1080}, {300, 200, 940, 500}, {300, 200, 900, 600}},
      {80, {800, 600}, {10, 20, 500, 400}, {10, 20, 736, 536}},
      {80, {800, 600}, {100, 80, 780, 590}, {100, 80, 780, 590}},  // edges beyond the display's margin
      {80, {800, 600}, {400, 300, 1300, 1000}, {400, 300, 900, 600}},
      {80, {1920, 1080}, {}, {}},                  // the buffer grows, the window stays
      {120, {1920, 1080}, {0, 0, 500, 400}, {}},  // widened by the user: left alone
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    FakeConsoleScope console;
    Screen = FakeScreen(c.columns);
    Screen.display = c.display;
    Screen.window = c.window;
    SizeConsoleWindow(260, 1000);
    EXPECT_EQ(Screen.newBufferSize.X, c.columns == 80 ? 260 : 0);
    EXPECT_EQ(Screen.newBufferSize.Y, c.columns == 80 ? 1000 : 0);
    EXPECT_TRUE(EqualRect(&Screen.movedTo, &c.moved));
  }
}
}  // namespace
