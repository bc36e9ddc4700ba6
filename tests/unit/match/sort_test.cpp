#include <algorithm>
#include <tuple>

#include "base/memory.h"
#include "match/sort.h"
#include "pool/record_path.h"
#include "../test_support.h"

namespace {
using Records = std::vector<FileRecord>;
int alarms = 0;
std::wstring dirs[] = {L"C:\\a\\", L"\\\\?\\C:\\a\\b\\", L"\\\\?\\C:\\b\\", L"C:\\a\\b\\c\\", L"\\\\s\\h\\"};
std::vector<std::wstring> names(997);  // n0 to n996, named by the fixture

Records Corpus(size_t count, uint32_t seed, unsigned sizes) {
  Records records(count);
  for (FileRecord& record : records) {
    seed = seed * 1664525u + 1013904223u;
    std::tie(record.dir, record.name) = std::tuple(&dirs[(seed >> 8) % 5][0], &names[(seed >> 4) % names.size()][0]);
    record.size = int64_t((seed >> 12) % sizes);
  }
  return records;
}
bool Less(const FileRecord& a, const FileRecord& b) { return CompareRecords(&a, &b) < 0; }
bool Same(const FileRecord& a, const FileRecord& b) { return a.size == b.size && a.dir == b.dir && a.name == b.name; }
Records Sorted(Records records) {
  Records expected = records;
  std::stable_sort(expected.begin(), expected.end(), Less);
  SortRecords(records.data(), records.size(), sizeof(FileRecord), CompareRecords);
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), records.begin(), Same)) << expected.size();
  return records;
}

// The sort allocates nothing: a heap call through MemAlloc counts as an alarm too.
LPVOID WINAPI CountedHeapAlloc(HANDLE heap, DWORD flags, SIZE_T size) {
  ++alarms;
  return HeapAlloc(heap, flags, size);
}

BOOL WINAPI CountedBeep(DWORD, DWORD) {
  ++alarms;
  return TRUE;
}
TEST(Sorting, BySizeThenShallowerFolderThenFolderThenNameLikeStdSortWithoutAlarmAndTheSeedCarriesOver) {
  for (size_t i = 0; i < names.size(); ++i) names[i] = L"n" + std::to_wstring(i);
  Process.Beep = CountedBeep;
  Process.HeapAlloc = CountedHeapAlloc;
  wchar_t a[] = L"\\\\?\\C:\\a\\", ab[] = L"\\\\?\\C:\\a\\b\\", z[] = L"\\\\?\\C:\\z\\", na[] = L"a", nz[] = L"z";
  // Ascending: each differs from the next in the key that decides, and the later keys pull the other way.
  const std::tuple<int, wchar_t*, wchar_t*> keys[] = {{1, a, na}, {1, a, nz}, {1, z, na}, {1, ab, na}, {2, a, na}};
  FileRecord records[5] = {};
  for (int i = 0; i < 5; ++i) std::tie(records[i].size, records[i].dir, records[i].name) = keys[i];
  for (int i = 0; i < 4; ++i) EXPECT_GT(CompareRecords(&records[i + 1], &records[i]), 0) << i;
  EXPECT_EQ(records[3].pathDepth, 3) << "the depth of the long-path form is cached in the record";
  EXPECT_EQ(CountPathDepth(L"\\\\server\\share\\d\\"), 3);
  std::reverse(records, records + 5);
  InsertionSort(records, 5, sizeof(FileRecord), CompareRecords, true);
  EXPECT_TRUE(std::is_sorted(records, records + 5, Less));
  EXPECT_EQ(alarms, 10) << "the checking pass sounds once for every swap of neighbours it has to make";
  alarms = 0;
  for (size_t count : {0, 1, 15, 16, 17, 1000, 40000, 1000000}) Sorted(Corpus(count, 7, count / 10 + 1));
  Records oneSize = Sorted(Sorted(Corpus(50000, 3, 1)));  // random, then presorted
  Sorted(Records(oneSize.rbegin(), oneSize.rend()));
  EXPECT_EQ(alarms, 0) << "a correct sort never sounds the alarm, nor allocates";
  Sorted(Corpus(700, 12, 50));
  const uint32_t afterPool1 = SortSeed;
  Sorted(Corpus(700, 12, 50));  // the same records again, as pool 2
  EXPECT_NE(SortSeed, afterPool1) << "pool 2 goes on from the seed pool 1 left, so it draws other pivots";
  // A pool sorts exactly as without folder places, and is numbered.
  wchar_t sameText[] = L"C:\\a\\";  // another string of one folder's text: the two must share a place
  Records plain = Corpus(30000, 5, 40);
  for (size_t i = 0; i < plain.size(); i += 3)
    if (plain[i].dir == dirs[0]) plain[i].dir = sameText;
  Records placed = plain;
  const uint32_t seed = SortSeed;
  SortRecords(plain.data(), plain.size(), sizeof(FileRecord), CompareRecords);
  SortSeed = seed;
  FilePool pool = {};
  pool.records = placed.data();
  pool.count = uint32_t(placed.size());
  SortPool(&pool);
  EXPECT_TRUE(std::equal(plain.begin(), plain.end(), placed.begin(), Same)) << "every comparison answers alike";
  for (uint32_t i = 0; i < pool.count; i += 997) EXPECT_EQ(placed[i].index, i);
}
}  // namespace
