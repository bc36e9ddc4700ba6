#pragma once
// Widens a console window of the program's own and enlarges its buffer.
void SizeConsoleWindow(int columns, int rows);
