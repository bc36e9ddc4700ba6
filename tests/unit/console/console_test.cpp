// The status line, the key wait and the control handler on a faked console; output redirected to a file.
#include <algorithm>
#include <tuple>

#include "console/control.h"
#include "console/status_line.h"
#include "../test_support.h"

namespace {
using Runs = std::vector<std::pair<int, int>>;
struct FakeScreen {
  int width = 80, height = 25;
  COORD cursor = {0, 0};
  std::vector<CHAR_INFO> cells = std::vector<CHAR_INFO>(80 * 25, CHAR_INFO{{L' '}, 0x1E});
  Runs writes;  // first and last column of every write
  DWORD windowOwner = 0;
  std::vector<INPUT_RECORD> input;  // reading fails once they are used up
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

CHAR_INFO* Shown(PSMALL_RECT r) {  // the cells of a one-row region; null unless all of it is on the screen
  bool inside = r->Top >= 0 && r->Top < Screen.height && r->Left >= 0 && r->Right < Screen.width;
  return inside ? &Screen.Cell(r->Top, r->Left) : nullptr;
}
BOOL WINAPI FakeBufferInfo(HANDLE, PCONSOLE_SCREEN_BUFFER_INFO info) {
  *info = {{SHORT(Screen.width), SHORT(Screen.height)}, Screen.cursor, 0, {}, {}};
  return TRUE;
}
BOOL WINAPI FakeRead(HANDLE, PCHAR_INFO cells, COORD, COORD origin, PSMALL_RECT r) {
  CHAR_INFO* shown = Shown(r);
  return shown && std::copy_n(shown, r->Right - r->Left + 1, cells + origin.X);
}
BOOL WINAPI FakeWrite(HANDLE, const CHAR_INFO* cells, COORD, COORD origin, PSMALL_RECT r) {
  Screen.writes.push_back({r->Left, r->Right});
  CHAR_INFO* shown = Shown(r);
  return shown && std::copy_n(cells + origin.X, r->Right - r->Left + 1, shown);
}
HWND WINAPI FakeWindow() { return reinterpret_cast<HWND>(INT_PTR(0x1234)); }
DWORD FakeOwner(HWND) { return Screen.windowOwner; }
BOOL WINAPI FakeFlush(HANDLE) { return TRUE; }
BOOL WINAPI FakeReadInput(HANDLE, PINPUT_RECORD records, DWORD, LPDWORD read) {
  if (Screen.inputRead >= Screen.input.size()) return FALSE;
  records[0] = Screen.input[Screen.inputRead++];
  *read = 1;
  return TRUE;
}

struct FakeConsoleScope {  // the console seam at a fresh Screen, the output caught; window sizing stays real
  FakeConsoleScope() {
    Screen = FakeScreen();
    const ConsoleScreenCalls& real = ConsoleScreen;
    ConsoleScreen = {FakeBufferInfo,  FakeRead,  FakeWrite, real.SetBufferSize, FakeWindow,    real.GetWindowRect,
                     real.MoveWindow, real.DisplayCaps, FakeOwner, FakeFlush, FakeReadInput, real.ShownAt};
  }
  CapturedOutput output;
};

const unsigned kDefault = 0xFFFF;  // the cursor's row; the end of the row's text

TEST(PutTextAt, RewritesOnlyTheCellsThatChange) {
  const std::wstring label = L"scanning file pool 1: ", z79(79, L'z');
  const std::tuple<unsigned, unsigned, std::wstring, std::wstring, Runs, std::wstring> cases[] = {
      {22, 3, label + L"12399", L"12345", {{25, 26}}, label + L"12345"},
      {0, 3, L"aabb", L"aXbY", {{1, 1}, {3, 3}}, L"aXbY"},  // a kept letter splits the writes
      {0, 3, L"x   y", L"a   b", {{0, 4}}, L"a   b"},       // kept blanks between changes do not
      {1, 3, L"", z79, {{1, 79}}, L" " + z79},
      {1, 3, L"", z79 + L"z", {}, L""},
      {kDefault, 3, L"ab\x2020", L"12", {{3, 4}}, L"ab\x2020" L"12"},  // holds the byte 0x20 but is no blank
      {kDefault, kDefault, label, L"5", {{21, 21}}, L"scanning file pool 1:5"},
      {22, 24, label, L"1234", {{22, 25}}, label + L"1234"},
  };
  for (const auto& [column, row, shown, text, writes, after] : cases) {
    SCOPED_TRACE(text);
    FakeConsoleScope console;
    int shownRow = row == kDefault ? 3 : int(row);
    Screen.cursor = COORD{0, 3};
    Screen.Show(shownRow, shown);
    EXPECT_EQ(PutTextAt(MakeCell(column, row), text.c_str()), int(text.size()));
    EXPECT_EQ(Screen.writes, writes);
    EXPECT_EQ(Screen.RowText(shownRow), after);
    EXPECT_EQ(Screen.Cell(shownRow, 25).Attributes, 0x1E);  // written cells keep the row's colours
  }
}

INPUT_RECORD Key(WORD key, BOOL down = TRUE) { return {KEY_EVENT, {{down, 1, key, 0, {0}, 0}}}; }

TEST(WaitForKeyIfStandalone, WaitsInItsOwnWindowForARealKey) {
  const std::vector<INPUT_RECORD> keys = {
      Key(VK_SHIFT), Key(VK_CONTROL), Key(VK_MENU), Key(VK_PAUSE), Key(VK_CAPITAL), {MOUSE_EVENT, {}},
      Key('A', FALSE), Key('A'), Key('B')};
  const char* prompt = "\r\nPress any key to close";
  // own window, redirected, -n, keys given, what is printed, keys read
  const std::tuple<bool, int, int, size_t, const char*, size_t> cases[] = {
      {true, 0, 0, 9, prompt, 8},  // ends on the letter, leaves the B
      {true, 0, 0, 7, prompt, 7},  // input that cannot be read ends it
      {true, 1, 0, 9, prompt, 8},  // its own window waits even so
      {false, 1, 0, 9, "\r\n", 0}, {true, 0, 1, 9, "", 0},
  };
  for (const auto& [ownWindow, redirected, noWait, given, printed, keysRead] : cases) {
    SCOPED_TRACE(testing::Message() << ownWindow << redirected << noWait << given);
    FakeConsoleScope console;
    ConsoleContext context = {nullptr, nullptr, redirected};
    Screen.windowOwner = GetCurrentProcessId() + (ownWindow ? 0 : 4);
    Screen.cursor = COORD{5, 3};
    Screen.input.assign(keys.begin(), keys.begin() + given);
    RunOptions.NoWaitForKey = noWait;
    EXPECT_EQ(IsStandalone(&context) != 0, ownWindow && !redirected);
    WaitForKeyIfStandalone(&context);
    EXPECT_EQ(console.output.Text(), printed);
    EXPECT_EQ(Screen.inputRead, keysRead);
  }
}

TEST(ControlHandler, PrintsTheEventOnAFreshLineAndCancels) {
  const std::tuple<DWORD, SHORT, const wchar_t*, const char*> cases[] = {
      {CTRL_C_EVENT, 0, L"", "Ctrl+C pressed -> abort\r\n"},
      {CTRL_BREAK_EVENT, 22, L"scanning file pool 1: ", "\r\nCtrl+Break pressed -> abort\r\n"},
      {CTRL_CLOSE_EVENT, 0, L"scanning file pool 1: 3520", "\r\nClose Button pressed -> abort\r\n"},
      {CTRL_SHUTDOWN_EVENT, 0, L"", "System Shutdown -> abort\r\n"},
  };
  for (const auto& [event, column, row, printed] : cases) {
    FakeConsoleScope console;
    Screen.cursor = COORD{column, 4};
    Screen.Show(4, row);
    CancelRequested = 0;
    EXPECT_EQ(ControlHandler(event), TRUE);
    EXPECT_EQ(CancelRequested, 1);
    EXPECT_EQ(console.output.Text(), printed);
  }
}

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// Output redirected to a file, as when a user writes "zav ... > list.txt": OEM bytes with CR LF, whichever call.
TEST(RedirectedOutput, EveryCallWritesOemBytesWithCrLf) {
  CapturedOutput output;
  EXPECT_EQ(GetOutputMode(), OutputMode::Redirected);
  ASSERT_EQ(GetOEMCP(), 437u) << "the expectations below are in code page 437";
  const std::pair<const char*, const char*> lineEnds[] = {
      {"a\nb", "a\r\nb"}, {"a\r\nb", "a\r\nb"}, {"\nx", "\r\nx"}, {"\n\n", "\r\n\r\n"}, {"\r\r\n", "\r\r\n"},
      {"x\n", "x\r\n"}};
  for (const auto& [in, out] : lineEnds) {
    const int length = int(strlen(out));
    EXPECT_EQ(ConsolePrint(L"%s", Wide(in).c_str()), length);
    EXPECT_EQ(ConsolePrintA("%s", in), length);
    EXPECT_EQ(ConsoleWriteText({Wide(in).c_str()}), length);
    EXPECT_EQ(output.Take(), std::string(out) + out + out) << in;
  }
  EXPECT_EQ(ConsolePrint(L"%s file%u deleted %S\n", L"caf\x00E9", 2u, "ok"), 23);
  EXPECT_EQ(output.Take(), "caf\x82 file2 deleted ok\r\n");
  ConsolePrint(L"\x4E2D\n");  // a character the code page lacks becomes its default character
  EXPECT_EQ(output.Take(), "?\r\n");
  EXPECT_EQ(ConsolePrint(L"%s", L""), -1) << "an empty message writes nothing and fails";
  EXPECT_EQ(output.Take(), "");
  // An overlong message is cut, not written past its buffer; a path line and a pair's names take any length.
  const int written = ConsolePrint(L"%s\n", std::wstring(5000, L'x').c_str());
  const std::string bytes = output.Take();
  EXPECT_EQ(written, int(bytes.size()));
  EXPECT_LE(bytes.size(), 1024u);
  EXPECT_EQ(bytes.find_first_not_of('x'), std::string::npos);
  std::wstring path = L"C:\\" + std::wstring(30000, L'd') + L"\\%s%u";
  EXPECT_EQ(ConsolePrintPath(L"'%s'\n", path.c_str()), int(path.size() + 3));
  EXPECT_EQ(output.Take(), "'" + std::string(path.begin(), path.end()) + "'\n");
  EXPECT_EQ(ConsolePrintPath(L"no slot %S here\n", L"x"), -1);
  EXPECT_EQ(output.Take(), "");
  EXPECT_EQ(ConsoleWriteText({std::wstring(40000, L'n').c_str(), L" == ", L"\n"}), 40006);
  EXPECT_EQ(output.Take(), std::string(40000, 'n') + " == \r\n");
  // A pair line's parts take their CRs as if each were written alone.
  EXPECT_EQ(ConsoleWriteText({L"a\r", L"\n", L"caf\x00E9 ", L"\nb\r\n"}), 14);
  EXPECT_EQ(output.Take(), "a\r\r\ncaf\x82 \r\nb\r\n");
  // 1023 line feeds cannot all take a CR in 1024 units: the expansion stops inside its buffer.
  wchar_t wide[1024];
  std::fill(wide, wide + 1023, L'\n');
  wide[1023] = 0;
  const int length = ExpandLineEnds(wide);
  EXPECT_LE(length, 1023);
  EXPECT_EQ(wide[length], 0);
}
}  // namespace
