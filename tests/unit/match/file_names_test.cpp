#include <gtest/gtest.h>

#include <vector>

#include "identity/link_groups.h"
#include "match/file_names.h"

namespace {
// Records of one volume (one pool's tag), so that equal indexes are one file without any open.
std::vector<FileRecord> Records(std::vector<uint32_t> indexes, int64_t size = 10) {
  std::vector<FileRecord> records(indexes.size());
  for (size_t i = 0; i < indexes.size(); ++i) {
    records[i].fileIndexLow = indexes[i];
    records[i].size = size;
    records[i].serialRead = kOnPoolVolume;
    records[i].volumeSerial = 1;
  }
  return records;
}

class FileNamesTest : public testing::Test {
 protected:
  void TearDown() override { ForgetFileNames(); }
};

TEST_F(FileNamesTest, TheFirstNameMetStandsForTheFile) {
  std::vector<FileRecord> r = Records({7, 8, 7, 0});
  KeepFileNamesOfSize(10);
  for (FileRecord& record : r) NoteFileName(&record);
  EXPECT_EQ(FirstNameOf(&r[2]), &r[0]);
  EXPECT_EQ(FirstNameOf(&r[0]), &r[0]);
  EXPECT_EQ(FirstNameOf(&r[1]), &r[1]);
  EXPECT_EQ(FirstNameOf(&r[3]), &r[3]);  // an unread index stands for nothing else
}

// x and y under a second name each: once x and y are found identical, every pair of their names is known.
TEST_F(FileNamesTest, APairFoundIsKnownUnderEveryNameOfItsFiles) {
  std::vector<FileRecord> r = Records({1, 2, 1, 2, 3});
  KeepFileNamesOfSize(10);
  for (FileRecord& record : r) NoteFileName(&record);
  EXPECT_FALSE(KnownIdenticalAsFiles(&r[2], &r[3]));
  LinkIdenticalAsFiles(&r[0], &r[3]);
  EXPECT_TRUE(KnownIdenticalAsFiles(&r[2], &r[1]));
  EXPECT_TRUE(KnownIdenticalAsFiles(&r[1], &r[2]));
  EXPECT_FALSE(KnownIdenticalAsFiles(&r[2], &r[4]));
}

// One long run grows the table; the many small runs after it start afresh and see none of its names.
TEST_F(FileNamesTest, ANewSizeForgetsTheNamesOfTheLast) {
  std::vector<FileRecord> run(500);
  for (uint32_t i = 0; i < run.size(); ++i) run[i] = Records({i + 1})[0];
  KeepFileNamesOfSize(10);
  for (FileRecord& record : run) NoteFileName(&record);
  for (int64_t size = 11; size < 20; ++size) {
    std::vector<FileRecord> r = Records({5, 5}, size);
    KeepFileNamesOfSize(size);
    EXPECT_EQ(FirstNameOf(&r[1]), &r[1]);
    NoteFileName(&r[0]);
    EXPECT_EQ(FirstNameOf(&r[1]), &r[0]);
  }
}

// A record that an action relinked carries the kept file's index: it no longer stands for its old file.
TEST_F(FileNamesTest, ARelinkedRecordNoLongerStandsForItsOldFile) {
  std::vector<FileRecord> r = Records({4, 4, 9});
  KeepFileNamesOfSize(10);
  NoteFileName(&r[0]);
  NoteFileName(&r[2]);
  r[0].fileIndexLow = 9;
  EXPECT_EQ(FirstNameOf(&r[1]), &r[1]);
}
}  // namespace
