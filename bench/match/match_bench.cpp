// Times the matching loop alone: pools of records whose checksums, link counts and allocation sizes are
// already known, so no file is opened. What it measures is everything outside reading and checksumming.
// The name keys, which a real walk makes for every file at its first pair, are timed on their own first.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/memory.h"
#include "base/run_options.h"
#include "console/console_state.h"
#include "console/output.h"
#include "match/name_key.h"
#include "match/match_pools.h"
#include "match/sort.h"
#include "pool/file_pool.h"

namespace {
uint32_t g_seed = 12345;
uint32_t Next() { return g_seed = g_seed * 1103515245u + 12345u; }

wchar_t* Name(uint32_t i) {
  wchar_t text[32];
  wsprintfW(text, L"file%u.bin", i);
  return DupString(text);
}

// files in runs of 1 to 4 of one size, every tenth a duplicate of the file before it, plus one run of
// `sameSize` different files of a single size.
void Fill(FilePool* pool, uint32_t files, uint32_t sameSize) {
  wchar_t* dir = DupString(L"\\\\?\\C:\\bench\\folder\\");
  int64_t size = 1000;
  uint32_t made = 0;
  auto add = [&](int64_t bytes, uint64_t checksum) {
    FileRecord* r = AppendRecord(pool);
    r->dir = dir;
    r->ownsDir = made == 0;
    r->name = Name(made++);
    r->size = bytes;
    r->checksum = checksum;
    r->allocSize = (bytes + 4095) & ~int64_t(4095);
    r->linkState = LinkState::Single;
    r->linkCount = 1;
  };
  while (made < files - sameSize) {
    ++size;
    uint32_t run = 1 + Next() % 4;
    uint64_t checksum = 0;
    for (uint32_t k = 0; k < run && made < files - sameSize; ++k) {
      if (made % 10 != 9 || checksum == 0) checksum = (uint64_t(Next()) << 32) | Next() | 1;
      add(size, checksum);
    }
  }
  for (uint32_t k = 0; k < sameSize; ++k) add(size + 1, (uint64_t(Next()) << 32) | Next() | 1);
}

double Milliseconds(const LARGE_INTEGER& start, const LARGE_INTEGER& end) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

void TimeMatching(uint32_t files, uint32_t sameSize) {
  FilePool pool = {};
  InitFilePool(&pool, {L"\\\\?\\C:\\bench\\", L"*", 1, 0, 0, 0, 0});
  Fill(&pool, files, sameSize);
  SortRecords(pool.records, pool.count, sizeof(FileRecord), CompareRecords);
  RenumberRecords(&pool);
  lstrcpyW(SearchFolder1, pool.rootDir);
  lstrcpyW(SearchFolder2, pool.rootDir);

  LARGE_INTEGER start, keyed, end;
  QueryPerformanceCounter(&start);
  for (uint32_t i = 0; i < pool.count; ++i) NameKey(&pool.records[i]);
  QueryPerformanceCounter(&keyed);
  uint32_t found = MatchPools(pool.records, pool.count, pool.records, pool.count, 1);
  QueryPerformanceCounter(&end);
  uint64_t pairs = uint64_t(sameSize) * (sameSize - 1);
  printf("matching loop, %u files (a run of %u different files of one size): %.0f ms, %u files found identical\n",
         files, sameSize, Milliseconds(keyed, end), found);
  printf("  name keys made beforehand: %.0f ms; the run alone makes %llu pairs: %.2f ns per pair at most\n",
         Milliseconds(start, keyed), (unsigned long long)pairs, pairs ? Milliseconds(keyed, end) * 1e6 / double(pairs) : 0.0);
  ReleaseFilePool(&pool);
}
}  // namespace

int main(int argc, char** argv) {
  uint32_t files = argc > 1 ? strtoul(argv[1], nullptr, 10) : 20000;
  uint32_t sameSize = argc > 2 ? strtoul(argv[2], nullptr, 10) : 5000;
  RunOptions.SameSearchFolder = 1;
  RunOptions.ParallelRead = 0;
  // Pair lines and the summary go to NUL, as redirected output, so neither console speed nor the status
  // line counts.
  ConsoleContext redirected = {};
  redirected.redirected = 1;
  Console = &redirected;
  HANDLE sink = CreateFileW(L"NUL", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  SetOutputHandleForTesting(sink);
  TimeMatching(files, sameSize);
  TimeMatching(1000000 + 5000, 1000000);
  SetOutputHandleForTesting(GetStdHandle(STD_OUTPUT_HANDLE));
  Console = nullptr;
  return 0;
}
