#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "console/control.h"
#include "console/status_line.h"
#include "pool/file_pool.h"
#include "pool/memory.h"
#include "pool/scanner.h"
#include "run/options.h"

namespace {
struct Shown {
  uint32_t cell;
  std::wstring text;
};
std::vector<Shown> shown;

void CaptureShown(uint32_t cell, const wchar_t* format, ...) {
  wchar_t text[1025];
  va_list args;
  va_start(args, format);
  wvsprintfW(text, format, args);
  va_end(args);
  shown.push_back({cell, text});
}

// A tree of files with given sizes in a fresh temporary folder, removed at the end of the test.
class Tree {
 public:
  explicit Tree(const std::map<std::wstring, size_t>& files) {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    static int counter = 0;
    root_ = L"\\\\?\\" + std::wstring(base) + L"zav_scan_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
            std::to_wstring(counter++) + L"\\";
    CreateDirectoryW(root_.c_str(), nullptr);
    for (const auto& [relative, size] : files) Add(relative, size);
  }
  ~Tree() { Remove(root_); }
  // A name ending in a backslash is an empty folder.
  void Add(const std::wstring& relative, size_t size) {
    for (size_t slash = relative.find(L'\\'); slash != std::wstring::npos; slash = relative.find(L'\\', slash + 1))
      CreateDirectoryW((root_ + relative.substr(0, slash)).c_str(), nullptr);
    if (relative.back() == L'\\') return;
    HANDLE file = CreateFileW((root_ + relative).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    std::string bytes(size, 'x');
    DWORD written = 0;
    if (size) WriteFile(file, bytes.data(), DWORD(size), &written, nullptr);
    CloseHandle(file);
  }
  const std::wstring& root() const { return root_; }

 private:
  static void Remove(const std::wstring& folder) {
    WIN32_FIND_DATAW entry;
    HANDLE listing = FindFirstFileW((folder + L"*").c_str(), &entry);
    if (listing != INVALID_HANDLE_VALUE) {
      do {
        std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
          Remove(folder + name + L"\\");
        else
          DeleteFileW((folder + name).c_str());
      } while (FindNextFileW(listing, &entry));
      FindClose(listing);
    }
    RemoveDirectoryW(folder.c_str());
  }
  std::wstring root_;
};

class Scan : public ::testing::Test {
 protected:
  void SetUp() override {
    shown.clear();
    ScanPrintAt = CaptureShown;
    ResetRunOptions();
  }
  void TearDown() override {
    ScanPrintAt = PrintAt;
    ResetRunOptions();
    CancelRequested = 0;
    if (pool_.records) ReleaseFilePool(&pool_);
  }
  FilePool* Run(const std::wstring& root, const wchar_t* pattern, int recurse, int followReparse = 0) {
    InitFilePool(&pool_, root.c_str(), pattern, recurse, followReparse, kProgress, kError);
    ScanFolder(&pool_, pool_.rootDir);
    return &pool_;
  }
  // Each record as its path below the root, with its size.
  static std::map<std::wstring, int64_t> Found(const FilePool& pool, const std::wstring& root) {
    std::map<std::wstring, int64_t> found;
    for (uint32_t i = 0; i < pool.count; ++i) {
      std::wstring dir = pool.records[i].dir;
      found[dir.substr(root.size()) + pool.records[i].name] = pool.records[i].size;
    }
    return found;
  }
  static std::vector<std::wstring> TextsAt(uint32_t cell) {
    std::vector<std::wstring> texts;
    for (const Shown& s : shown)
      if (s.cell == cell) texts.push_back(s.text);
    return texts;
  }
  static constexpr uint32_t kProgress = (7u << 16) | 21u;  // column 21 of row 7
  static constexpr uint32_t kError = 8u << 16;
  FilePool pool_ = {};
};

TEST(Wildcard, Matches) {
  struct Case {
    const wchar_t* name;
    const wchar_t* pattern;
    int result;
  };
  const Case cases[] = {
      {L"abc", L"a*c", 1},         {L"abc", L"a*", 1},           {L"abc", L"*b", 0},
      {L"ABC.TXT", L"*.txt", 1},   {L"abc", L"a?c", 1},          {L"ac", L"a?c", 0},
      {L"abc", L"*.*", 0},         {L"a.b", L"*.*", 1},          {L"abcbc", L"a*bc", 1},
      {L"abcd", L"a*c", 0},        {L"abc", L"abc*", 1},         {L"abc", L"abc**", 1},
      {L"abc", L"*", 1},           {L"abc", L"**c", 1},          {L"abc", L"ab", 0},
      {L"ab", L"abc", 0},          {L"ab ", L"ab", 0},           {L"", L"*", 0},
      {L"abc", L"", 0},            {L"\u00c9t\u00e9", L"\u00e9T\u00c9", 1}, {L"a@", L"A`", 1},
      {L"x\U0001F600y", L"x?\?y", 1}, {L"mississippi", L"*sip*", 1}, {L"mississippi", L"m*iss*ppi", 1},
      {L"photo.jpeg", L"*.jpg", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(MatchWildcard(c.name, c.pattern), c.result) << c.name << " ~ " << c.pattern;
}

TEST(Wildcard, DisplayPathAndLinkedFolders) {
  EXPECT_STREQ(DisplayPath(L"\\\\?\\C:\\dir\\"), L"C:\\dir\\");
  EXPECT_STREQ(DisplayPath(L"\\\\server\\share\\"), L"\\\\server\\share\\");
  EXPECT_STREQ(DisplayPath(L"C:\\dir"), L"C:\\dir");
  const DWORD reparse = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  EXPECT_TRUE(IsLinkedFolder(reparse, IO_REPARSE_TAG_MOUNT_POINT));
  EXPECT_TRUE(IsLinkedFolder(reparse, IO_REPARSE_TAG_SYMLINK));
  EXPECT_FALSE(IsLinkedFolder(reparse, 0x00000010)) << "a tag without those bits is an ordinary folder";
  EXPECT_FALSE(IsLinkedFolder(FILE_ATTRIBUTE_DIRECTORY, IO_REPARSE_TAG_SYMLINK)) << "not a reparse point";
}

TEST_F(Scan, PatternSizeBoundsAndRecursion) {
  Tree tree({{L"a.txt", 5}, {L"b.dat", 10}, {L"c", 0}, {L"sub\\d.txt", 7}, {L"sub\\deeper\\e.TXT", 3},
             {L"empty\\", 0}, {L"sub2\\f.txt", 11}});
  struct Case {
    const wchar_t* pattern;
    int recurse;
    int64_t minSize, maxSize;
    std::set<std::wstring> expected;
  };
  const Case cases[] = {
      {L"*", 0, 0, kNoSizeLimit, {L"a.txt", L"b.dat", L"c"}},
      {L"*", 1, 0, kNoSizeLimit, {L"a.txt", L"b.dat", L"c", L"sub\\d.txt", L"sub\\deeper\\e.TXT", L"sub2\\f.txt"}},
      {L"*.txt", 1, 0, kNoSizeLimit, {L"a.txt", L"sub\\d.txt", L"sub\\deeper\\e.TXT", L"sub2\\f.txt"}},
      {L"*.txt", 0, 0, kNoSizeLimit, {L"a.txt"}},
      {L"*.*", 1, 0, kNoSizeLimit, {L"a.txt", L"b.dat", L"sub\\d.txt", L"sub\\deeper\\e.TXT", L"sub2\\f.txt"}},
      {L"*", 1, 5, 10, {L"a.txt", L"b.dat", L"sub\\d.txt"}},
      {L"d.txt", 1, 0, kNoSizeLimit, {L"sub\\d.txt"}},
  };
  for (const Case& c : cases) {
    RunOptions.MinFileSize = c.minSize;
    RunOptions.MaxFileSize = c.maxSize;
    FilePool* pool = Run(tree.root(), c.pattern, c.recurse);
    std::set<std::wstring> found;
    for (const auto& entry : Found(*pool, tree.root())) found.insert(entry.first);
    EXPECT_EQ(found, c.expected) << c.pattern << " recurse " << c.recurse;
    EXPECT_EQ(pool->depth, 0);
    ReleaseFilePool(pool);
  }
}

TEST_F(Scan, RecordsOfOneFolderShareOneFolderString) {
  Tree tree({{L"1", 1}, {L"2", 2}, {L"3", 3}, {L"x\\4", 4}, {L"x\\5", 5}, {L"empty\\", 0}, {L"y\\z\\", 0}});
  FilePool* pool = Run(tree.root(), L"*", 1);
  ASSERT_EQ(pool->count, 5u);
  std::map<const wchar_t*, int> owners;
  for (uint32_t i = 0; i < pool->count; ++i) owners[pool->records[i].dir] += pool->records[i].ownsDir;
  ASSERT_EQ(owners.size(), 2u) << "empty folders make no folder string";
  for (const auto& owner : owners) EXPECT_EQ(owner.second, 1) << owner.first;
  std::map<std::wstring, int64_t> found = Found(*pool, tree.root());
  EXPECT_EQ(found[L"x\\5"], 5);
  EXPECT_EQ(TextsAt(kProgress).back(), L"5") << "the final count is always shown";
}

TEST_F(Scan, NestingLimitRefusesTheSubtreeOnceAndGoesOn) {
  Tree tree({{L"f0", 1}, {L"l1\\f1", 1}, {L"l1\\l2\\f2", 1}, {L"l1\\l2\\l3\\f3", 1},
             {L"l1\\l2\\l3\\l4\\f4", 1}, {L"l1\\l2\\l3\\l4\\l5\\f5", 1}, {L"l1\\l2\\zz\\g3", 1}});
  InitFilePool(&pool_, tree.root().c_str(), L"*", 1, 0, kProgress, kError);
  // The root stands 1020 levels down, so l3 is the deepest level listed and l4 the first refused.
  pool_.depth = 1020;
  ScanFolder(&pool_, pool_.rootDir);
  EXPECT_EQ(pool_.depth, 1020);
  std::set<std::wstring> found;
  for (const auto& entry : Found(pool_, tree.root())) found.insert(entry.first);
  EXPECT_EQ(found, (std::set<std::wstring>{L"f0", L"l1\\f1", L"l1\\l2\\f2", L"l1\\l2\\l3\\f3", L"l1\\l2\\zz\\g3"}));
  std::vector<Shown> refused;
  for (const Shown& s : shown)
    if (s.text.find(L"nested") != std::wstring::npos) refused.push_back(s);
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_EQ(refused[0].text, L"path nested too deep (max 1024) -> ignore");
  // Right of the count: column 21, plus its digits, plus 4.
  unsigned column = refused[0].cell & 0xFFFF;
  EXPECT_TRUE(column == 21 + 1 + 4) << column;
  EXPECT_EQ(refused[0].cell >> 16, 7u);
}

TEST_F(Scan, OverlongAndMissingFolders) {
  std::wstring longFolder = L"\\\\?\\C:\\";
  while (longFolder.size() < size_t(kMaxScanPathLength)) longFolder += std::wstring(199, L'q') + L"\\";
  longFolder.resize(kMaxScanPathLength);
  FilePool* pool = Run(longFolder, L"*", 1);
  EXPECT_EQ(pool->count, 0u);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, L"path too long (max 32768) -> ignore");
  ReleaseFilePool(pool);

  shown.clear();
  longFolder.resize(kMaxScanPathLength - 1);
  pool = Run(longFolder, L"*", 1);
  ASSERT_FALSE(TextsAt(kError).empty()) << "one character shorter is tried";
  EXPECT_EQ(TextsAt(kError)[0].substr(0, 15), L"cannot open 'C:");
  ReleaseFilePool(pool);

  shown.clear();
  pool = Run(L"\\\\?\\C:\\zav-no-such-folder\\", L"*", 1);
  EXPECT_EQ(TextsAt(kError), std::vector<std::wstring>{L"cannot open 'C:\\zav-no-such-folder\\*'"});
  EXPECT_EQ(TextsAt(kProgress), std::vector<std::wstring>{L"0"});
}

TEST_F(Scan, FullPoolKeepsWhatItHasAndStops) {
  Tree tree({{L"a", 1}, {L"b", 1}, {L"c", 1}, {L"d", 1}, {L"e", 1}, {L"sub\\f", 1}});
  InitFilePool(&pool_, tree.root().c_str(), L"*", 1, 0, kProgress, kError);
  // Swap the reservation for one of two steps with free address space behind it, and fill all but two slots.
  VirtualFree(pool_.records, 0, MEM_RELEASE);
  const SIZE_T step = pool_.commitStep;
  void* probe = VirtualAlloc(nullptr, 4 * step, MEM_RESERVE, PAGE_NOACCESS);
  VirtualFree(probe, 0, MEM_RELEASE);
  pool_.records = static_cast<FileRecord*>(VirtualAlloc(probe, 2 * step, MEM_RESERVE, PAGE_NOACCESS));
  ASSERT_NE(pool_.records, nullptr);
  ASSERT_NE(VirtualAlloc(pool_.records, 2 * step, MEM_COMMIT, PAGE_READWRITE), nullptr);
  pool_.committedBytes = uint32_t(2 * step);
  pool_.committedSlots = pool_.committedBytes / sizeof(FileRecord);
  pool_.count = pool_.committedSlots - 2;
  ScanFolder(&pool_, pool_.rootDir);
  EXPECT_EQ(pool_.count, pool_.committedSlots);
  EXPECT_NE(pool_.records[pool_.count - 1].name, nullptr);
  std::wstring expected = std::to_wstring(pool_.count) + L" files -> out of memory -> cancel";
  std::vector<std::wstring> progress = TextsAt(kProgress);
  EXPECT_NE(std::find(progress.begin(), progress.end(), expected), progress.end());
  EXPECT_EQ(pool_.depth, 0);
}

TEST_F(Scan, CancelStopsEveryLevel) {
  Tree tree({{L"a", 1}, {L"b", 1}, {L"c", 1}, {L"s\\d", 1}, {L"s\\e", 1}, {L"t\\f", 1}});
  CancelRequested = 1;
  FilePool* pool = Run(tree.root(), L"*", 1);
  EXPECT_LE(pool->count, 1u) << "the loop ends after the entry in hand";
  EXPECT_EQ(pool->depth, 0);
}

TEST_F(Scan, NamesInAnyPlaneComeBackWhole) {
  const std::vector<std::wstring> names = {L"caf\u00e9", L"\u65e5\u672c\u8a9e.txt", L"smile\U0001F600",
                                           L"plane16\U0010FFFD", L"\u00c5ngstr\u00f6m.TXT", L"tab\u3000space"};
  std::map<std::wstring, size_t> files;
  for (size_t i = 0; i < names.size(); ++i) files[L"u\\" + names[i]] = i + 1;
  Tree tree(files);
  FilePool* pool = Run(tree.root(), L"*", 1);
  std::map<std::wstring, int64_t> found = Found(*pool, tree.root());
  ASSERT_EQ(found.size(), names.size());
  for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(found[L"u\\" + names[i]], int64_t(i + 1)) << i;
}

TEST_F(Scan, TwoPoolsOnTwoThreads) {
  std::map<std::wstring, size_t> files1, files2;
  for (int i = 0; i < 300; ++i) files1[L"d" + std::to_wstring(i % 7) + L"\\f" + std::to_wstring(i)] = size_t(i);
  for (int i = 0; i < 200; ++i) files2[L"g" + std::to_wstring(i)] = 1;
  Tree tree1(files1), tree2(files2);
  FilePool pool1 = {}, pool2 = {};
  HANDLE thread1 = nullptr, thread2 = nullptr;
  CreateFilePool(&pool1, tree1.root().c_str(), L"*", 1, 0, kProgress, kError, &thread1);
  CreateFilePool(&pool2, tree2.root().c_str(), L"*", 1, 0, kProgress + 1, kError, &thread2);
  ASSERT_EQ(WaitForSingleObject(thread1, INFINITE), WAIT_OBJECT_0);
  ASSERT_EQ(WaitForSingleObject(thread2, INFINITE), WAIT_OBJECT_0);
  CloseHandle(thread1);
  CloseHandle(thread2);
  EXPECT_EQ(pool1.count, 300u);
  EXPECT_EQ(pool2.count, 200u);
  EXPECT_EQ(Found(pool1, tree1.root())[L"d5\\f299"], 299);
  ReleaseFilePool(&pool1);
  ReleaseFilePool(&pool2);
}
}  // namespace
