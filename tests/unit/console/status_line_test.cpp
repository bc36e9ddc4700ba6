#include "console/status_line.h"

#include <gtest/gtest.h>

#include "console/control.h"
#include "fake_screen.h"
#include "pool/file_record.h"

namespace {
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
      {22, 25, L"", L"1234", {}, L""},  // below the buffer: nothing to read, nothing written
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    FakeConsoleScope console;
    int row = c.row == kDefault ? 3 : int(c.row);
    Screen.cursor = COORD{0, 3};
    if (row < 25) Screen.Show(row, c.shown);
    EXPECT_EQ(PutTextAt(MakeCell(c.column, c.row), c.text.c_str()), int(c.text.size()));
    EXPECT_EQ(Screen.writes, c.writes);
    if (row < 25) {
      EXPECT_EQ(Screen.RowText(row), c.after);
    }
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
  Screen.readFails = true;
  EXPECT_EQ(RowTextEnd(1), 0);
  for (int width : {2047, 2048}) {
    ResetScreen(width, 2);
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
  ClearLine(6);
  EXPECT_EQ(Screen.RowText(6), L"");
  ResetScreen(3000, 3);  // too wide to read: only the cursor goes back
  ClearLine(0);
  EXPECT_TRUE(Screen.writes.empty());
  EXPECT_EQ(console.TakeOutput(), "\r\r\r");
  ResetScreen(80, 25);
  context.redirected = 1;
  ClearLine(-1);
  Console = nullptr;
  ClearLine(-1);  // without a context the output itself (a pipe here) decides
  EXPECT_TRUE(Screen.writes.empty());
  EXPECT_EQ(console.TakeOutput(), "");
}

}  // namespace
