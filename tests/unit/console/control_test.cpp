#include "console/control.h"

#include <gtest/gtest.h>

#include "fake_screen.h"
#include "run/options.h"

namespace {
INPUT_RECORD Key(WORD virtualKey, bool down = true) {
  INPUT_RECORD record = {};
  record.EventType = KEY_EVENT;
  record.Event.KeyEvent.bKeyDown = down;
  record.Event.KeyEvent.wVirtualKeyCode = virtualKey;
  return record;
}

TEST(WaitForKeyIfStandalone, WaitsInItsOwnWindowForARealKey) {
  INPUT_RECORD mouse = {MOUSE_EVENT, {}};
  const std::vector<INPUT_RECORD> lone = {Key(VK_SHIFT),  Key(VK_CONTROL), Key(VK_MENU), Key(VK_PAUSE),
                                          Key(VK_CAPITAL), mouse,          Key('A', false)};
  std::vector<INPUT_RECORD> letter = lone;
  letter.insert(letter.end(), {Key('A'), Key('B')});
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
      {CTRL_C_EVENT, 0, L"scanning file pool 1: 3520", "\r\nCtrl+C pressed -> abort\r\n"},  // count behind the label
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
}  // namespace
