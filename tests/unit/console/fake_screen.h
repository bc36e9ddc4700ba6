#pragma once
// A simulated console screen buffer behind the console seam, and a pipe that catches what the
// status-line operations print through the output stream.
#include <windows.h>

#include <string>
#include <vector>

#include "seam/console_screen.h"

struct CellWrite {
  int row;
  int left;
  int right;
};

struct FakeScreen {
  int width = 80;
  int height = 25;
  COORD cursor = {0, 0};
  bool queryFails = false;
  bool readFails = false;
  std::vector<CHAR_INFO> cells;
  std::vector<CellWrite> writes;

  // Window sizing.
  int displayWidth = 1920;
  int displayHeight = 1080;
  bool rectFails = false;
  RECT windowRect = {0, 0, 0, 0};
  bool bufferResized = false;
  COORD newBufferSize = {0, 0};
  bool moved = false;
  RECT movedTo = {0, 0, 0, 0};  // left, top, width, height

  // Key wait.
  DWORD windowOwner = 0;
  bool flushed = false;
  std::vector<INPUT_RECORD> input;  // delivered one by one; reading fails once they are used up
  size_t inputRead = 0;

  void Reset(int columns, int rows);
  void Show(int row, int column, const std::wstring& text);
  std::wstring RowText(int row) const;
  CHAR_INFO& Cell(int row, int column) { return cells[size_t(row) * width + column]; }
};

// The one screen the seam entries of the tests look at.
extern FakeScreen Screen;
// Points the console seam at Screen and the output at a pipe; undone by the destructor.
class FakeConsoleScope {
 public:
  FakeConsoleScope();
  ~FakeConsoleScope();
  // Everything printed since the last call.
  std::string TakeOutput();

 private:
  HANDLE read_ = nullptr;
  HANDLE write_ = nullptr;
};
