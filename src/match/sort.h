#pragma once
#include <cstddef>

#include "pool/file_record.h"

// Orders records by size, then shallow paths first, then folder and name.
int CompareRecords(const void* a, const void* b);
void SortRecords(FileRecord* records, size_t count, size_t elementSize, int (*compare)(const void*, const void*));
