#include <gtest/gtest.h>

#include "compare/test_blocks.h"
#include "compare_test_support.h"
#include "seam/file_system.h"

class FileEnds : public ::testing::Test {
 protected:
  void TearDown() override { RestoreFileSystemCalls(); }
  TempFolder folder;
  OutputCapture output;
};

using Ranges = std::vector<std::pair<int64_t, uint32_t>>;

TEST_F(FileEnds, ComparesStartAndEndOnly) {
  const int64_t kNone = -1;
  struct Case {
    size_t size;
    int64_t differAt;  // byte that differs in file 2, or kNone
    uint32_t blockLength;
    int expected;
    Ranges readsOfFile1;
  } cases[] = {
      {5000000, kNone, 4096, 1, {{0, 4096}, {4993024, 6976}}},
      {5000000, 100, 4096, 0, {{0, 4096}}},
      // Between the compared ranges: not seen.
      {5000000, 2000000, 4096, 1, {{0, 4096}, {4993024, 6976}}},
      {5000000, 4999999, 4096, 0, {{0, 4096}, {4993024, 6976}}},
      // Less than a page after the start block: the end read starts at 0.
      {6000, 5000, 4096, 0, {{0, 4096}, {0, 6000}}},
      // A file shorter than the block: the start decides alone.
      {3000, kNone, 4096, 1, {{0, 3000}}},
      {3000, 2999, 4096, 0, {{0, 3000}}},
      // A block length beyond the buffers is held to what they can take.
      {5000000, kNone, 0xFFFFFFFF, 1, {{0, 1044480}, {3952640, 1047360}}},
      {5000000, 100, 0xFFFFFFFF, 0, {{0, 1044480}}},
  };
  for (const Case& c : cases) {
    std::vector<unsigned char> content = PatternBytes(c.size, 21);
    std::wstring path1 = folder.Write(L"one.bin", content);
    if (c.differAt != kNone) content[c.differAt] ^= 0x40;
    std::wstring path2 = folder.Write(L"two.bin", content);
    ReadLog& log = LogReads();
    EXPECT_EQ(CompareFileEnds(path1.c_str(), path2.c_str(), static_cast<int64_t>(c.size), c.blockLength),
              c.expected)
        << c.size << " " << c.differAt;
    ASSERT_FALSE(log.reads.empty());
    EXPECT_EQ(log.Ranges(log.reads[0].file), c.readsOfFile1) << c.size << " " << c.differAt;
    EXPECT_EQ(log.reads.size(), 2 * c.readsOfFile1.size());
  }
  EXPECT_EQ(output.Text(), "");
}

TEST_F(FileEnds, UnreadableFilesCountAsDifferentWithoutMessage) {
  std::vector<unsigned char> content = PatternBytes(5000000, 22);
  std::wstring path1 = folder.Write(L"one.bin", content);
  std::wstring path2 = folder.Write(L"two.bin", content);
  std::wstring gone = folder.PathOf(L"gone.bin");
  EXPECT_EQ(CompareFileEnds(path1.c_str(), gone.c_str(), 5000000, 4096), 0);
  EXPECT_EQ(CompareFileEnds(gone.c_str(), path2.c_str(), 5000000, 4096), 0);

  // A failed start read decides nothing; a failed end read means different.
  ReadLog& log = LogReads();
  log.failAt = 1;
  log.failCode = ERROR_CRC;
  EXPECT_EQ(CompareFileEnds(path1.c_str(), path2.c_str(), 5000000, 4096), 1);
  log = LogReads();
  log.failAt = 3;
  log.failCode = ERROR_CRC;
  EXPECT_EQ(CompareFileEnds(path1.c_str(), path2.c_str(), 5000000, 4096), 0);
  RestoreFileSystemCalls();

  FailOpens(ERROR_SHARING_VIOLATION);
  EXPECT_EQ(CompareFileEnds(path1.c_str(), path2.c_str(), 5000000, 4096), 0);
  EXPECT_EQ(output.Text(), "");
}
