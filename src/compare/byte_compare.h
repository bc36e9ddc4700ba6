#pragma once
// Byte-for-byte comparison of two files: the last word before a file is deleted, linked or renamed,
// since two different files can share a CRC-64.
#include <cstdint>

// 1 when both files hold exactly size bytes and the same bytes; 0 when they differ or cannot be read whole.
int FilesAreIdentical(const wchar_t* path1, const wchar_t* path2, int64_t size);
