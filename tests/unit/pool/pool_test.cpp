#include <windows.h>

#include <gtest/gtest.h>

#include "base/memory.h"
#include "console/status_line.h"
#include "pool/file_pool.h"
#include "pool/ptr_list.h"

namespace {
// Pools of millions of records must stay small: 88 bytes a record on win32, 104 with win64's wider pointers.
static_assert(sizeof(FileRecord) == (sizeof(void*) == 4 ? 88 : 104), "the record size is part of the memory budget");

SIZE_T CommittedBytes(const FilePool& pool) {
  SIZE_T committed = 0;
  const char* p = reinterpret_cast<const char*>(pool.records);
  MEMORY_BASIC_INFORMATION info;
  while (VirtualQuery(p, &info, sizeof info) && info.AllocationBase == pool.records) {
    if (info.State == MEM_COMMIT) committed += info.RegionSize;
    p += info.RegionSize;
  }
  return committed;
}

TEST(FilePool, AMillionRecordsCommitNoMoreThanTheyNeedPlusOneStep) {
  FilePool* pool = static_cast<FilePool*>(MemAlloc(sizeof(FilePool)));
  InitFilePool(pool, {L"C:\\root\\", L"*", 1, 0, MakeCell(5, 1), MakeCell(0, 2)});
  ASSERT_NE(pool->records, nullptr);
  for (uint32_t i = 0; i < 1000000; ++i) {
    FileRecord* record = AppendRecord(pool);
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(record->size, 0) << "a fresh slot is all zeros";
    record->size = i;
  }
  EXPECT_EQ(pool->count, 1000000u);
  SIZE_T committed = CommittedBytes(*pool);
  EXPECT_EQ(committed, pool->committedBytes);
  EXPECT_LE(committed, sizeof(FileRecord) * 1000000 + pool->commitStep);
  ReleaseFilePool(pool);
  EXPECT_EQ(pool->records, nullptr);
  MemFree(pool);
}

TEST(FilePool, ReleaseFreesSharedFolderStringsOnceWhateverTheOrder) {
  FilePool pool = {};
  InitFilePool(&pool, {L"C:\\root\\", L"*.jpg", 0, 0, 0, 0});
  wchar_t* dir = DupString(L"C:\\root\\a\\");
  for (int i = 0; i < 3; ++i) {
    FileRecord* record = AppendRecord(&pool);
    record->dir = dir;
    record->name = DupString(L"f");
    record->ownsDir = i == 2;  // the owner need not be the first record after a sort
  }
  FileRecord* withList = &pool.records[1];
  withList->comparedWith = static_cast<PtrList*>(MemAlloc(sizeof(PtrList)));
  PtrListInit(withList->comparedWith);
  PtrListAdd(withList->comparedWith, &pool.records[0]);
  RenumberRecords(&pool);
  for (uint32_t i = 0; i < pool.count; ++i) EXPECT_EQ(pool.records[i].index, i);
  ReleaseFilePool(&pool);
  EXPECT_TRUE(pool.count == 0u && pool.rootDir == nullptr);
  EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, nullptr));
}
}  // namespace
