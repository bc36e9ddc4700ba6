#include "match/sort.h"

// Not ordered yet: the matching driver is told through RunOptions.SortBySize how the pools stand.
int CompareRecords(const void*, const void*) { return 0; }
void SortRecords(FileRecord*, size_t, size_t, int (*)(const void*, const void*)) {}

int CountPathDepth(const wchar_t* folder) {
  const wchar_t* p = folder;
  if (p[0] == L'\\' && p[1] == L'\\') {
    p += 2;
    if (p[0] == L'?' && p[1] == L'\\') p += 2;
  }
  int depth = 0;
  for (; *p; ++p)
    if (*p == L'\\') ++depth;
  return depth;
}
