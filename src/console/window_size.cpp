#include "console/window_size.h"

#include <windows.h>

#include "seam/system_calls.h"

namespace {
constexpr int kStandardColumns = 80;
constexpr int kLargestWidth = 900;
constexpr int kLargestHeight = 600;
constexpr int kDisplayMargin = 64;  // keeps the window off the display's edge on small screens

int Smaller(int a, int b) { return a < b ? a : b; }
int Larger(int a, int b) { return a > b ? a : b; }
}  // namespace

int16_t GetScreenPixelWidth() { return int16_t(ConsoleScreen.DisplayCaps(HORZRES)); }
int16_t GetScreenPixelHeight() { return int16_t(ConsoleScreen.DisplayCaps(VERTRES)); }

void SizeConsoleWindow(int16_t columns, int16_t rows) {
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  CONSOLE_SCREEN_BUFFER_INFO info;
  // A console that cannot be asked, or that the user already widened, is left as it is.
  if (!ConsoleScreen.GetBufferInfo(output, &info) || info.dwSize.X > kStandardColumns) return;
  ConsoleScreen.SetBufferSize(output, COORD{columns, rows});
  HWND window = ConsoleScreen.GetWindow();
  RECT rect;
  if (!ConsoleScreen.GetWindowRect(window, &rect)) return;
  // The edges' screen coordinates serve as candidate sizes, as the window usually sits near the origin.
  int width = Smaller(kLargestWidth, Larger(rect.right, GetScreenPixelWidth() - kDisplayMargin));
  int height = Smaller(kLargestHeight, Larger(rect.bottom, GetScreenPixelHeight() - kDisplayMargin));
  ConsoleScreen.MoveWindow(window, rect.left, rect.top, width, height, TRUE);
}
