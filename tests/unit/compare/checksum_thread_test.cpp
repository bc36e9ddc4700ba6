#include "compare/checksum_thread.h"

#include <gtest/gtest.h>

#include <set>

#include "compare/checksum_buffers.h"
#include "compare_test_support.h"
#include "console/control.h"
#include "run/options.h"
#include "seam/file_system.h"

namespace {
// Both files of a pair checksummed at once, as the pair comparison does in parallel mode.
void ChecksumPair(const std::wstring& path1, const std::wstring& path2, int64_t size, uint64_t checksums[2],
                  uint32_t errors[2]) {
  HANDLE threads[2] = {StartChecksumThread(path1.c_str(), size, &checksums[0], &errors[0]),
                       StartChecksumThread(path2.c_str(), size, &checksums[1], &errors[1])};
  ASSERT_NE(threads[0], nullptr);
  ASSERT_NE(threads[1], nullptr);
  // A generous bound instead of INFINITE: a hang fails the test rather than the whole run.
  ASSERT_EQ(WaitForMultipleObjects(2, threads, TRUE, 60000), WAIT_OBJECT_0);
  CloseHandle(threads[0]);
  CloseHandle(threads[1]);
}

LONG g_firstReads = 0;
HANDLE g_bothHaveRead = nullptr;

// Cancels once each thread has read its first piece, so both loops must see the cancel at their next turn.
void CancelAfterBothFirstReads() {
  if (InterlockedIncrement(&g_firstReads) == 2) {
    CancelRequested = 1;
    SetEvent(g_bothHaveRead);
  } else {
    WaitForSingleObject(g_bothHaveRead, 10000);
  }
}
}  // namespace

class ChecksumThreads : public ::testing::Test {
 protected:
  void SetUp() override { InitChecksumBuffers(); }
  void TearDown() override {
    RestoreFileSystemCalls();
    ResetRunOptions();
    CancelRequested = 0;
  }
  TempFolder folder;
  OutputCapture output;
  uint64_t checksums[2] = {0, 0};
  uint32_t errors[2] = {0, 0};
};

TEST_F(ChecksumThreads, TwoThreadsUseTwoBuffersAndFillBothRecords) {
  std::vector<unsigned char> content1 = PatternBytes(4 * 1048576 + 5, 1);
  std::vector<unsigned char> content2 = PatternBytes(4 * 1048576 + 5, 2);
  std::wstring path1 = folder.Write(L"one.bin", content1);
  std::wstring path2 = folder.Write(L"two.bin", content2);
  ReadLog& log = LogReads();
  ChecksumPair(path1, path2, 4 * 1048576 + 5, checksums, errors);
  EXPECT_EQ(checksums[0], ReferenceChecksum(content1));
  EXPECT_EQ(checksums[1], ReferenceChecksum(content2));

  // Each thread reads one file; a handle value may be reused once the other file is closed.
  std::set<DWORD> threads;
  for (const ReadRecord& read : log.reads) threads.insert(read.threadId);
  ASSERT_EQ(threads.size(), 2u);
  std::set<void*> buffersOf[2];
  for (const ReadRecord& read : log.reads) buffersOf[read.threadId == *threads.begin() ? 0 : 1].insert(read.buffer);
  EXPECT_EQ(buffersOf[0].size(), 1u);
  EXPECT_EQ(buffersOf[1].size(), 1u);
  EXPECT_NE(*buffersOf[0].begin(), *buffersOf[1].begin());
  EXPECT_EQ(threads.count(GetCurrentThreadId()), 0u);
  EXPECT_EQ(output.Text(), "");
}

// The test size picks the routine: test blocks below the file size, the whole file from it on.
TEST_F(ChecksumThreads, TestSizeChoosesBlocksOrWholeFile) {
  std::vector<unsigned char> content = PatternBytes(1000000, 3);
  std::wstring path1 = folder.Write(L"one.bin", content);
  std::wstring path2 = folder.Write(L"two.bin", content);
  uint64_t blocks = ReferenceChecksum(content, {{0, 8192}, {499712, 8192}, {995328, 4672}});
  struct Case {
    int64_t testSize;
    uint64_t expected;
    size_t readsPerFile;
  } cases[] = {{8192, blocks, 4}, {999424, ReferenceChecksum(content), 2}, {1000000, ReferenceChecksum(content), 2}};
  for (const Case& c : cases) {
    RunOptions.TestBlockSize = c.testSize;
    ReadLog& log = LogReads();
    ChecksumPair(path1, path2, 1000000, checksums, errors);
    EXPECT_EQ(checksums[0], c.expected) << c.testSize;
    EXPECT_EQ(checksums[1], c.expected) << c.testSize;
    EXPECT_EQ(log.reads.size(), 2 * c.readsPerFile) << c.testSize;
  }
}

TEST_F(ChecksumThreads, OpenErrorReachesTheRecord) {
  std::wstring path = folder.Write(L"one.bin", PatternBytes(100, 1));
  std::wstring gone = folder.PathOf(L"gone.bin");
  checksums[1] = 99;
  ChecksumPair(path, gone, 100, checksums, errors);
  EXPECT_NE(checksums[0], 0u);
  EXPECT_EQ(checksums[1], 0u);
  EXPECT_EQ(errors[0], 0u);
  EXPECT_EQ(errors[1], 2u);
}

TEST_F(ChecksumThreads, CancelEndsBothReadLoops) {
  std::vector<unsigned char> content1 = PatternBytes(5 * 1048576, 5);
  std::vector<unsigned char> content2 = PatternBytes(5 * 1048576, 6);
  std::wstring path1 = folder.Write(L"one.bin", content1);
  std::wstring path2 = folder.Write(L"two.bin", content2);
  g_firstReads = 0;
  g_bothHaveRead = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ReadLog& log = LogReads();
  log.afterRead = CancelAfterBothFirstReads;
  ChecksumPair(path1, path2, 5 * 1048576, checksums, errors);
  CloseHandle(g_bothHaveRead);
  EXPECT_EQ(log.reads.size(), 2u);
  EXPECT_EQ(checksums[0], ReferenceChecksum(content1, {{0, 1048576}}));
  EXPECT_EQ(checksums[1], ReferenceChecksum(content2, {{0, 1048576}}));
  EXPECT_EQ(output.Text(), "");
}
