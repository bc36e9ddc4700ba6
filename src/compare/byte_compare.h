#pragma once
// Byte-for-byte comparison of two open files: the last word before a pair is reported or acted on, since two
// different files can share a CRC-64.
#include <windows.h>

#include <cstdint>

// 1 when two open files of this size hold the same bytes wherever their checksum looked (the whole file, or
// the three test blocks of testSize); 0 when they differ or cannot be read whole. Reads from the start.
int OpenFilesMatch(HANDLE file1, HANDLE file2, int64_t size, int64_t testSize);
