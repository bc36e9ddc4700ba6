// Content comparison, on real files whose reads go through the file-system seam, logged or made to fail.
#include <mutex>
#include <random>
#include <tuple>

#include "compare/byte_compare.h"
#include "compare/checksum_buffers.h"
#include "compare/checksum_thread.h"
#include "compare/crc64.h"
#include "compare/kept_opens.h"
#include "compare/read_ahead_reader.h"
#include "compare/test_blocks.h"
#include "compare/whole_file_checksum.h"
#include "console/control.h"
#include "../test_support.h"

namespace {
using Bytes = std::vector<unsigned char>;
using Ranges = std::vector<std::pair<int64_t, uint32_t>>;  // (file offset, bytes delivered) per read
const uint32_t MiB = 1048576;
const int64_t kWholeFile = INT64_MAX;  // the test size that stands for whole files

struct ReadRecord { int64_t offset; uint32_t delivered; void* buffer; DWORD thread; DWORD asked; };
std::vector<ReadRecord> g_reads;
std::mutex g_readsLock;
size_t g_failingRead = 0;  // 1-based; fails with ERROR_CRC
bool g_cancelAfterFirstReads = false;  // each thread's first read waits for the other's, then cancels
volatile LONG g_goodReads = 0;

BOOL WINAPI LoggingRead(HANDLE file, LPVOID buffer, DWORD bytes, LPDWORD got, LPOVERLAPPED overlapped) {
  LARGE_INTEGER zero{}, at{};
  SetFilePointerEx(file, zero, &at, FILE_CURRENT);
  std::unique_lock<std::mutex> hold(g_readsLock);
  bool fail = g_reads.size() + 1 == g_failingRead;
  BOOL ok = !fail && ReadFile(file, buffer, bytes, got, overlapped);
  if (fail) *got = 0;
  g_reads.push_back({at.QuadPart, *got, buffer, GetCurrentThreadId(), bytes});
  hold.unlock();
  if (g_cancelAfterFirstReads && InterlockedIncrement(&g_goodReads) <= 2) {
    for (int i = 0; i < 10000 && g_goodReads < 2; ++i) Sleep(1);
    CancelRequested = 1;
  }
  if (fail) SetLastError(ERROR_CRC);
  return ok;
}

Ranges Reads(size_t stride = 1) {
  Ranges ranges;
  for (size_t i = 0; i < g_reads.size(); i += stride) ranges.push_back({g_reads[i].offset, g_reads[i].delivered});
  return ranges;
}

Bytes RandomBytes(size_t count, uint32_t seed) {
  std::minstd_rand random(seed);
  Bytes bytes(count);
  for (auto& b : bytes) b = static_cast<unsigned char>(random() >> 8);
  return bytes;
}

uint64_t ReferenceChecksum(const Bytes& content, const Ranges& ranges) {
  uint64_t crc = kCrc64AllOnes;
  for (const auto& r : ranges) crc = Crc64UpdateBytewise(crc, content.data() + r.first, r.second);
  return crc ^ kCrc64AllOnes;
}

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    InitChecksumBuffers();
    FileSystem.Read = LoggingRead;
    g_reads.clear();
    g_failingRead = 0;
  }
  void TearDown() override {
    for (const std::wstring& file : files_) DeleteFileW(file.c_str());
    g_cancelAfterFirstReads = false;
  }
  std::wstring Write(const wchar_t* name, const Bytes& content) {
    PutFile(TempPath(name), std::string(content.begin(), content.end()));
    files_.push_back(L"\\\\?\\" + TempPath(name).wstring());
    return files_.back();
  }
  std::vector<std::wstring> files_;
  CapturedOutput output_;
};
}  // namespace

TEST(Crc64, CheckValuesAndVariantsAgreeWithBytewiseOnEveryLength) {
  EXPECT_EQ(Crc64Of("123456789", 9), 0x62EC59E3F1A4F00AULL);
  EXPECT_EQ(Crc64Of("", 0), 0u);
  // Every length, random start registers, unaligned starts.
  Bytes bytes = RandomBytes(4100 + 16, 1);
  std::mt19937 random(2);
  for (size_t length = 0; length <= 4100; ++length) {
    const unsigned char* p = bytes.data() + length % 16;
    uint64_t start = length % 3 ? (uint64_t{random()} << 32) ^ random() : kCrc64AllOnes;
    uint64_t expected = Crc64UpdateBytewise(start, p, length);
    ASSERT_EQ(Crc64UpdateSliced(start, p, length), expected) << length;
    ASSERT_EQ(Crc64Update(start, p, length), expected) << length;
  }
}

// The mode boundary; no Feed at all gives 0 and ends a reader thread; random splits, empty pieces included,
// give one checksum while the caller's piece is overwritten right after each Feed, as the read buffer is reused.
TEST(ReadAheadReader, ModesAndRandomSplits) {
  Bytes content = RandomBytes(3 * MiB + 77, 3), piece(MiB);
  std::mt19937 random(4);
  const int64_t sizes[] = {-1, 3 * MiB, 3 * MiB + 1, INT64_MAX};
  for (int trial = 0; trial < 12; ++trial) {
    ReadAheadReader reader;
    reader.Start(sizes[trial % 4]);
    EXPECT_EQ(reader.threaded, sizes[trial % 4] > 3 * MiB ? 1 : 0) << trial;
    size_t end = trial < 4 ? 0 : content.size();
    for (size_t at = 0, part; at < end; at += part) {
      part = std::min<size_t>(random() % (trial < 8 ? 4101 : MiB + 1), end - at);
      std::copy(content.begin() + at, content.begin() + at + part, piece.begin());
      reader.Feed(piece.data(), static_cast<uint32_t>(part));
      std::fill(piece.begin(), piece.begin() + part, 0xAA);
    }
    EXPECT_EQ(reader.Finish(), ReferenceChecksum(content, {{0, static_cast<uint32_t>(end)}})) << trial;
    EXPECT_EQ(reader.threaded ? WaitForSingleObject(reader.thread, 10000) : WAIT_OBJECT_0, WAIT_OBJECT_0);
    reader.Close();
  }
}

// The reads made, the checksum of exactly those bytes, the open error and the messages (shown without \\?\).
TEST_F(Files, WholeFileAndTestBlockChecksums) {
  const std::wstring path = Write(L"f.bin", {});
  const std::string shown(path.begin() + 4, path.end()), failed = "error CRC reading '" + shown + "'\n";
  struct Case { uint32_t size; int64_t testSize; size_t failingRead; DWORD openFailure; Ranges reads;
                std::string output; }
  cases[] = {
      {0, 0, 0, 0, {{0, 0}}, "oops, crc is 0\r\n"},
      {3 * MiB + 1, 0, 0, 0, {{0, MiB}, {MiB, MiB}, {2 * MiB, MiB}, {3 * MiB, 1}}, ""},  // short: the end
      {MiB + 1, 0, 1, 0, {{0, 0}}, failed + "oops, crc is 0\r\n"},
      {3 * MiB + 1, 0, 3, 0, {{0, MiB}, {MiB, MiB}, {2 * MiB, 0}}, failed},
      {MiB, 0, 0, ERROR_FILE_NOT_FOUND, {}, ""},  // a file gone since the scan is no news here
      {MiB, 0, 0, ERROR_SHARING_VIOLATION, {}, "error SHARING_VIOLATION opening '" + shown + "'\n"},
      {MiB, 8192, 0, ERROR_FILE_NOT_FOUND, {}, "error FILE_NOT_FOUND opening '" + shown + "'\r\n"},
      {40000, 12288, 0, 0, {{0, 40000}}, ""},  // the blocks would cover a quarter: the whole file
      {1000000, 8192, 0, 0, {{0, 8192}, {499712, 8192}, {995328, 4672}, {1000000, 0}}, ""},  // 21,056 bytes
      {1000000, 8192, 2, 0, {{0, 8192}, {499712, 0}}, "error CRC reading '" + shown + "'\r\n"},
      {10000000, 3 * MiB / 2, 0, 0,  // 1 MiB pieces; the end block stops at the end of the file
       {{0, MiB}, {MiB, MiB}, {4214784, MiB}, {4214784 + MiB, MiB}, {8429568, MiB}, {8429568 + MiB, 521856},
        {10000000, 0}}, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.size << " " << c.testSize << " " << c.failingRead << " " << c.openFailure);
    Bytes content = RandomBytes(c.size, c.size);
    Write(L"f.bin", content);
    g_reads.clear();
    g_failingRead = c.failingRead;
    OpenFailure = c.openFailure;
    FileSystem.Open = c.openFailure ? FailingOpen : CreateFileW;
    uint32_t errorCode = 77;  // only a failed open changes it
    uint64_t checksum = c.testSize ? ChecksumTestBlocks(path.c_str(), c.size, c.testSize, &errorCode)
                                   : ChecksumWholeFile(path.c_str(), c.size, &errorCode);
    EXPECT_EQ(checksum, ReferenceChecksum(content, c.reads));
    EXPECT_EQ(Reads(), c.reads);
    EXPECT_EQ(errorCode, c.openFailure ? c.openFailure : 77u);
    EXPECT_EQ(output_.Take(), c.output);
  }
  // A file grown since the scan is read to its new end: each read asks a byte past the expected end, also when
  // the file grew by whole sectors.
  FileSystem.Open = CreateFileW;
  g_failingRead = 0;
  const std::tuple<uint32_t, uint32_t, Ranges> grown[] = {{1000, 5000, {{0, 4096}, {4096, 904}}},
                                                          {4096, 8192, {{0, 8192}, {8192, 0}}}};
  for (const auto& [scanned, size, reads] : grown) {
    Bytes content = RandomBytes(size, 1);
    Write(L"f.bin", content);
    g_reads.clear();
    uint32_t errorCode = 0;
    EXPECT_EQ(ChecksumWholeFile(path.c_str(), scanned, &errorCode), ReferenceChecksum(content, {{0, size}})) << size;
    EXPECT_EQ(Reads(), reads) << size;
  }
}

// The matching thread keeps its opens for the file's next use: read again, a kept open starts at the first
// byte. Every kept handle holds a file descriptor under Wine: at most so many of the newest unread ones (here
// 256) and of the most recently kept read ones (512) are kept, the rest are closed and their files free to go.
TEST_F(Files, KeptOpensAreReadFromTheStartAndBounded) {
  Bytes content = RandomBytes(3 * MiB + 1, 5);
  const std::wstring kept = Write(L"k.bin", content);
  SetKeepingForChecksum(true);
  SetMostKeptForTesting(256, 512);
  uint32_t errorCode = 0;
  for (int pass = 0; pass < 2; ++pass)
    EXPECT_EQ(ChecksumWholeFile(kept.c_str(), content.size(), &errorCode), ReferenceChecksum(content, {{0, 3 * MiB + 1}}));
  CloseHandle(TakeKeptForChecksum(kept.c_str()));
  std::vector<std::wstring> unread, read;
  for (int i = 0; i < 260; ++i) unread.push_back(Write((L"u" + std::to_wstring(i)).c_str(), {}));
  for (int i = 0; i < 520; ++i) read.push_back(Write((L"r" + std::to_wstring(i)).c_str(), {}));
  for (const std::wstring& path : unread) KeepUnreadForChecksum(path.c_str(), OpenForChecksum(path.c_str()));
  for (const std::wstring& path : read) KeepForChecksum(path.c_str(), OpenForChecksum(path.c_str()));
  auto deletable = [](const std::vector<std::wstring>& paths, size_t from, size_t to, size_t count = 0) {
    for (size_t i = from; i < to; ++i) count += DeleteFileW(paths[i].c_str()) ? 1 : 0;
    return count;
  };
  // One taken from the middle leaves the others in their order: two more read ones put out only the oldest.
  HANDLE taken = TakeKeptForChecksum(read[300].c_str());
  ASSERT_TRUE(taken != INVALID_HANDLE_VALUE && CloseHandle(taken));
  for (const wchar_t* name : {L"x1", L"x2"}) {
    read.push_back(Write(name, {}));
    KeepForChecksum(read.back().c_str(), OpenForChecksum(read.back().c_str()));
  }
  EXPECT_EQ(deletable(unread, 0, 4), 4u);
  EXPECT_EQ(deletable(unread, 4, 260), 0u);
  EXPECT_EQ(deletable(read, 0, 9) + deletable(read, 300, 301), 10u);
  EXPECT_EQ(deletable(read, 9, 300) + deletable(read, 301, 522), 0u);
  SetKeepingForChecksum(false);
  EXPECT_EQ(deletable(unread, 4, 260) + deletable(read, 9, 300) + deletable(read, 301, 522), 768u);
}

namespace {
int g_noDescriptorLeft = 0;  // how many opens, or first queries of an open, find no file descriptor left
HANDLE WINAPI OpenWithoutDescriptor(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                    DWORD disposition, DWORD flags, HANDLE templateFile) {
  if (g_noDescriptorLeft-- > 0) {
    SetLastError(ERROR_TOO_MANY_OPEN_FILES);
    return INVALID_HANDLE_VALUE;
  }
  return CreateFileW(path, access, share, security, disposition, flags, templateFile);
}
NTSTATUS NTAPI QueryWithoutDescriptor(HANDLE file, PIO_STATUS_BLOCK status, PVOID information, ULONG bytes,
                                      FILE_INFORMATION_CLASS type) {
  if (g_noDescriptorLeft-- > 0) return static_cast<NTSTATUS>(0xC000011F);  // STATUS_TOO_MANY_OPENED_FILES
  return NtQueryInformationFile(file, status, information, bytes, type);
}
}  // namespace

// With no file descriptor left for an open, or for its first query, the older half of each kind of kept handle
// is closed and the open made again; no more than the rest are kept after it. With nothing left to give back,
// the open fails as any other would.
TEST_F(Files, AnOpenWithoutDescriptorGivesBackKeptHandles) {
  // The file read is kept after it, in the shortened queue: the oldest read one left goes for it.
  struct Case { bool inQuery; int failures; size_t readClosed, unreadClosed; bool opened; }
  cases[] = {{false, 1, 5, 2, true}, {true, 1, 5, 2, true}, {false, 2, 7, 3, true}, {true, 100, 8, 4, false}};
  Bytes content = RandomBytes(5000, 9);
  const std::wstring target = Write(L"t.bin", content);
  const std::string failed = "error 4 opening '" + std::string(target.begin() + 4, target.end()) + "'\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.inQuery << " " << c.failures);
    SetKeepingForChecksum(true);
    std::vector<std::wstring> read, unread;
    for (int i = 0; i < 8; ++i) read.push_back(Write((L"r" + std::to_wstring(i)).c_str(), {}));
    for (int i = 0; i < 4; ++i) unread.push_back(Write((L"u" + std::to_wstring(i)).c_str(), {}));
    for (const std::wstring& path : read) KeepForChecksum(path.c_str(), OpenForChecksum(path.c_str()));
    for (const std::wstring& path : unread) KeepUnreadForChecksum(path.c_str(), OpenForChecksum(path.c_str()));
    g_noDescriptorLeft = c.failures;
    if (c.inQuery)
      FileSystem.QueryInformation = QueryWithoutDescriptor;
    else
      FileSystem.Open = OpenWithoutDescriptor;
    uint32_t errorCode = 0;
    uint64_t checksum = ChecksumWholeFile(target.c_str(), content.size(), &errorCode);
    RestoreSystemCalls();
    EXPECT_EQ(checksum, c.opened ? ReferenceChecksum(content, {{0, 5000}}) : 0u);
    EXPECT_EQ(errorCode, c.opened ? 0u : uint32_t{ERROR_TOO_MANY_OPEN_FILES});
    EXPECT_EQ(output_.Take(), c.opened ? "" : failed);
    auto closed = [](const std::vector<std::wstring>& paths) {
      size_t count = 0;
      while (count < paths.size() && DeleteFileW(paths[count].c_str())) ++count;
      return count;
    };
    EXPECT_EQ(closed(read), c.readClosed);
    EXPECT_EQ(closed(unread), c.unreadClosed);
    EXPECT_EQ(DeleteFileW(target.c_str()) == 0, c.opened);
    SetKeepingForChecksum(false);
    Write(L"t.bin", content);
  }
}

// The byte proof of a report reads through the checksums' unbuffered handles: every read starts on a sector
// and asks for whole sectors, the last piece of a range that runs to the end of the file included.
TEST_F(Files, TheByteProofReadsWholeSectors) {
  struct Case { uint32_t size; int64_t testSize; int64_t differAt; int expected; }
  cases[] = {{5000, kWholeFile, -1, 1},  {MiB + 7, kWholeFile, -1, 1}, {MiB + 7, kWholeFile, MiB + 6, 0},
             {1000000, 8192, -1, 1},     {1000000, 8192, 999999, 0},   {1000000, 8192, 995327, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.size << " " << c.testSize << " " << c.differAt);
    Bytes content = RandomBytes(c.size, c.size), other = content;
    if (c.differAt >= 0) other[c.differAt] ^= 1;
    const std::wstring path1 = Write(L"p1", content), path2 = Write(L"p2", other);
    HANDLE file1 = OpenForChecksum(path1.c_str()), file2 = OpenForChecksum(path2.c_str());
    g_reads.clear();
    EXPECT_EQ(OpenFilesMatch(file1, file2, c.size, c.testSize), c.expected);
    for (const ReadRecord& read : g_reads) EXPECT_TRUE(read.offset % 4096 == 0 && read.asked % 4096 == 0);
    CloseHandle(file1);
    CloseHandle(file2);
  }
}

// Reads alternate; a failed start read decides nothing, a failed end read means different. differAt: -1 none.
TEST_F(Files, FileEndsComparesStartAndEndOnly) {
  struct Case { uint32_t size; int64_t differAt; uint32_t blockLength; size_t failingRead; int expected;
                Ranges readsOfFile1; }
  cases[] = {
      {5000000, 100, 4096, 0, 0, {{0, 4096}}},
      {5000000, 4999999, 4096, 0, 0, {{0, 4096}, {4993024, 6976}}},
      {5000000, -1, 4096, 1, 1, {{0, 0}, {4993024, 6976}}},
      {5000000, -1, 4096, 3, 0, {{0, 4096}, {4993024, 0}}},
      {6000, 5000, 4096, 0, 0, {{0, 4096}, {0, 6000}}},  // less than a page after the start: end read from 0
      {3000, 2999, 4096, 0, 0, {{0, 3000}}},             // shorter than the block: the start decides alone
      {5000000, -1, 0xFFFFFFFF, 0, 1, {{0, 1044480}, {3952640, 1047360}}},  // held to the buffers
  };
  for (const Case& c : cases) {
    Bytes content = RandomBytes(c.size, 5);
    std::wstring path1 = Write(L"one.bin", content);
    if (c.differAt >= 0) content[c.differAt] ^= 0x40;
    std::wstring path2 = Write(L"two.bin", content);
    g_reads.clear();
    g_failingRead = c.failingRead;
    EXPECT_EQ(CompareFileEnds(path1.c_str(), path2.c_str(), c.size, c.blockLength), c.expected) << c.differAt;
    EXPECT_EQ(Reads(2), c.readsOfFile1) << c.size << " " << c.differAt;
  }
}

// Each file of a pair on its own thread and buffer; a cancel after the first reads ends both loops, records filled.
TEST_F(Files, ChecksumThreadsOfAPairCancelled) {
  Bytes contents[2] = {RandomBytes(5 * MiB, 1), RandomBytes(5 * MiB, 2)};
  std::wstring paths[2] = {Write(L"one.bin", contents[0]), Write(L"two.bin", contents[1])};
  g_cancelAfterFirstReads = true;
  uint64_t checksums[2] = {};
  uint32_t errors[2] = {77, 77};  // only a failed open changes them
  HANDLE threads[2];
  for (int i = 0; i < 2; ++i) threads[i] = StartChecksumThread(paths[i].c_str(), 5 * MiB, &checksums[i], &errors[i]);
  ASSERT_EQ(WaitForMultipleObjects(2, threads, TRUE, 60000), WAIT_OBJECT_0);
  ASSERT_EQ(g_reads.size(), 2u);
  EXPECT_TRUE(g_reads[0].thread != g_reads[1].thread && g_reads[0].buffer != g_reads[1].buffer);
  for (int i = 0; i < 2; ++i) EXPECT_TRUE(checksums[i] == ReferenceChecksum(contents[i], {{0, MiB}}) &&
                                          errors[i] == 77u && CloseHandle(threads[i])) << i;
}
