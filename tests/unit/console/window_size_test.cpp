#include "console/window_size.h"

#include <gtest/gtest.h>

#include "fake_screen.h"

namespace {
TEST(SizeConsoleWindow, FitsTheWindowToTheDisplay) {
  struct Case {
    const char* name;
    int columns;
    int displayWidth, displayHeight;
    RECT window;
    bool resized;
    RECT expected;  // left, top, width, height; all zero when the window is not moved
  };
  const Case cases[] = {
      {"large display", 80, 1920, 1080, {300, 200, 940, 500}, true, {300, 200, 900, 600}},
      {"small display", 80, 800, 600, {10, 20, 500, 400}, true, {10, 20, 736, 536}},
      {"edges further out than the display allows", 80, 800, 600, {100, 80, 780, 590}, true, {100, 80, 780, 590}},
      {"edges further out than 900 x 600", 80, 800, 600, {400, 300, 1300, 1000}, true, {400, 300, 900, 600}},
      {"already wider than 80 columns", 120, 1920, 1080, {0, 0, 500, 400}, false, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeConsoleScope console;
    Screen.Reset(c.columns, 25);
    Screen.displayWidth = c.displayWidth;
    Screen.displayHeight = c.displayHeight;
    Screen.windowRect = c.window;
    SizeConsoleWindow(260, 1000);
    EXPECT_EQ(Screen.bufferResized, c.resized);
    EXPECT_EQ(Screen.moved, c.resized);
    if (c.resized) {
      EXPECT_EQ(Screen.newBufferSize.X, 260);
      EXPECT_EQ(Screen.newBufferSize.Y, 1000);
    }
    EXPECT_EQ(Screen.movedTo.left, c.expected.left);
    EXPECT_EQ(Screen.movedTo.top, c.expected.top);
    EXPECT_EQ(Screen.movedTo.right, c.expected.right);
    EXPECT_EQ(Screen.movedTo.bottom, c.expected.bottom);
  }
}

TEST(SizeConsoleWindow, StopsWhereTheConsoleCannotBeAsked) {
  FakeConsoleScope console;
  Screen.queryFails = true;
  SizeConsoleWindow(260, 1000);
  EXPECT_FALSE(Screen.bufferResized);
  EXPECT_FALSE(Screen.moved);

  Screen.queryFails = false;
  Screen.rectFails = true;
  SizeConsoleWindow(260, 1000);
  EXPECT_TRUE(Screen.bufferResized);
  EXPECT_FALSE(Screen.moved);
}

TEST(ScreenPixels, AskTheDisplay) {
  FakeConsoleScope console;
  Screen.displayWidth = 1366;
  Screen.displayHeight = 768;
  EXPECT_EQ(GetScreenPixelWidth(), 1366);
  EXPECT_EQ(GetScreenPixelHeight(), 768);
}
}  // namespace
