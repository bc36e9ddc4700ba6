#include "console/window_size.h"

#include <gtest/gtest.h>

#include "fake_screen.h"

namespace {
TEST(SizeConsoleWindow, FitsTheWindowToTheDisplay) {
  struct Case {
    int columns, displayWidth, displayHeight;
    RECT window;
    bool rectFails;
    RECT moved;  // left, top, width, height; all zero when the window stays
  };
  const Case cases[] = {
      {80, 1920, 1080, {300, 200, 940, 500}, false, {300, 200, 900, 600}},
      {80, 800, 600, {10, 20, 500, 400}, false, {10, 20, 736, 536}},
      {80, 800, 600, {100, 80, 780, 590}, false, {100, 80, 780, 590}},  // edges beyond the display's margin
      {80, 800, 600, {400, 300, 1300, 1000}, false, {400, 300, 900, 600}},
      {80, 1920, 1080, {0, 0, 500, 400}, true, {}},  // the buffer grows, the window stays
      {120, 1920, 1080, {0, 0, 500, 400}, false, {}},  // widened by the user: left alone
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    FakeConsoleScope console;
    ResetScreen(c.columns, 25);
    Screen.displayWidth = c.displayWidth;
    Screen.displayHeight = c.displayHeight;
    Screen.window = c.window;
    Screen.rectFails = c.rectFails;
    SizeConsoleWindow(260, 1000);
    EXPECT_EQ(Screen.newBufferSize.X, c.columns == 80 ? 260 : 0);
    EXPECT_EQ(Screen.newBufferSize.Y, c.columns == 80 ? 1000 : 0);
    EXPECT_TRUE(EqualRect(&Screen.movedTo, &c.moved));
  }
}
}  // namespace
