#include "console/window_size.h"

// Not sized yet: a standalone window keeps the size it was opened with.
void SizeConsoleWindow(int, int) {}
