#pragma once
#include <cstddef>

#include "pool/file_record.h"

// Orders records by size, then shallow paths first, then folder and name.
int CompareRecords(const void* a, const void* b);
void SortRecords(FileRecord* records, size_t count, size_t elementSize, int (*compare)(const void*, const void*));
// Backslashes in a folder path, not counting a leading \\ or \\?\ (the long form of C:\a\ counts 2).
int CountPathDepth(const wchar_t* folder);
