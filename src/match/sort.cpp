#include "match/sort.h"

#include <windows.h>

#include "match/folder_order.h"
#include "pool/record_path.h"
#include "seam/system_calls.h"

uint32_t SortSeed = 1;

namespace {
constexpr size_t kInsertionSortBelow = 16;

char* Element(void* base, size_t index, size_t size) { return static_cast<char*>(base) + index * size; }

void SwapElements(void* base, size_t i, size_t j, size_t size) {
  uint32_t* a = reinterpret_cast<uint32_t*>(Element(base, i, size));
  uint32_t* b = reinterpret_cast<uint32_t*>(Element(base, j, size));
  for (size_t words = size / 4; words > 0; --words, ++a, ++b) {
    uint32_t t = *a;
    *a = *b;
    *b = t;
  }
}

// The left part recurses, the right part loops: the pivots are drawn in the same order as a plain
// recursion, but a pool that is already in order cannot stack one frame per pivot.
void QuickSortRange(void* base, size_t count, size_t size, CompareFunction compare) {
  while (count >= kInsertionSortBelow) {
    SortSeed = SortSeed * 1103515245u + 12345u;
    size_t pivot = ((SortSeed >> 16) & 0x7FFF) % count;
    size_t split = Partition(base, count, size, compare, pivot);
    QuickSortRange(base, split, size, compare);
    base = Element(base, split + 1, size);
    count -= split + 1;
  }
  InsertionSort(base, count, size, compare, false);
}
}  // namespace

void SortRecords(void* base, size_t count, size_t elementSize, CompareFunction compare) {
  if (count < kInsertionSortBelow) {
    InsertionSort(base, count, elementSize, compare, false);
    return;
  }
  QuickSortRange(base, count, elementSize, compare);
  // After correct partitions this pass only compares neighbours; a swap here means the order was wrong.
  InsertionSort(base, count, elementSize, compare, true);
}

size_t Partition(void* base, size_t count, size_t size, CompareFunction compare, size_t pivotIndex) {
  size_t last = count - 1;
  SwapElements(base, pivotIndex, last, size);
  const char* pivot = Element(base, last, size);
  size_t lo = 0, hi = last;
  for (;;) {
    // lo stops at the pivot itself at the latest, even for a compare function that is not consistent.
    while (lo < last && compare(Element(base, lo, size), pivot) < 0) ++lo;
    while (hi > 0 && compare(Element(base, hi, size), pivot) >= 0) --hi;
    if (lo >= hi) break;
    SwapElements(base, lo, hi, size);
  }
  SwapElements(base, lo, last, size);
  return lo;
}

void InsertionSort(void* base, size_t count, size_t size, CompareFunction compare, bool checking) {
  for (size_t i = 1; i < count; ++i) {
    for (size_t j = i; j > 0 && compare(Element(base, j - 1, size), Element(base, j, size)) > 0; --j) {
      SwapElements(base, j - 1, j, size);
      if (checking) Process.Beep(666, 666);
    }
  }
}

namespace {
int32_t CachedDepth(FileRecord* record) {
  if (record->pathDepth == 0 && record->dir) record->pathDepth = CountPathDepth(record->dir);
  return record->pathDepth;
}
}  // namespace

int CompareRecords(const void* left, const void* right) {
  // The depth is cached in the records themselves, which the sort owns while it runs.
  FileRecord* a = const_cast<FileRecord*>(static_cast<const FileRecord*>(left));
  FileRecord* b = const_cast<FileRecord*>(static_cast<const FileRecord*>(right));
  if (a->size != b->size) return a->size < b->size ? -1 : 1;
  // Places follow the order below, so either way gives the same answer; places cost no string comparison.
  if (a->index && b->index && a->index != b->index)
    return a->index < b->index ? -1 : 1;
  int32_t depthA = CachedDepth(a), depthB = CachedDepth(b);
  if (depthA != depthB) return depthA < depthB ? -1 : 1;
  // Records of one folder share one string: no need to compare it.
  if (a->dir != b->dir) {
    int byDir = lstrcmpW(a->dir, b->dir);
    if (byDir != 0) return byDir;
  }
  return lstrcmpW(a->name, b->name);
}

void SortPool(FilePool* pool) {
  RankFolders(pool->records, pool->count);
  SortRecords(pool->records, pool->count, sizeof(FileRecord), CompareRecords);
  RenumberRecords(pool);
}
