#pragma once
// The banner naming the program, its version and platform, and the usage text.
void PrintBanner();
void PrintUsage();
