#include "console/control.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_screen.h"
#include "run/options.h"

namespace {
INPUT_RECORD Key(WORD virtualKey, bool down) {
  INPUT_RECORD record = {};
  record.EventType = KEY_EVENT;
  record.Event.KeyEvent.bKeyDown = down;
  record.Event.KeyEvent.wVirtualKeyCode = virtualKey;
  record.Event.KeyEvent.wRepeatCount = 1;
  return record;
}

INPUT_RECORD Mouse() {
  INPUT_RECORD record = {};
  record.EventType = MOUSE_EVENT;
  return record;
}

TEST(IsStandalone, OnlyAConsoleWindowOfItsOwn) {
  FakeConsoleScope console;
  ConsoleContext context = {nullptr, nullptr, 0};
  Screen.windowOwner = GetCurrentProcessId();
  EXPECT_TRUE(IsStandalone(&context));
  Screen.windowOwner = GetCurrentProcessId() + 4;
  EXPECT_FALSE(IsStandalone(&context));
  Screen.windowOwner = GetCurrentProcessId();
  context.redirected = 1;
  EXPECT_FALSE(IsStandalone(&context));
}

TEST(WaitForKeyIfStandalone, EndsOnTheFirstRealKeyPress) {
  FakeConsoleScope console;
  ConsoleContext context = {nullptr, nullptr, 0};
  Screen.windowOwner = GetCurrentProcessId();
  Screen.cursor = COORD{0, 0};
  Screen.input = {Key(VK_SHIFT, true), Key(VK_CONTROL, true), Key(VK_MENU, true), Key(VK_PAUSE, true),
                  Key(VK_CAPITAL, true),  Mouse(),  Key('A', false), Key('A', true), Key('B', true)};
  WaitForKeyIfStandalone(&context);
  EXPECT_TRUE(Screen.flushed);
  EXPECT_EQ(Screen.inputRead, 8u);  // stopped on the letter, the key after it left unread
  EXPECT_EQ(console.TakeOutput(), "Press any key to close");
}

TEST(WaitForKeyIfStandalone, WhenItWaitsAndWhenNot) {
  struct Case {
    const char* name;
    bool ownWindow;
    int redirected;
    int noWait;
    COORD cursor;
    const char* printed;
    bool readsKeys;
  };
  const Case cases[] = {
      {"own window, cursor behind text", true, 0, 0, {5, 3}, "\r\nPress any key to close", true},
      {"own window with redirected output still waits", true, 1, 0, {0, 0}, "Press any key to close", true},
      {"console of another process", false, 0, 0, {5, 3}, "\r\n", false},
      {"-n never waits", true, 0, 1, {5, 3}, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeConsoleScope console;
    ConsoleContext context = {nullptr, nullptr, c.redirected};
    Screen.windowOwner = c.ownWindow ? GetCurrentProcessId() : GetCurrentProcessId() + 4;
    Screen.cursor = c.cursor;
    Screen.input = {Key('X', true)};
    RunOptions.NoWaitForKey = c.noWait;
    WaitForKeyIfStandalone(&context);
    RunOptions.NoWaitForKey = 0;
    EXPECT_EQ(console.TakeOutput(), c.printed);
    EXPECT_EQ(Screen.inputRead, c.readsKeys ? 1u : 0u);
  }
}

TEST(WaitForKeyIfStandalone, InputThatCannotBeReadEndsTheWait) {
  FakeConsoleScope console;
  ConsoleContext context = {nullptr, nullptr, 0};
  Screen.windowOwner = GetCurrentProcessId();
  Screen.input = {Key(VK_SHIFT, true)};
  WaitForKeyIfStandalone(&context);
  EXPECT_EQ(Screen.inputRead, 1u);
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
      // The scan's count stays behind its label while the cursor waits at column 0.
      {CTRL_C_EVENT, 0, L"scanning file pool 1: 3520", "\r\nCtrl+C pressed -> abort\r\n"},
      {CTRL_C_EVENT, 0, L"", "Ctrl+C pressed -> abort\r\n"},
      {CTRL_BREAK_EVENT, 0, L"", "Ctrl+Break pressed -> abort\r\n"},
      {CTRL_CLOSE_EVENT, 0, L"", "Close Button pressed -> abort\r\n"},
      {CTRL_LOGOFF_EVENT, 0, L"", "User LogOff -> abort\r\n"},
      {CTRL_SHUTDOWN_EVENT, 0, L"", "System Shutdown -> abort\r\n"},
      {3, 0, L"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.event);
    FakeConsoleScope console;
    Screen.cursor = COORD{c.column, 4};
    Screen.Show(4, 0, c.row);
    CancelRequested = 0;
    EXPECT_EQ(ControlHandler(c.event), TRUE);
    EXPECT_EQ(CancelRequested, 1);
    EXPECT_EQ(console.TakeOutput(), c.printed);
  }
  CancelRequested = 0;
}
}  // namespace
