#include "action_fixture.h"
#include "actions/actions.h"
#include "actions/emptied_folders.h"
#include "actions/fragmentation.h"
#include "fault_seam.h"
#include "run/options.h"
#include "seam/file_system.h"

namespace {
std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

using EmptiedFolders = ActionTest;

TEST_F(EmptiedFolders, CutToFolderKeepsTheTrailingBackslash) {
  MakeFolder(L"f");
  const struct {
    std::wstring in, out;
  } cases[] = {
      {Root() + L"f\\gone.txt", Root() + L"f\\"},
      {Root() + L"f", Root() + L"f\\"},  // an existing folder gets its backslash
      {Root() + L"f\\", Root() + L"f\\"},
      {L"name", L"name"},
  };
  for (const auto& c : cases) {
    std::vector<wchar_t> path(32768);
    wcscpy(path.data(), c.in.c_str());
    CutToFolder(path.data());
    EXPECT_EQ(std::wstring(path.data()), c.out);
  }
}

TEST_F(EmptiedFolders, OnlyAFolderWithoutAnyEntryIsEmpty) {
  MakeFolder(L"empty");
  MakeFolder(L"withfolder\\sub");
  std::wstring hidden = WriteFile(L"withhidden\\h.txt", "h");
  SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  EXPECT_TRUE(IsFolderEmpty((Root() + L"empty").c_str()));
  EXPECT_TRUE(IsFolderEmpty((Root() + L"empty\\").c_str()));
  EXPECT_FALSE(IsFolderEmpty((Root() + L"withfolder").c_str()));
  EXPECT_FALSE(IsFolderEmpty((Root() + L"withhidden\\").c_str()));
  EXPECT_FALSE(IsFolderEmpty((Root() + L"missing\\").c_str()));
}

TEST_F(EmptiedFolders, DeletingTheLastFileClimbsUntilAFolderHoldsAnEntry) {
  WriteFile(L"b\\a\\x.txt", "same");
  WriteFile(L"other.txt", "same");
  TestFile* inner = Record(L"b\\a\\x.txt");
  TestFile* outer = Record(L"other.txt");
  RunOptions.Action = ActionDeleteFile2;
  RunOptions.DeleteEmptiedDirs = 1;
  int64_t redundant = 0;
  EXPECT_EQ(ActOnDuplicate(&outer->record, &inner->record, outer->Path(), inner->Path(), 0, &redundant), 1);
  std::string shown = Narrow(Root().substr(4));
  EXPECT_EQ(Output(), "other.txt == b\\a\\x.txt\r\n file2 deleted\r\ndir removed: " + shown +
                          "b\\a\r\ndir removed: " + shown + "b\r\n");
  EXPECT_FALSE(Exists(L"b"));
  EXPECT_TRUE(Exists(L"keep.txt"));
}

TEST_F(EmptiedFolders, AFolderThatKeepsAnEntryOrCannotGoStays) {
  WriteFile(L"c\\x.txt", "same");
  MakeFolder(L"c\\sub");
  WriteFile(L"d\\e\\x.txt", "same");
  WriteFile(L"other.txt", "same");
  TestFile* withSub = Record(L"c\\x.txt");
  TestFile* locked = Record(L"d\\e\\x.txt");
  TestFile* outer = Record(L"other.txt");
  RunOptions.Action = ActionDeleteFile2;
  RunOptions.DeleteEmptiedDirs = 1;
  int64_t redundant = 0;
  ActOnDuplicate(&outer->record, &withSub->record, outer->Path(), withSub->Path(), 0, &redundant);
  EXPECT_EQ(Output(), "other.txt == c\\x.txt\r\n file2 deleted\r\n");
  EXPECT_TRUE(Exists(L"c\\sub"));
  // A folder whose removal fails stays, silently.
  FileSystem.RemoveFolder = FailingRemoveFolder;
  ActOnDuplicate(&outer->record, &locked->record, outer->Path(), locked->Path(), 0, &redundant);
  EXPECT_EQ(Output(), "other.txt == d\\e\\x.txt\r\n file2 deleted\r\n");
  EXPECT_TRUE(Exists(L"d\\e"));
  EXPECT_EQ(DeletedCount, 2u);
}

TEST_F(EmptiedFolders, WithoutTheOptionNoFolderIsRemoved) {
  WriteFile(L"b\\x.txt", "same");
  WriteFile(L"other.txt", "same");
  TestFile* inner = Record(L"b\\x.txt");
  TestFile* outer = Record(L"other.txt");
  RunOptions.Action = ActionDeleteFile2;
  int64_t redundant = 0;
  ActOnDuplicate(&outer->record, &inner->record, outer->Path(), inner->Path(), 0, &redundant);
  EXPECT_TRUE(Exists(L"b"));
  EXPECT_FALSE(Exists(L"b\\x.txt"));
}

std::vector<std::wstring> g_removed;

BOOL WINAPI RecordRemoval(LPCWSTR path) {
  g_removed.push_back(path);
  return TRUE;
}

TEST_F(EmptiedFolders, TheClimbStopsAtTheDriveRoot) {
  // Every removal succeeds through the seam: the climb must end at "\\?\C:" by itself.
  g_removed.clear();
  FileSystem.RemoveFolder = RecordRemoval;
  EXPECT_TRUE(RemoveEmptiedFolders(L"\\\\?\\C:\\one\\two\\"));
  EXPECT_EQ(g_removed, (std::vector<std::wstring>{L"\\\\?\\C:\\one\\two", L"\\\\?\\C:\\one"}));
  EXPECT_EQ(Output(), "dir removed: C:\\one\\two\r\ndir removed: C:\\one\r\n");
}

using Layout = ActionTest;

TEST_F(Layout, MeasuresOfAnOrdinaryFile) {
  std::wstring small = WriteFile(L"five.txt", "12345");
  std::wstring empty = WriteFile(L"empty.txt", "");
  std::wstring missing = Root() + L"missing.txt";
  EXPECT_EQ(GetFileSizeByPath(small.c_str()), 5);
  EXPECT_EQ(GetCompressedSize(small.c_str()), 5);
  EXPECT_EQ(GetAllocationSize(small.c_str()), 4096);
  EXPECT_EQ(CountFragments(small.c_str()), 1u);
  EXPECT_EQ(CountFragments(empty.c_str()), 0u);
  for (const std::wstring& path : {missing}) {
    EXPECT_EQ(GetFileSizeByPath(path.c_str()), 0);
    EXPECT_EQ(GetCompressedSize(path.c_str()), 0);
    EXPECT_EQ(GetAllocationSize(path.c_str()), 0);
    EXPECT_EQ(CountFragments(path.c_str()), 0u);
  }
  // A file that cannot be opened (locked, access denied) measures 0.
  FileSystem.Open = FailingOpen;
  EXPECT_EQ(GetAllocationSize(small.c_str()), 0);
  EXPECT_EQ(CountFragments(small.c_str()), 0u);
}
}  // namespace
