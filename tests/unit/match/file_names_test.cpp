#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "identity/link_groups.h"
#include "match/file_names.h"
#include "match/folder_keys.h"
#include "match/name_key.h"

namespace {
// Records of one volume (one pool's tag), so that equal indexes are one file without any open; noted at once.
std::vector<FileRecord> Noted(std::vector<uint32_t> indexes, int64_t size = 10) {
  std::vector<FileRecord> records(indexes.size());
  KeepFileNamesOfSize(size);
  for (size_t i = 0; i < indexes.size(); ++i) {
    records[i].fileIndexLow = indexes[i];
    records[i].size = size;
    records[i].serialRead = kOnPoolVolume;
    records[i].volumeSerial = 1;
  }
  return records;
}

struct FileNames : testing::Test { void TearDown() override { ForgetFileNames(); } };

// The first name met stands for the file; x and y under a second name each: once x and y are found identical,
// every pair of their names is known.
TEST_F(FileNames, TheFirstNameStandsForTheFileUnderEveryNameUntilANewSize) {
  std::vector<FileRecord> r = Noted({1, 2, 1, 2, 3, 0});
  for (FileRecord& record : r) NoteFileName(&record);
  const std::pair<int, int> firsts[] = {{2, 0}, {0, 0}, {1, 1}, {5, 5}};  // an unread index stands for no other
  for (auto [i, first] : firsts) EXPECT_EQ(FirstNameOf(&r[i]), &r[first]) << i;
  EXPECT_FALSE(KnownIdenticalAsFiles(&r[2], &r[3]));
  LinkIdenticalAsFiles(&r[0], &r[3]);
  EXPECT_TRUE(KnownIdenticalAsFiles(&r[2], &r[1]) && KnownIdenticalAsFiles(&r[1], &r[2]));
  EXPECT_FALSE(KnownIdenticalAsFiles(&r[2], &r[4]));
  // A record that an action relinked carries the kept file's index: it no longer stands for its old file.
  std::vector<FileRecord> relinked = Noted({4, 4, 9});
  NoteFileName(&relinked[0]);
  NoteFileName(&relinked[2]);
  relinked[0].fileIndexLow = 9;
  EXPECT_EQ(FirstNameOf(&relinked[1]), &relinked[1]);
  // One long run grows the table; the many small runs after it start afresh and see none of its names.
  std::vector<uint32_t> indexes(500);
  for (uint32_t i = 0; i < indexes.size(); ++i) indexes[i] = i + 1;
  std::vector<FileRecord> run = Noted(indexes);
  for (FileRecord& record : run) NoteFileName(&record);
  for (int64_t size = 11; size < 20; ++size) {
    std::vector<FileRecord> r = Noted({5, 5}, size);
    EXPECT_EQ(FirstNameOf(&r[1]), &r[1]);
    NoteFileName(&r[0]);
    EXPECT_EQ(FirstNameOf(&r[1]), &r[0]);
  }
}

// The cache grows several times over 3,000 folders: each folder string must still answer its own key.
TEST(FolderKeys, EveryFolderKeepsItsOwnKeyAsTheCacheGrows) {
  std::vector<std::wstring> folders;
  for (int i = 0; i < 3000; ++i) folders.push_back(L"C:\\Data\\Ordner " + std::to_wstring(i) + L"\\");
  FolderKeys keys;
  for (const std::wstring& folder : folders) keys.KeyOf(folder.c_str());
  for (const std::wstring& folder : folders)
    ASSERT_EQ(keys.KeyOf(folder.c_str()), CaseBlindKey(folder.c_str())) << folder;
}
}  // namespace
