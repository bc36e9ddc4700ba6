#pragma once
// Widens a console window of the program's own and enlarges its buffer.
#include <cstdint>

// Buffer of columns x rows and a window of up to 900 x 600 pixels at its top-left corner; a console wider
// than 80 columns is left alone.
void SizeConsoleWindow(int16_t columns, int16_t rows);
// Size of the display in pixels.
int16_t GetScreenPixelWidth();
int16_t GetScreenPixelHeight();
