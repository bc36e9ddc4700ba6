#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "match/sort.h"
#include "pool/memory.h"

// Counts C++ allocations of this test program, so that the sort can be shown to make none.
volatile long cppAllocations = 0;
void* operator new(size_t size) {
  InterlockedIncrement(&cppAllocations);
  void* block = malloc(size ? size : 1);
  if (!block) throw std::bad_alloc();
  return block;
}
void operator delete(void* block) noexcept { free(block); }
void operator delete(void* block, size_t) noexcept { free(block); }

namespace {
int alarms = 0;
void CountAlarm() { ++alarms; }

class Sorting : public ::testing::Test {
 protected:
  void SetUp() override {
    alarms = 0;
    SortFaultAlarm = CountAlarm;
  }
  void TearDown() override { SortFaultAlarm = savedAlarm_; }

 private:
  void (*savedAlarm_)() = SortFaultAlarm;
};

// Synthetic records: a few folders of different depth, names and sizes from a fixed generator.
struct Corpus {
  std::vector<std::wstring> dirs, names;
  std::vector<FileRecord> records;
  explicit Corpus(size_t count, uint32_t seed = 7, int sizes = 50) {
    dirs = {L"\\\\?\\C:\\a\\", L"\\\\?\\C:\\a\\b\\", L"\\\\?\\C:\\b\\", L"\\\\?\\C:\\a\\b\\c\\", L"\\\\server\\s\\"};
    names.reserve(count);
    records.resize(count);
    for (size_t i = 0; i < count; ++i) {
      seed = seed * 1664525u + 1013904223u;
      names.push_back(L"n" + std::to_wstring(seed % 100000) + L"_" + std::to_wstring(i));
      records[i].dir = &dirs[(seed >> 8) % dirs.size()][0];
      records[i].name = &names[i][0];
      records[i].size = int64_t((seed >> 12) % unsigned(sizes));
    }
  }
};

bool InOrder(const std::vector<FileRecord>& records) {
  for (size_t i = 1; i < records.size(); ++i)
    if (CompareRecords(&records[i - 1], &records[i]) > 0) return false;
  return true;
}

TEST(PathDepth, CountsBackslashesBehindThePrefix) {
  const std::pair<const wchar_t*, int> cases[] = {
      {L"C:\\a\\", 2},       {L"\\\\?\\C:\\a\\", 2}, {L"\\\\server\\share\\d\\", 3},
      {L"\\\\?\\UNC\\s\\x\\", 3}, {L"", 0},            {L"\\\\", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(CountPathDepth(c.first), c.second) << c.first;
}

TEST(CompareRecords, SizeThenShallowerFolderThenFolderThenName) {
  wchar_t deep[] = L"\\\\?\\C:\\a\\b\\", shallow[] = L"\\\\?\\C:\\a\\", other[] = L"\\\\?\\C:\\z\\";
  wchar_t zname[] = L"z", aname[] = L"a", bname[] = L"b";
  FileRecord big = {}, deepA = {}, shallowZ = {}, otherA = {}, shallowA = {}, shallowB = {};
  big.size = 2, big.dir = shallow, big.name = aname;
  deepA.size = 1, deepA.dir = deep, deepA.name = aname;
  shallowZ.size = 1, shallowZ.dir = shallow, shallowZ.name = zname;
  otherA.size = 1, otherA.dir = other, otherA.name = aname;
  shallowA.size = 1, shallowA.dir = shallow, shallowA.name = aname;
  shallowB.size = 1, shallowB.dir = shallow, shallowB.name = bname;
  const std::pair<FileRecord*, FileRecord*> ordered[] = {
      {&deepA, &big},         // size first
      {&shallowZ, &deepA},    // then the shallower folder, whatever the names
      {&shallowZ, &otherA},   // then the folder
      {&shallowA, &shallowB}, // then the name
  };
  for (const auto& pair : ordered) {
    EXPECT_LT(CompareRecords(pair.first, pair.second), 0) << pair.first->dir << pair.first->name;
    EXPECT_GT(CompareRecords(pair.second, pair.first), 0) << pair.first->dir << pair.first->name;
  }
  EXPECT_EQ(CompareRecords(&shallowA, &shallowA), 0);
  EXPECT_EQ(deepA.pathDepth, 3) << "the depth is cached in the record";
  EXPECT_EQ(shallowZ.pathDepth, 2);
}

TEST_F(Sorting, SortsAnyShapeInOrderWithoutAlarm) {
  for (size_t count : {size_t(0), size_t(1), size_t(15), size_t(16), size_t(17), size_t(1000), size_t(40000)}) {
    Corpus corpus(count);
    std::vector<const wchar_t*> before;
    for (const FileRecord& r : corpus.records) before.push_back(r.name);
    SortRecords(corpus.records.data(), count, sizeof(FileRecord), CompareRecords);
    EXPECT_TRUE(InOrder(corpus.records)) << count;
    std::vector<const wchar_t*> after;
    for (const FileRecord& r : corpus.records) after.push_back(r.name);
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(before, after) << "every record kept, none doubled, with " << count;
  }
  EXPECT_EQ(alarms, 0) << "a correct sort never sounds the alarm";
}

TEST_F(Sorting, PresortedAndReversedPoolsOfOneSize) {
  // One size, one folder, names in listing order: the shape of a big folder of equal files.
  Corpus corpus(50000, 3, 1);
  SortRecords(corpus.records.data(), corpus.records.size(), sizeof(FileRecord), CompareRecords);
  ASSERT_TRUE(InOrder(corpus.records));
  SortRecords(corpus.records.data(), corpus.records.size(), sizeof(FileRecord), CompareRecords);
  EXPECT_TRUE(InOrder(corpus.records));
  std::reverse(corpus.records.begin(), corpus.records.end());
  SortRecords(corpus.records.data(), corpus.records.size(), sizeof(FileRecord), CompareRecords);
  EXPECT_TRUE(InOrder(corpus.records));
  EXPECT_EQ(alarms, 0);
}

TEST_F(Sorting, SeedAdvancesOnlyForLargeRangesAndCarriesOverToTheSecondPool) {
  Corpus small(15), pool1(500, 11), pool2(700, 12);
  SortSeed = 1;
  SortRecords(small.records.data(), 15, sizeof(FileRecord), CompareRecords);
  EXPECT_EQ(SortSeed, 1u) << "insertion only below 16";

  Corpus pool2Copy(700, 12);
  SortRecords(pool1.records.data(), 500, sizeof(FileRecord), CompareRecords);
  uint32_t afterPool1 = SortSeed;
  EXPECT_NE(afterPool1, 1u);
  SortRecords(pool2.records.data(), 700, sizeof(FileRecord), CompareRecords);
  uint32_t afterPool2 = SortSeed;
  // Replaying pool 2 from where pool 1 left the seed draws the very same pivots.
  SortSeed = afterPool1;
  SortRecords(pool2Copy.records.data(), 700, sizeof(FileRecord), CompareRecords);
  EXPECT_EQ(SortSeed, afterPool2);
  SortSeed = 1;
}

TEST_F(Sorting, CheckingPassRepairsAndSoundsForEveryWrongNeighbour) {
  std::vector<uint32_t> values = {5, 4, 3, 2, 1, 1};
  auto compare = [](const void* a, const void* b) {
    uint32_t x = *static_cast<const uint32_t*>(a), y = *static_cast<const uint32_t*>(b);
    return x < y ? -1 : x > y ? 1 : 0;
  };
  InsertionSort(values.data(), values.size(), sizeof(uint32_t), compare, true);
  EXPECT_EQ(values, (std::vector<uint32_t>{1, 1, 2, 3, 4, 5}));
  EXPECT_EQ(alarms, 14) << "one per swap of neighbours: the inversions of the input";
  alarms = 0;
  InsertionSort(values.data(), values.size(), sizeof(uint32_t), compare, true);
  EXPECT_EQ(alarms, 0);
}

TEST(Partition, PivotLandsBetweenSmallerAndNotSmaller) {
  std::vector<uint32_t> values;
  for (uint32_t i = 0; i < 300; ++i) values.push_back((i * 7919u) % 40);  // many equal values
  auto compare = [](const void* a, const void* b) {
    uint32_t x = *static_cast<const uint32_t*>(a), y = *static_cast<const uint32_t*>(b);
    return x < y ? -1 : x > y ? 1 : 0;
  };
  for (size_t pivotIndex : {size_t(0), size_t(150), size_t(299)}) {
    std::vector<uint32_t> v = values;
    uint32_t pivot = v[pivotIndex];
    size_t at = Partition(v.data(), v.size(), sizeof(uint32_t), compare, pivotIndex);
    ASSERT_EQ(v[at], pivot);
    for (size_t i = 0; i < at; ++i) EXPECT_LT(v[i], pivot);
    for (size_t i = at + 1; i < v.size(); ++i) EXPECT_GE(v[i], pivot) << "equal values end up on the right";
  }
}

// The sort runs on a second thread while this one holds every heap of the process locked: an allocation
// from the program's heap would block there, and the sort would not finish. C++ allocations are counted.
struct SortJob {
  FileRecord* records;
  size_t count;
  bool allocate;
  HANDLE ready, start, done;
};

DWORD WINAPI SortWhileHeapsLocked(void* parameter) {
  SortJob* job = static_cast<SortJob*>(parameter);
  // Thread start-up allocates; the heaps are locked only once it is over.
  SetEvent(job->ready);
  WaitForSingleObject(job->start, INFINITE);
  if (job->allocate) MemFree(MemAlloc(24));
  SortRecords(job->records, job->count, sizeof(FileRecord), CompareRecords);
  SetEvent(job->done);
  return 0;
}

bool SortsWithHeapsLocked(FileRecord* records, size_t count, bool allocate, DWORD patienceMs) {
  SortJob job = {records, count, allocate, CreateEventW(nullptr, TRUE, FALSE, nullptr),
                 CreateEventW(nullptr, TRUE, FALSE, nullptr), CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  HANDLE thread = CreateThread(nullptr, 0, SortWhileHeapsLocked, &job, 0, nullptr);
  WaitForSingleObject(job.ready, INFINITE);
  HANDLE heaps[64];
  DWORD heapCount = GetProcessHeaps(64, heaps);
  if (heapCount > 64) heapCount = 64;
  for (DWORD i = 0; i < heapCount; ++i) HeapLock(heaps[i]);
  SetEvent(job.start);
  // Not a speed limit: a blocked sort never finishes; a free one takes well under a second.
  bool finished = WaitForSingleObject(job.done, patienceMs) == WAIT_OBJECT_0;
  for (DWORD i = 0; i < heapCount; ++i) HeapUnlock(heaps[i]);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  CloseHandle(job.ready);
  CloseHandle(job.start);
  CloseHandle(job.done);
  return finished;
}

TEST_F(Sorting, AMillionRecordsSortWithoutTouchingTheHeap) {
  Corpus control(16);
  // The probe itself works: an allocation blocks while the heaps are locked.
  EXPECT_FALSE(SortsWithHeapsLocked(control.records.data(), 16, true, 500));
  Corpus corpus(1000000, 5, 100000);
  long cppBefore = cppAllocations;
  EXPECT_TRUE(SortsWithHeapsLocked(corpus.records.data(), corpus.records.size(), false, 60000));
  EXPECT_EQ(cppAllocations, cppBefore);
  EXPECT_TRUE(InOrder(corpus.records));
  EXPECT_EQ(alarms, 0);
}
}  // namespace
