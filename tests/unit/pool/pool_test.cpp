#include <algorithm>
#include <map>
#include <tuple>

#include "base/memory.h"
#include "console/status_line.h"
#include "pool/file_pool.h"
#include "pool/ptr_list.h"
#include "pool/scanner.h"
#include "../test_support.h"

namespace {
constexpr uint32_t kProgress = (7u << 16) | 21u, kError = 8u << 16;  // column 21 of row 7; row 8
constexpr uint32_t kRefusal = (7u << 16) | (21 + 1 + 4);             // right of a one-digit count
using Found = std::map<std::wstring, size_t>;                        // path below the scanned folder, size

// Names in any plane, and a chain 1\2\3\4\5 with a side folder; empty folders beside them.
const Found kFiles = {{L"caf\u00e9", 1}, {L"smile\U0001F600", 2}, {L"plane16\U0010FFFD", 3}, {L"x\\\u65e5\u672c", 4},
                      {L"1\\f1", 5}, {L"1\\2\\f2", 6}, {L"1\\2\\3\\f3", 7}, {L"1\\2\\3\\4\\f4", 8},
                      {L"1\\2\\3\\4\\5\\f5", 9}, {L"1\\2\\zz\\g3", 10}};
const std::filesystem::path kTree = TempPath(L"scan");
struct Tree {
  Tree() {
    for (const auto& [relative, size] : kFiles) PutFile(kTree / relative, std::string(size, 'x'));
    for (const wchar_t* empty : {L"empty", L"y\\z"}) std::filesystem::create_directories(kTree / empty);
  }
  ~Tree() { std::filesystem::remove_all(kTree); }
} tree;
const std::wstring root = L"\\\\?\\" + (kTree / L"").wstring();
std::map<uint32_t, std::vector<std::wstring>> shown;  // texts by console cell

void CaptureShown(uint32_t cell, const wchar_t* text) { shown[cell].push_back(text); }

class Scan : public ::testing::Test {
 protected:
  void SetUp() override {
    ConsoleScreen.ShownAt = CaptureShown;
    shown.clear();
  }
  ~Scan() override { ReleaseFilePool(&pool_); }
  // Scans a folder with its subfolders, as if it stood depth levels below the root.
  Found Run(const std::wstring& folder, int32_t depth = 0) {
    ReleaseFilePool(&pool_);
    InitFilePool(&pool_, {folder.c_str(), L"*", 1, 0, kProgress, kError, 0});
    pool_.depth = depth;
    ScanFolder(&pool_, pool_.rootDir);
    EXPECT_EQ(pool_.depth, depth);
    Found found;
    for (uint32_t i = 0; i < pool_.count; ++i)
      found[std::wstring(pool_.records[i].dir).substr(folder.size()) + pool_.records[i].name] = pool_.records[i].size;
    return found;
  }
  FilePool pool_ = {};
};

TEST(Wildcard, MatchesAndLinkedFolders) {
  const std::tuple<const wchar_t*, const wchar_t*, int> cases[] = {
      {L"abc", L"a*c", 1},    {L"abc", L"*b", 0},      {L"ABC.TXT", L"*.txt", 1}, {L"ac", L"a?c", 0},
      {L"abc", L"*.*", 0},    {L"a.b", L"*.*", 1},     {L"abcd", L"a*c", 0},      {L"abc", L"abc**", 1},
      {L"ab", L"abc", 0},     {L"ab ", L"ab", 0},      {L"", L"*", 0},            {L"abc", L"", 0},
      {L"a@", L"A`", 1},      {L"\u00c9t\u00e9", L"\u00e9T\u00c9", 1},        {L"x\U0001F600y", L"x?\?y", 1},
      {L"mississippi", L"m*iss*ppi", 1},               {L"photo.jpeg", L"*.jpg", 0},
  };
  for (const auto& [name, pattern, match] : cases) EXPECT_EQ(MatchWildcard(name, pattern), match) << name << pattern;
  // Junctions and folder links are linked folders; a tag without their bits is an ordinary folder.
  const DWORD folder = FILE_ATTRIBUTE_DIRECTORY, reparse = folder | FILE_ATTRIBUTE_REPARSE_POINT;
  EXPECT_TRUE(IsLinkedFolder(reparse, IO_REPARSE_TAG_MOUNT_POINT) && IsLinkedFolder(reparse, IO_REPARSE_TAG_SYMLINK));
  EXPECT_FALSE(IsLinkedFolder(reparse, 0x00000010) || IsLinkedFolder(folder, IO_REPARSE_TAG_SYMLINK));
}

TEST_F(Scan, EveryFileWholeOneFolderStringPerFolderWithFilesAndTheNestingLimit) {
  EXPECT_EQ(Run(root), kFiles);
  std::map<const wchar_t*, int> owners;
  for (uint32_t i = 0; i < pool_.count; ++i) owners[pool_.records[i].dir] += pool_.records[i].ownsDir;
  EXPECT_EQ(owners.size(), 8u) << "empty folders make no folder string";
  for (const auto& [dir, owned] : owners) EXPECT_EQ(owned, 1) << dir;
  // No linked folder followed: every plain file carries the pool's tag for its volume.
  for (uint32_t i = 0; i < pool_.count; ++i)
    EXPECT_TRUE(pool_.records[i].serialRead == kOnPoolVolume && pool_.records[i].volumeSerial == pool_.volumeTag) << i;
  EXPECT_EQ(shown[kProgress].back(), std::to_wstring(kFiles.size())) << "the final count is always shown";
  // Folder 1 stands 1021 levels down, so 3 is the deepest level listed and 4 is refused, once.
  EXPECT_EQ(Run(root + L"1\\", 1021), (Found{{L"f1", 5}, {L"2\\f2", 6}, {L"2\\3\\f3", 7}, {L"2\\zz\\g3", 10}}));
  EXPECT_EQ(shown[kRefusal], std::vector<std::wstring>{L"path nested too deep (max 1024) -> ignore"});
}

TEST_F(Scan, OverlongAndMissingFoldersAndAFullPool) {
  std::wstring overlong = L"\\\\?\\C:\\";
  while (overlong.size() < size_t(kMaxScanPathLength)) overlong += std::wstring(199, L'q') + L"\\";
  overlong.resize(kMaxScanPathLength);
  EXPECT_TRUE(Run(overlong).empty());
  EXPECT_EQ(shown[kRefusal], std::vector<std::wstring>{L"path too long (max 32768) -> ignore"});
  Run(overlong.substr(0, kMaxScanPathLength - 1));
  EXPECT_EQ(shown[kError].size(), 1u) << "one unit shorter is tried";
  Run(L"\\\\?\\C:\\zav-no-such-folder\\");
  EXPECT_EQ(shown[kError].back(), L"cannot open 'C:\\zav-no-such-folder\\*'");
  // A full pool keeps what it has and stops: the reservation ends with the committed slots, all but two taken.
  Run(root);
  pool_.reservedSlots = pool_.committedSlots;
  pool_.count = pool_.committedSlots - 2;
  EXPECT_EQ(ScanFolder(&pool_, pool_.rootDir), 0);
  EXPECT_TRUE(pool_.count == pool_.committedSlots && pool_.records[pool_.count - 1].name != nullptr);
  const std::wstring full = std::to_wstring(pool_.count) + L" files -> out of memory -> cancel";
  EXPECT_EQ(std::count(shown[kProgress].begin(), shown[kProgress].end(), full), 1);
  EXPECT_EQ(pool_.depth, 0);
}

// Pools of millions of records must stay small: 88 bytes a record on win32, 104 with win64's wider pointers.
static_assert(sizeof(FileRecord) == (sizeof(void*) == 4 ? 88 : 104), "the record size is part of the memory budget");

// The pool commits no more than its records need plus one step; released, it frees each string once, a folder
// string through the record that owns it, which need not be the first after a sort.
TEST(FilePool, AMillionRecordsCommitWhatTheyNeedAndAreReleasedOnce) {
  FilePool* pool = static_cast<FilePool*>(MemAlloc(sizeof(FilePool)));
  InitFilePool(pool, {L"C:\\root\\", L"*", 1, 0, MakeCell(5, 1), MakeCell(0, 2), 0});
  ASSERT_NE(pool->records, nullptr);
  wchar_t* dir = DupString(L"C:\\root\\a\\");
  for (uint32_t i = 0; i < 1000000; ++i) {
    FileRecord* record = AppendRecord(pool);
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(record->size, 0) << "a fresh slot is all zeros";
    record->size = i;
    if (i < 3) {
      record->dir = dir;
      record->name = DupString(L"f");
      record->ownsDir = i == 2;
    }
  }
  EXPECT_EQ(pool->count, 1000000u);
  SIZE_T committed = 0;  // as the system counts it, region by region of the reservation
  MEMORY_BASIC_INFORMATION info;
  for (const char* p = reinterpret_cast<const char*>(pool->records);
       VirtualQuery(p, &info, sizeof info) && info.AllocationBase == pool->records; p += info.RegionSize)
    committed += info.State == MEM_COMMIT ? info.RegionSize : 0;
  EXPECT_EQ(committed, pool->committedBytes);
  EXPECT_LE(committed, sizeof(FileRecord) * 1000000 + pool->commitStep);
  PtrList*& list = pool->records[1].comparedWith;
  list = static_cast<PtrList*>(MemAlloc(sizeof(PtrList)));
  PtrListInit(list);
  PtrListAdd(list, &pool->records[0]);
  ReleaseFilePool(pool);
  EXPECT_EQ(pool->records, nullptr);
  EXPECT_EQ(pool->count, 0u);
  EXPECT_EQ(pool->rootDir, nullptr);
  EXPECT_EQ(HeapSize(GetProcessHeap(), 0, dir), SIZE_T(-1)) << "the owner frees the folder string";
  EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, nullptr));
  MemFree(pool);
}
}  // namespace
