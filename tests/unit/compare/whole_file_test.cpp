#include "compare/whole_file_checksum.h"

#include <gtest/gtest.h>

#include "compare/checksum_buffers.h"
#include "compare_test_support.h"
#include "console/control.h"
#include "seam/file_system.h"

class WholeFileChecksum : public ::testing::Test {
 protected:
  void SetUp() override { InitChecksumBuffers(); }
  void TearDown() override { RestoreFileSystemCalls(); }
  TempFolder folder;
  OutputCapture output;
  uint32_t errorCode = 77;  // a value that only a failed open may change
};

// Sizes around the piece length and the reader-mode boundary: the checksum of what the reads delivered.
TEST_F(WholeFileChecksum, ReadsWholeFileInPiecesInBothModes) {
  struct Case {
    size_t size;
    std::vector<uint32_t> reads;  // bytes delivered per read, the last one ending the loop
  } cases[] = {
      {1, {1, 0}},
      {4095, {4095, 0}},
      {4096, {4096, 0}},
      {1048576, {1048576, 0}},
      {1048577, {1048576, 1, 0}},
      {3145728, {1048576, 1048576, 1048576, 0}},
      {3145729, {1048576, 1048576, 1048576, 1, 0}},
  };
  for (const Case& c : cases) {
    std::vector<unsigned char> content = PatternBytes(c.size, static_cast<uint32_t>(c.size));
    std::wstring path = folder.Write(L"f.bin", content);
    ReadLog& log = LogReads();
    EXPECT_EQ(ChecksumWholeFile(path.c_str(), static_cast<int64_t>(c.size), &errorCode), ReferenceChecksum(content))
        << c.size;
    std::vector<uint32_t> delivered;
    for (const auto& range : log.Ranges()) delivered.push_back(range.second);
    EXPECT_EQ(delivered, c.reads) << c.size;
  }
  EXPECT_EQ(errorCode, 77u);
  EXPECT_EQ(output.Text(), "");
}

TEST_F(WholeFileChecksum, CheckValueOfNineDigits) {
  std::wstring path = folder.Write(L"digits", {'1', '2', '3', '4', '5', '6', '7', '8', '9'});
  EXPECT_EQ(ChecksumWholeFile(path.c_str(), 9, &errorCode), 0x62EC59E3F1A4F00AULL);
  // The size only picks the mode: the threaded reader gives the same value.
  EXPECT_EQ(ChecksumWholeFile(path.c_str(), 3145729, &errorCode), 0x62EC59E3F1A4F00AULL);
}

TEST_F(WholeFileChecksum, EmptyFileSaysCrcIsZero) {
  std::wstring path = folder.Write(L"empty", {});
  EXPECT_EQ(ChecksumWholeFile(path.c_str(), 0, &errorCode), 0u);
  EXPECT_EQ(output.Text(), "oops, crc is 0\r\n");
  EXPECT_EQ(errorCode, 77u);
}

TEST_F(WholeFileChecksum, MissingFileIsSilent) {
  std::wstring path = folder.PathOf(L"gone");
  EXPECT_EQ(ChecksumWholeFile(path.c_str(), 10, &errorCode), 0u);
  EXPECT_EQ(errorCode, 2u);
  EXPECT_EQ(output.Text(), "");
}

TEST_F(WholeFileChecksum, FileHeldOpenForWritingIsASharingViolation) {
  std::wstring path = folder.Write(L"locked", PatternBytes(100, 1));
  HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ChecksumWholeFile(path.c_str(), 100, &errorCode), 0u);
  CloseHandle(writer);
  EXPECT_EQ(errorCode, 32u);
  EXPECT_EQ(output.Text(), "error SHARING_VIOLATION opening '" + Narrow(WithoutPrefix(path)) + "'\n");
}

TEST_F(WholeFileChecksum, OpenDeniedIsReported) {
  std::wstring path = folder.Write(L"denied", PatternBytes(100, 1));
  FailOpens(ERROR_ACCESS_DENIED);
  EXPECT_EQ(ChecksumWholeFile(path.c_str(), 100, &errorCode), 0u);
  EXPECT_EQ(errorCode, 5u);
  EXPECT_EQ(output.Text(), "error ACCESS_DENIED opening '" + Narrow(WithoutPrefix(path)) + "'\n");
}

// A failing read ends the loop with the checksum of the pieces before it; the open error stays untouched.
TEST_F(WholeFileChecksum, ReadFailureKeepsWhatWasReadBefore) {
  std::vector<unsigned char> content = PatternBytes(2621440, 3);
  std::wstring path = folder.Write(L"bad", content);
  std::string shown = Narrow(WithoutPrefix(path));
  struct Case {
    int failAt;
    int64_t modeSize;
    size_t goodBytes;
    std::string message;
  } cases[] = {
      {1, 2621440, 0, "error CRC reading '" + shown + "'\noops, crc is 0\r\n"},
      {2, 2621440, 1048576, "error IO_DEVICE reading '" + shown + "'\n"},
      {3, 4000000, 2097152, "error IO_DEVICE reading '" + shown + "'\n"},
  };
  for (const Case& c : cases) {
    OutputCapture capture;
    ReadLog& log = LogReads();
    log.failAt = c.failAt;
    log.failCode = c.failAt == 1 ? ERROR_CRC : ERROR_IO_DEVICE;
    uint64_t expected = c.goodBytes ? ReferenceChecksum(content, {{0, c.goodBytes}}) : 0;
    EXPECT_EQ(ChecksumWholeFile(path.c_str(), c.modeSize, &errorCode), expected) << c.failAt;
    EXPECT_EQ(capture.Text(), c.message);
    EXPECT_EQ(errorCode, 77u);
  }
}
