#pragma once
// The program's main sequence: returns the process exit code.
//   0 duplicates found, 1 cancelled before matching, 2 no duplicates, 3 usage shown,
//   4 bad command line or hard-link volumes, 7/8 invalid source volume, 9 source missing or pool empty.
int RunMain(int argc, wchar_t** argv);
