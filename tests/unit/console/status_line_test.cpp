#include "console/status_line.h"

#include <gtest/gtest.h>

#include <string>

#include "console/control.h"
#include "fake_screen.h"
#include "pool/file_record.h"

namespace {
const unsigned kDefault = 0xFFFF;

TEST(PutTextAt, WritesOnlyWhatChanges) {
  struct Case {
    const char* name;
    std::wstring shown;  // row 3 before, from column 10
    std::wstring text;   // put at column 10 of row 3
    std::vector<std::pair<int, int>> runs;  // columns written, left and right
  };
  const Case cases[] = {
      {"count changing in its last two digits", L"12399", L"12345", {{13, 14}}},
      {"same text rewrites nothing", L"12345", L"12345", {}},
      {"a kept letter splits the writes", L"aabb", L"aXbY", {{11, 11}, {13, 13}}},
      {"kept blanks inside a change are rewritten with it", L"x   y", L"a   b", {{10, 14}}},
      {"over blank cells", L"", L"42", {{10, 11}}},
      {"79 characters are written", L"", std::wstring(79, L'z'), {{10, 88}}},
      {"80 characters are not shown", L"", std::wstring(80, L'z'), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeConsoleScope console;
    Screen.Reset(120, 25);
    Screen.Show(3, 10, c.shown);
    EXPECT_EQ(PutTextAt(MakeCell(10, 3), c.text.c_str()), int(c.text.size()));
    ASSERT_EQ(Screen.writes.size(), c.runs.size());
    for (size_t i = 0; i < c.runs.size(); ++i) {
      EXPECT_EQ(Screen.writes[i].row, 3);
      EXPECT_EQ(Screen.writes[i].left, c.runs[i].first);
      EXPECT_EQ(Screen.writes[i].right, c.runs[i].second);
    }
    std::wstring after = c.text.size() < 80 ? std::wstring(10, L' ') + c.text : c.shown;
    EXPECT_EQ(Screen.RowText(3), after);
  }
}

TEST(PutTextAt, ChangedCellsTakeTheColoursOfTheFirstCell) {
  FakeConsoleScope console;
  Screen.Cell(0, 5).Attributes = 0x1E;
  Screen.Cell(0, 6).Attributes = 0x4F;
  PutTextAt(MakeCell(5, 0), L"ab");
  EXPECT_EQ(Screen.Cell(0, 5).Attributes, 0x1E);
  EXPECT_EQ(Screen.Cell(0, 6).Attributes, 0x1E);
}

TEST(PutTextAt, DefaultColumnAndRow) {
  FakeConsoleScope console;
  Screen.Show(4, 0, L"abc");
  PutTextAt(MakeCell(kDefault, 4), L"12");
  EXPECT_EQ(Screen.RowText(4), L"abc12");

  // The cursor's row, and the end of the text on that row.
  Screen.cursor = COORD{0, 7};
  Screen.Show(7, 0, L"scanning file pool: ");
  PutTextAt(MakeCell(kDefault, kDefault), L"5");
  EXPECT_EQ(Screen.RowText(7), L"scanning file pool:5");
  PutTextAt(MakeCell(2, kDefault), L"X");
  EXPECT_EQ(Screen.RowText(7), L"scXnning file pool:5");
}

TEST(PutTextAt, LastRowOfTheBuffer) {
  FakeConsoleScope console;
  Screen.Show(24, 0, L"scanning file pool 1: ");
  EXPECT_EQ(PutTextAt(MakeCell(22, 24), L"1234"), 4);
  EXPECT_EQ(Screen.RowText(24), L"scanning file pool 1: 1234");
  // A row below the buffer cannot be read: nothing is written, the length is still returned.
  EXPECT_EQ(PutTextAt(MakeCell(22, 25), L"1234"), 4);
  EXPECT_EQ(Screen.writes.size(), 1u);
}

TEST(PutTextAt, ConsoleThatCannotBeAskedOrRead) {
  FakeConsoleScope console;
  Screen.queryFails = true;
  EXPECT_EQ(PutTextAt(MakeCell(0, 0), L"abc"), 0);
  Screen.queryFails = false;
  Screen.readFails = true;
  EXPECT_EQ(PutTextAt(MakeCell(0, 0), L"abc"), 3);
  EXPECT_TRUE(Screen.writes.empty());
}

TEST(PrintAtAndStatusPrint, FormatIntoTheRow) {
  FakeConsoleScope console;
  PrintAt(MakeCell(20, 2), L"%u", 12345u);
  EXPECT_EQ(Screen.RowText(2), std::wstring(20, L' ') + L"12345");
  PrintAt(MakeCell(0, 3), L"cannot open '%s'", L"a.txt");
  EXPECT_EQ(Screen.RowText(3), L"cannot open 'a.txt'");

  Screen.cursor = COORD{0, 9};
  EXPECT_EQ(StatusPrint(L"checking file %s of %s...", L"1.000", L"2.000"), 31);
  EXPECT_EQ(Screen.RowText(9), L"checking file 1.000 of 2.000...");
  Screen.queryFails = true;
  EXPECT_EQ(StatusPrint(L"checking file %s of %s...", L"1", L"2"), 0);
  EXPECT_TRUE(console.TakeOutput().empty());
}

TEST(RowTextEnd, FindsTheLastNonBlankCell) {
  FakeConsoleScope console;
  EXPECT_EQ(RowTextEnd(0), 0);
  Screen.Show(1, 0, L"abc");
  EXPECT_EQ(RowTextEnd(1), 3);
  Screen.Show(1, 79, L"z");
  EXPECT_EQ(RowTextEnd(1), 80);
  // Characters that merely hold the byte 0x20 are not blanks.
  Screen.Show(2, 5, L"\x2020");
  EXPECT_EQ(RowTextEnd(2), 6);
  Screen.Show(3, 6, L"\x0120");
  EXPECT_EQ(RowTextEnd(3), 7);
  Screen.readFails = true;
  EXPECT_EQ(RowTextEnd(1), 0);
}

TEST(RowTextEnd, RowsTooWideAreNotRead) {
  FakeConsoleScope console;
  Screen.Reset(2048, 2);
  Screen.Show(0, 0, L"abc");
  EXPECT_EQ(RowTextEnd(0), 0);
  Screen.Reset(2047, 2);
  Screen.Show(0, 0, L"abc");
  EXPECT_EQ(RowTextEnd(0), 3);
}

TEST(ClearLine, BlanksTheRowKeepingColours) {
  FakeConsoleScope console;
  ConsoleContext context = {nullptr, nullptr, 0};
  Console = &context;
  Screen.Show(5, 0, L"checking file 3 of 9...");
  Screen.Cell(5, 2).Attributes = 0x2A;
  Screen.Show(6, 0, L"keep");
  Screen.cursor = COORD{12, 5};
  ClearLine(-1);
  EXPECT_EQ(Screen.RowText(5), L"");
  EXPECT_EQ(Screen.Cell(5, 2).Attributes, 0x2A);
  EXPECT_EQ(Screen.RowText(6), L"keep");
  EXPECT_EQ(console.TakeOutput(), "\r");

  ClearLine(6);
  EXPECT_EQ(Screen.RowText(6), L"");
  EXPECT_EQ(console.TakeOutput(), "\r");

  // Too wide to read: the cursor still goes back to column 0.
  Screen.Reset(3000, 3);
  Screen.writes.clear();
  ClearLine(0);
  EXPECT_TRUE(Screen.writes.empty());
  EXPECT_EQ(console.TakeOutput(), "\r");
  Console = nullptr;
}

TEST(ClearLine, RedirectedOutputGetsNothing) {
  FakeConsoleScope console;
  ConsoleContext context = {nullptr, nullptr, 1};
  Console = &context;
  Screen.Show(0, 0, L"abc");
  ClearLine(-1);
  Console = nullptr;
  EXPECT_EQ(Screen.RowText(0), L"abc");
  EXPECT_EQ(console.TakeOutput(), "");
  // Without a context the output itself (a pipe here) decides.
  ClearLine(-1);
  EXPECT_EQ(console.TakeOutput(), "");
}

TEST(StartCleanLine, StartsAFreshLineOnlyWhenNeeded) {
  struct Case {
    const char* name;
    COORD cursor;
    std::wstring row;  // what the cursor's row shows
    const char* printed;
  };
  const Case cases[] = {
      {"column 0 of a blank row", {0, 3}, L"", ""},
      {"column 0 of a row ended with a bare CR", {0, 3}, L"sorted in 12 ms", "\r\n"},
      {"column 0 of a row with a wide blank-like character", {0, 3}, L"      \x2020", "\r\n"},
      {"behind text", {7, 3}, L"sorting", "\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeConsoleScope console;
    Screen.cursor = c.cursor;
    Screen.Show(c.cursor.Y, 0, c.row);
    StartCleanLine();
    EXPECT_EQ(console.TakeOutput(), c.printed);
  }
}

TEST(Geometry, FallbacksWhenTheConsoleCannotBeAsked) {
  FakeConsoleScope console;
  Screen.Reset(132, 300);
  Screen.cursor = COORD{17, 250};
  EXPECT_EQ(GetScreenWidth(), 132);
  EXPECT_EQ(GetScreenHeight(), 300);
  EXPECT_EQ(GetCursorColumn(), 17);
  EXPECT_EQ(GetCursorRow(), 250);
  Screen.queryFails = true;
  EXPECT_EQ(GetScreenWidth(), 80);
  EXPECT_EQ(GetScreenHeight(), 25);
  EXPECT_EQ(GetCursorColumn(), 0);
  EXPECT_EQ(GetCursorRow(), 0);
  COORD cursor = GetCursorPosition();
  EXPECT_EQ(cursor.X, 0);
  EXPECT_EQ(cursor.Y, 0);
}
}  // namespace
