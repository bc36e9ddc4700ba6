// Sorts one million synthetic records the way the run driver sorts a pool, and reports the time and how much
// the process's committed memory grew while sorting (it should not: the sort works in place).
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "match/sort.h"
#include "pool/file_pool.h"

namespace {
SIZE_T CommittedBytes() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters.PagefileUsage;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  const uint32_t count = argc > 1 ? uint32_t(_wtoi(argv[1])) : 1000000;
  FilePool pool = {};
  InitFilePool(&pool, {L"\\\\?\\C:\\bench\\", L"*", 1, 0, 0, 0, 0});
  // 2000 folders of different depth, 500 records each, sizes with many repeats, as a scan leaves them.
  std::vector<std::wstring> folders, names(count);
  for (int i = 0; i < 2000; ++i) folders.push_back(L"\\\\?\\C:\\bench\\" + std::wstring(i % 7, L'x') + L"\\f" + std::to_wstring(i) + L"\\");
  uint32_t seed = 12345;
  for (uint32_t i = 0; i < count; ++i) {
    FileRecord* record = AppendRecord(&pool);
    if (!record) return 1;
    seed = seed * 1664525u + 1013904223u;
    names[i] = L"file" + std::to_wstring(seed % 1000000) + L".jpg";
    record->dir = &folders[(i / 500) % folders.size()][0];
    record->name = &names[i][0];
    record->size = int64_t((seed >> 8) % 300000);
  }
  SIZE_T before = CommittedBytes();
  DWORD start = GetTickCount();
  SortRecords(pool.records, pool.count, sizeof(FileRecord), CompareRecords);
  RenumberRecords(&pool);
  DWORD elapsed = GetTickCount() - start;
  SIZE_T after = CommittedBytes();
  bool ordered = true;
  for (uint32_t i = 1; i < pool.count; ++i)
    if (CompareRecords(&pool.records[i - 1], &pool.records[i]) > 0) ordered = false;
  wprintf(L"sorted %u records in %lu ms; committed memory grew by %lld KiB while sorting; %ls\n", pool.count,
          elapsed, (long long)(after - before) / 1024, ordered ? L"in order" : L"NOT IN ORDER");
  // The strings belong to the vectors above, not to the pool.
  for (uint32_t i = 0; i < pool.count; ++i) pool.records[i].name = nullptr, pool.records[i].ownsDir = 0;
  ReleaseFilePool(&pool);
  return ordered ? 0 : 1;
}
