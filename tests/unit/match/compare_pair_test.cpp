// Pairs decided by the pair comparison, on real files and hard links in a temp folder.
#include <windows.h>
#include <winternl.h>

#include <random>
#include <tuple>

#include "compare/checksum_buffers.h"
#include "compare/kept_opens.h"
#include "identity/link_groups.h"
#include "match/compare_pair.h"
#include "../test_support.h"

namespace {
TEST(FindSizeRun, FindsTheFirstRecordOfTheRun) {
  const int64_t sizes[] = {1, 5, 5, 5, 7, 9, 9};
  FileRecord records[7] = {};
  for (int i = 0; i < 7; ++i) records[i].size = sizes[i];
  const std::tuple<int64_t, int64_t, int64_t, int64_t> cases[] = {  // size, first, last, expected
      {5, -1, 6, 1}, {5, 2, 6, 1}, {9, 0, 6, 5}, {1, -1, 6, 0}, {7, 0, 6, 4},
      {6, 0, 6, -1}, {10, 0, 6, -1}, {0, 0, 6, -1}, {5, 4, 6, -1}, {5, 5, 3, -1},
  };
  for (const auto& [size, first, last, expected] : cases)
    EXPECT_EQ(FindSizeRun(size, records, first, last), expected) << size << " " << first;
}

class Pairs : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir_);
    InitChecksumBuffers();
    lstrcpyW(SearchFolder1, dir_.c_str());
    lstrcpyW(SearchFolder2, dir_.c_str());
  }
  void TearDown() override {
    FreeChecksumBuffers();
    std::filesystem::remove_all(dir_);
  }
  void Write(const std::wstring& name, const std::string& content) { PutFile(dir_ + name, content); }
  std::string Content(const std::wstring& name) { return FileText(dir_ + name); }
  FileRecord Record(const wchar_t* name, int64_t size, uint32_t index) {
    FileRecord record = {};
    record.dir = const_cast<wchar_t*>(dir_.c_str());
    record.name = const_cast<wchar_t*>(name);
    record.size = size;
    record.index = index;
    return record;
  }
  const std::wstring dir_ = TempPath(L"pairs").wstring() + L"\\";
  CapturedOutput output_;
  MatchTotals totals_;
};

// The same path met twice is no pair, whatever the case of its letters (linguistic: ß and SS are one name).
TEST_F(Pairs, ThePathOfOneFileIgnoringCaseIsNoPair) {
  std::wstring upperDir = dir_;
  CharUpperW(upperDir.data());
  const std::tuple<const wchar_t*, const wchar_t*, bool, int> cases[] = {  // names, upper-case folder, tested
      {L"file.txt", L"FILE.TXT", false, 0}, {L"Größe.bin", L"GRÖSSE.BIN", false, 0},
      {L"Größe.bin", L"GRÖßE.BIN", true, 0}, {L"file.txt", L"file.txz", false, 1},
      {L"file.txt", L"file.txt", true, 0},
  };
  for (const auto& [name1, name2, upper, tested] : cases) {
    FileRecord a = Record(name1, 4, 0), b = Record(name2, 4, 1);
    if (upper) b.dir = upperDir.data();
    a.checksum = 7;
    b.checksum = 9;
    totals_.pairsTested = INT32_MAX;  // a large run of one size counts past 32 bits
    ComparePair(&a, &b, &totals_);
    ComparePair(&b, &a, &totals_);
    EXPECT_EQ(totals_.pairsTested, INT32_MAX + 2LL * tested) << name1 << L" " << name2;
  }
}

// Another program keeps "two" open without letting it be deleted: the pair is reported with the reason.
TEST_F(Pairs, AFileThatCannotBeHeldIsLeftAlone) {
  Write(L"one", "same");
  Write(L"two", "same");
  HANDLE other = CreateFileW((dir_ + L"two").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, 0);
  RunOptions.Action = ActionDeleteFile2;
  wchar_t kept1[] = L"one", kept2[] = L"two";  // a delete would empty the name in place
  FileRecord held1 = Record(kept1, 4, 0), held2 = Record(kept2, 4, 1);
  ComparePair(&held1, &held2, &totals_);
  CloseHandle(other);
  EXPECT_EQ(output_.Text(), "one == two\r\n error SHARING_VIOLATION locking file2\r\n");
  EXPECT_EQ(Content(L"two"), "same");
}

// Met again through linked folders, one file shows more names than links, and the group grows, never overruns.
// Gathered at once or as the walk meets each name, the groups come out the same.
TEST_F(Pairs, TheNamesOfOneFileJoinTheFirstMetAsHead) {
  Write(L"a", "same");
  Write(L"d", "same");
  ASSERT_TRUE(CreateHardLinkW((dir_ + L"b").c_str(), (dir_ + L"a").c_str(), nullptr));
  wchar_t names[][2] = {L"a", L"b", L"d", L"a", L"b"};
  for (LinkGroupGathering gathering : {LinkGroupGathering::AllNamesNow, LinkGroupGathering::AsMet}) {
    FileRecord records[5];
    for (uint32_t i = 0; i < 5; ++i) records[i] = Record(names[i], 4, i);
    for (FileRecord& r : records) ResolveLinkGroup(records, 5, &r, gathering);
    EXPECT_TRUE(IsLinkHead(&records[0]));
    EXPECT_EQ(LinkCount(&records[0]), 2u);
    ASSERT_EQ(LinkGroupSize(&records[0]), 4u);
    EXPECT_EQ(LinkGroupMember(&records[0], 2), &records[3]);
    for (int i : {1, 3, 4}) {
      EXPECT_TRUE(IsLinkMember(&records[i])) << i;
      EXPECT_EQ(records[i].linkGroup, records[0].linkGroup) << i;
      EXPECT_EQ(LinkCount(&records[i]), 2u) << i;
    }
    EXPECT_TRUE(IsSingleName(&records[2]));
    ReleaseLinkGroups(records, 5);
  }
  // Two names of one file whose identity cannot be read are never taken for one file: unread indexes are no
  // proof.
  FileRecord a = Record(L"a", 4, 0), b = Record(L"b", 4, 1);
  FileSystem.Open = FailingOpen;
  EXPECT_EQ(HasEqualFileIndex(&a, &b), 0);
  EXPECT_EQ(LinkCount(&a), 0u);
}

// Files of other volumes can carry equal indexes: here every file shows index 7, and the volume serial tells
// them apart (it is the real index, so each file lies on a volume of its own).
NTSTATUS NTAPI IndexSeven(HANDLE file, PIO_STATUS_BLOCK status, PVOID information, ULONG bytes,
                          FILE_INFORMATION_CLASS type) {
  NTSTATUS result = NtQueryInformationFile(file, status, information, bytes, type);
  if (type == FileInternalInformation) static_cast<FILE_INTERNAL_INFORMATION*>(information)->IndexNumber.QuadPart = 7;
  return result;
}
NTSTATUS NTAPI SerialFromIndex(HANDLE file, PIO_STATUS_BLOCK status, PVOID information, ULONG bytes,
                               FS_INFORMATION_CLASS type) {
  NTSTATUS result = NtQueryVolumeInformationFile(file, status, information, bytes, type);
  FILE_INTERNAL_INFORMATION internal;
  IO_STATUS_BLOCK io;
  NtQueryInformationFile(file, &io, &internal, sizeof internal, FileInternalInformation);
  static_cast<FILE_FS_VOLUME_INFORMATION*>(information)->VolumeSerialNumber = internal.IndexNumber.LowPart;
  return result;
}

// The opens that read identities and checksums are kept, as in a run: each is closed before its file is acted
// on, and none is left open.
TEST_F(Pairs, EqualIndexesOnTwoVolumesAreTwoFiles) {
  FileSystem.QueryInformation = IndexSeven;
  FileSystem.QueryVolumeInformation = SerialFromIndex;
  RunOptions.SameVolume = 1;
  RunOptions.ParallelRead = 0;
  SetKeepingForChecksum(true);
  Write(L"a", "mine");
  Write(L"b", "else");
  Write(L"d", "mine");
  ASSERT_TRUE(CreateHardLinkW((dir_ + L"c").c_str(), (dir_ + L"a").c_str(), nullptr));
  wchar_t names[][2] = {L"a", L"b", L"c", L"d"};
  FileRecord records[4];
  for (uint32_t i = 0; i < 4; ++i) records[i] = Record(names[i], 4, i);
  ResolveLinkGroup(records, 4, &records[0]);
  EXPECT_EQ(LinkGroupSize(&records[0]), 2u) << "b has the index of a, on another volume";
  EXPECT_FALSE(IsLinkResolved(&records[1]));
  // Two names of one file stay one file; b is no further name of a, and d is a copy of it.
  for (FileRecord* record : {&records[1], &records[3]}) ResolveLinkGroup(records, 4, record);
  EXPECT_TRUE(HasEqualFileIndex(&records[0], &records[2]) == 1 && HasEqualFileIndex(&records[0], &records[1]) == 0);
  RunOptions.FindHardlinks1 = RunOptions.FindHardlinks2 = 1;
  RunOptions.Action = ActionDeleteFile1;
  ComparePair(&records[1], &records[0], &totals_);
  EXPECT_EQ(Content(L"b"), "else");
  ComparePair(&records[0], &records[3], &totals_);
  EXPECT_EQ(Content(L"a") + Content(L"c") + Content(L"d"), "<gone>minemine");
  SetKeepingForChecksum(false);
  for (const wchar_t* name : {L"b", L"c", L"d"}) EXPECT_TRUE(DeleteFileW((dir_ + name).c_str())) << "left open";
}

// The CRC-64 polynomial with its top bit: XORed into a file it leaves the checksum as it was. Two files whose
// test blocks differ but share a CRC-64 are never a pair, read one after the other or at once.
const unsigned char kCollider[] = {0x01, 0x42, 0xF0, 0xE1, 0xEB, 0xA9, 0xEA, 0x36, 0x93};

TEST_F(Pairs, TestBlocksWithACollidingChecksumAreCompared) {
  std::string first(300000, 0);
  std::mt19937 random(1);
  for (char& c : first) c = static_cast<char>(random());
  for (size_t offset : {size_t{100}, size_t{150000}, size_t{299000}}) {
    std::string second = first;
    for (size_t i = 0; i < sizeof kCollider; ++i) second[offset + i] ^= static_cast<char>(kCollider[i]);
    for (int parallel : {0, 1}) {
      for (uint32_t action : {ActionReport, ActionDeleteFile2, ActionLinkFile1}) {
        Write(L"first", first);
        Write(L"second", second);
        RunOptions.TestBlockSize = 8192;
        RunOptions.ParallelRead = parallel;
        RunOptions.Action = action;
        FileRecord a = Record(L"first", 300000, 0), b = Record(L"second", 300000, 1);
        totals_.filesFound = 0;
        ComparePair(&a, &b, &totals_);
        EXPECT_EQ(a.checksum, b.checksum);
        EXPECT_EQ(totals_.filesFound, 0) << offset << " " << parallel << " " << action;
        EXPECT_TRUE(Content(L"first") == first && Content(L"second") == second);
      }
    }
  }
}
}  // namespace
