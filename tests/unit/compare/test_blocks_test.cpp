#include "compare/test_blocks.h"

#include <gtest/gtest.h>

#include "compare/checksum_buffers.h"
#include "compare_test_support.h"
#include "seam/file_system.h"

class TestBlocks : public ::testing::Test {
 protected:
  void SetUp() override { InitChecksumBuffers(); }
  void TearDown() override { RestoreFileSystemCalls(); }
  TempFolder folder;
  OutputCapture output;
  uint32_t errorCode = 77;
};

using Ranges = std::vector<std::pair<int64_t, uint32_t>>;

// The reads actually made (offset, bytes delivered) and the checksum over exactly those bytes.
TEST_F(TestBlocks, ReadsThreeBlocksAtTheirOffsets) {
  const uint32_t MiB = 1048576;
  struct Case {
    size_t size;
    int64_t testSize;
    Ranges reads;
  } cases[] = {
      // The test size reaches a quarter of the file: the whole file is read instead.
      {40000, 12288, {{0, 40000}, {40000, 0}}},
      {1000000, 8192, {{0, 8192}, {499712, 8192}, {995328, 4672}, {1000000, 0}}},
      // 1.5 MiB blocks are read in 1 MiB pieces; the end block stops at the end of the file.
      {10000000,
       1572864,
       {{0, MiB}, {MiB, MiB}, {4214784, MiB}, {4214784 + MiB, MiB}, {8429568, MiB}, {8429568 + MiB, 521856},
        {10000000, 0}}},
  };
  for (const Case& c : cases) {
    std::vector<unsigned char> content = PatternBytes(c.size, static_cast<uint32_t>(c.size));
    std::wstring path = folder.Write(L"blocks.bin", content);
    ReadLog& log = LogReads();
    uint64_t checksum = ChecksumTestBlocks(path.c_str(), static_cast<int64_t>(c.size), c.testSize, &errorCode);
    EXPECT_EQ(log.Ranges(), c.reads) << c.size;
    std::vector<std::pair<size_t, size_t>> covered;
    size_t total = 0;
    for (const auto& read : c.reads) {
      covered.push_back({static_cast<size_t>(read.first), read.second});
      total += read.second;
    }
    EXPECT_EQ(checksum, ReferenceChecksum(content, covered)) << c.size;
    if (c.size == 1000000) {
      EXPECT_EQ(total, 21056u);
    }
  }
  EXPECT_EQ(errorCode, 77u);
  EXPECT_EQ(output.Text(), "");
}

// Unlike the whole-file checksum, a file gone since the scan is reported here.
TEST_F(TestBlocks, OpenFailuresAreReportedWithTheirCode) {
  std::wstring gone = folder.PathOf(L"gone.bin");
  EXPECT_EQ(ChecksumTestBlocks(gone.c_str(), 1000000, 8192, &errorCode), 0u);
  EXPECT_EQ(errorCode, 2u);
  EXPECT_EQ(output.Text(), "error FILE_NOT_FOUND opening '" + Narrow(WithoutPrefix(gone)) + "'\r\n");

  OutputCapture capture;
  std::wstring path = folder.Write(L"shared.bin", PatternBytes(1000000, 1));
  FailOpens(ERROR_SHARING_VIOLATION);
  EXPECT_EQ(ChecksumTestBlocks(path.c_str(), 1000000, 8192, &errorCode), 0u);
  EXPECT_EQ(errorCode, 32u);
  EXPECT_EQ(capture.Text(), "error SHARING_VIOLATION opening '" + Narrow(WithoutPrefix(path)) + "'\r\n");
}

TEST_F(TestBlocks, ReadFailureInTheMiddleBlockKeepsTheStartBlock) {
  std::vector<unsigned char> content = PatternBytes(1000000, 9);
  std::wstring path = folder.Write(L"bad.bin", content);
  ReadLog& log = LogReads();
  log.failAt = 2;
  log.failCode = ERROR_CRC;
  EXPECT_EQ(ChecksumTestBlocks(path.c_str(), 1000000, 8192, &errorCode), ReferenceChecksum(content, {{0, 8192}}));
  EXPECT_EQ(output.Text(), "error CRC reading '" + Narrow(WithoutPrefix(path)) + "'\r\n");
  EXPECT_EQ(errorCode, 77u);
}

TEST_F(TestBlocks, EqualFilesGiveEqualChecksumsAndAChangeInABlockShows) {
  std::vector<unsigned char> content = PatternBytes(1000000, 4);
  std::wstring same1 = folder.Write(L"a.bin", content);
  std::wstring same2 = folder.Write(L"b.bin", content);
  content[500000] ^= 1;  // inside the middle block
  std::wstring changed = folder.Write(L"c.bin", content);
  content[500000] ^= 1;
  content[300000] ^= 1;  // between the blocks: not seen
  std::wstring unseen = folder.Write(L"d.bin", content);
  uint64_t base = ChecksumTestBlocks(same1.c_str(), 1000000, 8192, &errorCode);
  EXPECT_EQ(ChecksumTestBlocks(same2.c_str(), 1000000, 8192, &errorCode), base);
  EXPECT_NE(ChecksumTestBlocks(changed.c_str(), 1000000, 8192, &errorCode), base);
  EXPECT_EQ(ChecksumTestBlocks(unseen.c_str(), 1000000, 8192, &errorCode), base);
}
