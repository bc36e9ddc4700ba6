#include "match/folder_order.h"

#include <windows.h>

#include <cstdlib>

#include "base/memory.h"
#include "pool/record_path.h"

namespace {
struct Folder {
  const wchar_t* dir;
  int32_t depth;
  uint32_t place;
};

int ByAddress(const void* left, const void* right) {
  uintptr_t a = reinterpret_cast<uintptr_t>(static_cast<const Folder*>(left)->dir);
  uintptr_t b = reinterpret_cast<uintptr_t>(static_cast<const Folder*>(right)->dir);
  return a < b ? -1 : a > b ? 1 : 0;
}

int ByPlace(const void* left, const void* right) {
  const Folder* a = static_cast<const Folder*>(left);
  const Folder* b = static_cast<const Folder*>(right);
  if (a->depth != b->depth) return a->depth < b->depth ? -1 : 1;
  return lstrcmpW(a->dir, b->dir);
}

const Folder* FindFolder(const Folder* folders, uint32_t count, const wchar_t* dir) {
  uint32_t lo = 0, hi = count;
  while (hi - lo > 1) {
    uint32_t mid = lo + (hi - lo) / 2;
    if (reinterpret_cast<uintptr_t>(folders[mid].dir) <= reinterpret_cast<uintptr_t>(dir))
      lo = mid;
    else
      hi = mid;
  }
  return &folders[lo];
}
}  // namespace

void RankFolders(FileRecord* records, uint32_t count) {
  if (!count) return;
  // Records of one folder share one string, and mostly follow one another.
  Folder* folders = static_cast<Folder*>(MemAlloc(size_t(count) * sizeof(Folder)));
  uint32_t distinct = 0;
  for (uint32_t i = 0; i < count; ++i)
    if (i == 0 || records[i].dir != records[i - 1].dir) folders[distinct++].dir = records[i].dir;
  qsort(folders, distinct, sizeof(Folder), ByAddress);
  uint32_t kept = 0;
  for (uint32_t i = 0; i < distinct; ++i)
    if (kept == 0 || folders[i].dir != folders[kept - 1].dir) folders[kept++] = folders[i];
  distinct = kept;

  for (uint32_t i = 0; i < distinct; ++i) folders[i].depth = folders[i].dir ? CountPathDepth(folders[i].dir) : 0;
  qsort(folders, distinct, sizeof(Folder), ByPlace);
  uint32_t place = 1;
  for (uint32_t i = 0; i < distinct; ++i) {
    if (i > 0 && ByPlace(&folders[i - 1], &folders[i]) != 0) ++place;
    folders[i].place = place;
  }

  qsort(folders, distinct, sizeof(Folder), ByAddress);
  for (uint32_t i = 0; i < count; ++i) {
    const Folder* folder = FindFolder(folders, distinct, records[i].dir);
    records[i].index = folder->place;
    records[i].pathDepth = folder->depth;
  }
  MemFree(folders);
}
