#include "compare/read_ahead_reader.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "compare/checksum_buffers.h"
#include "compare_test_support.h"

TEST(ReadAheadReader, ThreadedOnlyAboveThreeMiB) {
  struct Case {
    int64_t size;
    int32_t threaded;
  } cases[] = {{0, 0}, {-1, 0}, {3145728, 0}, {3145729, 1}, {INT64_MAX, 1}};
  for (const Case& c : cases) {
    ReadAheadReader reader;
    reader.Start(c.size);
    EXPECT_EQ(reader.threaded, c.threaded) << c.size;
    EXPECT_EQ(reader.crc, 0xFFFFFFFFFFFFFFFFULL);
    reader.Finish();
    reader.Close();
  }
}

TEST(ReadAheadReader, ThreadedWithoutFeedGivesZeroAndItsThreadEnds) {
  ReadAheadReader reader;
  reader.Start(3145729);
  ASSERT_EQ(reader.threaded, 1);
  HANDLE thread = nullptr;
  DuplicateHandle(GetCurrentProcess(), reader.thread, GetCurrentProcess(), &thread, 0, FALSE, DUPLICATE_SAME_ACCESS);
  EXPECT_EQ(reader.Finish(), 0u);
  reader.Close();
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
  DWORD exitCode = 1;
  GetExitCodeThread(thread, &exitCode);
  EXPECT_EQ(exitCode, 0u);
  CloseHandle(thread);
}

// Random splits of one buffer, empty pieces included, give the one-call checksum in both modes; the caller's
// piece is overwritten right after each Feed, as the checksum routines reuse their read buffer.
TEST(ReadAheadReader, RandomSplitsGiveTheSameChecksumInBothModes) {
  std::vector<unsigned char> content = PatternBytes(3 * 1048576 + 77, 11);
  uint64_t expected = ReferenceChecksum(content);
  std::mt19937 random(5);
  std::vector<unsigned char> piece(1048576);
  for (int64_t modeSize : {int64_t{1000}, int64_t{4 * 1048576}}) {
    for (int trial = 0; trial < 12; ++trial) {
      ReadAheadReader reader;
      reader.Start(modeSize);
      for (size_t at = 0; at < content.size();) {
        size_t part = trial % 3 == 0 ? random() % 4101 : random() % (1048576 + 1);
        if (part > content.size() - at) part = content.size() - at;
        std::copy(content.begin() + at, content.begin() + at + part, piece.begin());
        reader.Feed(piece.data(), static_cast<uint32_t>(part));
        std::fill(piece.begin(), piece.begin() + part, 0xAA);
        at += part;
      }
      EXPECT_EQ(reader.Finish(), expected) << "mode size " << modeSize << " trial " << trial;
      reader.Close();
    }
  }
}

namespace {
DWORD WINAPI TakeInto(void* slot) {
  *static_cast<unsigned char**>(slot) = TakeReadBuffer();
  return 0;
}
}  // namespace

TEST(ChecksumBuffers, TakesAlternateBuffersAndNoneAfterRelease) {
  InitChecksumBuffers();
  InitChecksumBuffers();  // a second call changes nothing
  unsigned char* first = TakeReadBuffer();
  unsigned char* second = TakeReadBuffer();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);
  EXPECT_EQ(TakeReadBuffer(), first);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(first) % 4096, 0u);
  first[1048575] = 1;  // the whole MiB is usable
  second[1048575] = 1;

  // Two threads starting at once get different buffers.
  unsigned char* taken[2] = {nullptr, nullptr};
  HANDLE threads[2] = {CreateThread(nullptr, 0, TakeInto, &taken[0], 0, nullptr),
                       CreateThread(nullptr, 0, TakeInto, &taken[1], 0, nullptr)};
  WaitForMultipleObjects(2, threads, TRUE, INFINITE);
  CloseHandle(threads[0]);
  CloseHandle(threads[1]);
  EXPECT_NE(taken[0], taken[1]);

  FreeChecksumBuffers();
  EXPECT_EQ(TakeReadBuffer(), nullptr);
  FreeChecksumBuffers();  // nothing left to free
  InitChecksumBuffers();
  EXPECT_NE(TakeReadBuffer(), nullptr);
}
