#include <windows.h>
#include <winternl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <tuple>

#include "base/memory.h"
#include "base/run_options.h"
#include "compare/checksum_buffers.h"
#include "compare/kept_opens.h"
#include "identity/fragmentation.h"
#include "identity/known_identical.h"
#include "identity/link_groups.h"
#include "match/compare_pair.h"
#include "match/match_pools.h"
#include "pool/ptr_list.h"
#include "seam/system_calls.h"
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

TEST(IsKnownIdentical, DirectByFileIndexAndThroughACommonPartner) {
  FileRecord a = {}, b = {}, c = {}, d = {}, e = {};
  EXPECT_EQ(IsKnownIdentical(nullptr, &a, 1), 0);
  LinkIdentical(&a, &b);
  EXPECT_EQ(IsKnownIdentical(a.comparedWith, &b, 0), 1);
  EXPECT_EQ(IsKnownIdentical(b.comparedWith, &a, 0), 1);
  // Unread indexes (0) never make two files one.
  EXPECT_EQ(IsKnownIdentical(a.comparedWith, &e, 0), 0);
  // c is another name of b's file: known through the file index on one volume; on another volume the same
  // index is another file.
  b.fileIndexLow = c.fileIndexLow = 77;
  b.serialRead = c.serialRead = 1;
  b.volumeSerial = c.volumeSerial = 0xAB;
  EXPECT_EQ(IsKnownIdentical(a.comparedWith, &c, 0), 1);
  c.volumeSerial = 0xCD;
  EXPECT_EQ(IsKnownIdentical(a.comparedWith, &c, 0), 0);
  c.volumeSerial = 0xAB;
  // Plain files of one pool that was scanned without following linked folders lie on one volume: nothing is
  // asked (these records have no path to ask with).
  b.serialRead = c.serialRead = kOnPoolVolume;
  EXPECT_EQ(IsKnownIdentical(a.comparedWith, &c, 0), 1);
  b.serialRead = c.serialRead = kSerialRead;
  // d shares the partner b with a: known only when looking deep.
  LinkIdentical(&d, &b);
  EXPECT_EQ(IsKnownIdentical(a.comparedWith, &d, 0), 0);
  EXPECT_EQ(IsKnownIdentical(a.comparedWith, &d, 1), 1);
  for (FileRecord* r : {&a, &b, &d}) {
    PtrListClear(r->comparedWith);
    MemFree(r->comparedWith);
  }
}

// Names made links of the kept file during a run join its group, which grows; a name that was a further name
// of another file leaves that group first, and that file shows one name fewer.
TEST(JoinLinkGroup, GrowsTheGroupAndMovesANameOutOfItsOldGroup) {
  FileRecord head = {}, other = {}, moved = {};
  head.linkState = other.linkState = LinkState::Single;
  head.linkCount = 1;
  head.fileIndexLow = 7;
  other.linkCount = 1;
  JoinLinkGroup(&other, &moved);
  EXPECT_EQ(LinkCount(&other), 2u);
  FileRecord members[9] = {};
  for (FileRecord& member : members) JoinLinkGroup(&head, &member);
  JoinLinkGroup(&head, &moved);
  EXPECT_EQ(LinkCount(&head), 11u);
  ASSERT_EQ(LinkGroupSize(&head), 11u);
  EXPECT_EQ(LinkGroupMember(&head, 0), &head);
  EXPECT_TRUE(IsLinkHead(&head));
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(LinkGroupMember(&head, i + 1), &members[i]);
    EXPECT_TRUE(IsLinkMember(&members[i]));
    EXPECT_EQ(LinkCount(&members[i]), 11u);
    EXPECT_EQ(members[i].fileIndexLow, 7u);
  }
  EXPECT_EQ(LinkGroupMember(&head, 10), &moved);
  EXPECT_EQ(LinkGroupSize(&other), 1u);
  EXPECT_EQ(LinkCount(&other), 1u);
  ReleaseLinkGroups(&head, 1);
  ReleaseLinkGroups(&other, 1);
}

// Real files and hard links in a temp folder: the names of one file form one group.
class LinkGroupFiles : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directories(dir_); }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  void Write(const std::wstring& name, const std::string& content) { PutFile(dir_ + name, content); }
  std::string Content(const std::wstring& name) { return FileText(dir_ + name); }
  void Link(const std::wstring& name, const std::wstring& existing) {
    ASSERT_TRUE(CreateHardLinkW((dir_ + name).c_str(), (dir_ + existing).c_str(), nullptr));
  }
  FileRecord Record(const wchar_t* name, int64_t size, uint32_t index) {
    FileRecord record = {};
    record.dir = const_cast<wchar_t*>(dir_.c_str());
    record.name = const_cast<wchar_t*>(name);
    record.size = size;
    record.index = index;
    return record;
  }
  const std::wstring dir_ = TempPath(L"links").wstring() + L"\\";
};

// Met again through linked folders, one file shows more names than links: the group grows, never overruns.
// Gathered at once or as the walk meets each name, in the walk's order the groups come out the same.
TEST_F(LinkGroupFiles, TheNamesOfOneFileJoinTheFirstMetAsHead) {
  Write(L"a", "same");
  Link(L"b", L"a");
  Write(L"d", "same");
  for (LinkGroupGathering gathering : {LinkGroupGathering::AllNamesNow, LinkGroupGathering::AsMet}) {
    FileRecord records[] = {Record(L"a", 4, 0), Record(L"b", 4, 1), Record(L"d", 4, 2), Record(L"a", 4, 3),
                            Record(L"b", 4, 4)};
    for (FileRecord& record : records) ResolveLinkGroup(records, 5, &record, gathering);
    EXPECT_TRUE(IsLinkHead(&records[0]));
    EXPECT_EQ(LinkCount(&records[0]), 2u);
    ASSERT_EQ(LinkGroupSize(&records[0]), 4u);
    EXPECT_EQ(LinkGroupMember(&records[0], 2), &records[3]);
    for (int i : {1, 3, 4}) {
      EXPECT_TRUE(IsLinkMember(&records[i]));
      EXPECT_EQ(records[i].linkGroup, records[0].linkGroup);
      EXPECT_EQ(LinkCount(&records[i]), 2u);
    }
    EXPECT_TRUE(IsSingleName(&records[2]));
    ReleaseLinkGroups(records, 5);
  }
}

HANDLE WINAPI FailOpen(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
  SetLastError(ERROR_ACCESS_DENIED);
  return INVALID_HANDLE_VALUE;
}

TEST_F(LinkGroupFiles, TwoFilesWhoseIdentityCannotBeReadAreNeverOneFile) {
  Write(L"a", "1");
  Write(L"b", "2");
  FileRecord a = Record(L"a", 1, 0), b = Record(L"b", 1, 1);
  FileSystem.Open = FailOpen;
  EXPECT_EQ(HasEqualFileIndex(&a, &b), 0);
  EXPECT_EQ(LinkCount(&a), 0u);
}

// Pairs decided by the pair comparison with checksums already known.
class KnownChecksums : public LinkGroupFiles {
 protected:
  void SetUp() override {
    LinkGroupFiles::SetUp();
    InitChecksumBuffers();
    lstrcpyW(SearchFolder1, dir_.c_str());
    lstrcpyW(SearchFolder2, dir_.c_str());
  }
  void TearDown() override { FreeChecksumBuffers(), LinkGroupFiles::TearDown(); }
  CapturedOutput output_;
  MatchTotals totals_;
};

int g_opens = 0;
HANDLE WINAPI CountedOpen(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                          DWORD flags, HANDLE templateFile) {
  ++g_opens;
  return CreateFileW(path, access, share, security, disposition, flags, templateFile);
}

// The open that read a file's identity reads its content and allocation too, and proves its pairs; it is
// closed before anything acts on the file.
TEST_F(KnownChecksums, OneOpenServesAFilesIdentityContentAndProof) {
  Write(L"x", "aaaa");
  Write(L"y", "bbbb");
  Write(L"z", "aaaa");
  FileRecord records[3] = {Record(L"x", 4, 0), Record(L"y", 4, 1), Record(L"z", 4, 2)};
  RunOptions.ParallelRead = 0;  // the checksum threads of parallel reading open their own files
  SetKeepingForChecksum(true);
  g_opens = 0;
  FileSystem.Open = CountedOpen;
  for (FileRecord& record : records) ResolveLinkGroup(records, 3, &record);
  ComparePair(&records[0], &records[1], &totals_);
  ComparePair(&records[0], &records[2], &totals_);
  EXPECT_EQ(g_opens, 3);
  EXPECT_EQ(totals_.filesFound, 1);
  EXPECT_NE(records[0].checksum, 0u);
  EXPECT_NE(records[0].checksum, records[1].checksum);
  EXPECT_EQ(records[1].allocSize, GetAllocationSize((dir_ + L"y").c_str())) << "read with the identity";
  SetKeepingForChecksum(false);
  for (const wchar_t* name : {L"x", L"y", L"z"})
    EXPECT_TRUE(DeleteFileW((dir_ + name).c_str())) << "a handle was left open";
}

// The same path met twice is no pair, whatever the case of its letters (linguistic: ß and SS are one name).
TEST_F(KnownChecksums, ThePathOfOneFileIgnoringCaseIsNoPair) {
  std::wstring upperDir = dir_;
  CharUpperW(upperDir.data());
  struct Case {
    const wchar_t *name1, *name2;
    bool upperDir;
    int tested;
  } cases[] = {
      {L"file.txt", L"FILE.TXT", false, 0},
      {L"Größe.bin", L"GRÖSSE.BIN", false, 0},
      {L"Größe.bin", L"GRÖßE.BIN", true, 0},
      {L"file.txt", L"file.txz", false, 1},
      {L"file.txt", L"file.txt", true, 0},
  };
  for (const Case& c : cases) {
    FileRecord a = Record(c.name1, 4, 0), b = Record(c.name2, 4, 1);
    if (c.upperDir) b.dir = upperDir.data();
    a.checksum = 7;
    b.checksum = 9;
    totals_.pairsTested = INT32_MAX;  // a large run of one size counts past 32 bits
    ComparePair(&a, &b, &totals_);
    ComparePair(&b, &a, &totals_);
    EXPECT_EQ(totals_.pairsTested, INT32_MAX + 2LL * c.tested) << c.name1 << L" " << c.name2;
  }
}

// The CRC-64 polynomial with its top bit: XORed into a file it leaves the checksum as it was.
const unsigned char kCollider[] = {0x01, 0x42, 0xF0, 0xE1, 0xEB, 0xA9, 0xEA, 0x36, 0x93};

// Another process writes to a file of the pair between the byte check and the action: the hold refuses it,
// so what goes is what was compared.
std::wstring g_written;
DWORD g_writeError = 0;
void WriteBetweenCheckAndAction(const wchar_t* path1, const wchar_t* path2) {
  HANDLE file = CreateFileW(g_written == L"1" ? path1 : path2, GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  g_writeError = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  DWORD written = 0;
  if (file != INVALID_HANDLE_VALUE) WriteFile(file, "new!", 4, &written, nullptr), CloseHandle(file);
}

TEST_F(KnownChecksums, AWriteBetweenTheByteCheckAndTheActionIsRefused) {
  for (uint32_t action : {ActionDeleteFile2, ActionLinkFile2, ActionDeleteFile1, ActionRenameFile1}) {
    for (const wchar_t* written : {L"1", L"2"}) {
      SCOPED_TRACE(testing::Message() << action << " " << written[0]);
      Write(L"one", "same");
      Write(L"two", "same");
      RunOptions.Action = action;
      g_written = written;
      FileSystem.AfterByteCheck = WriteBetweenCheckAndAction;
      wchar_t one[] = L"one", two[] = L"two";  // a delete empties the name in place
      FileRecord a = Record(one, 4, 0), b = Record(two, 4, 1);
      ComparePair(&a, &b, &totals_);
      EXPECT_EQ(g_writeError, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
      // Whatever was done, "same" is still on disk and nothing else changed.
      std::string left1 = Content(L"one"), left2 = Content(L"two");
      EXPECT_TRUE(left1 == "same" || left2 == "same") << left1 << " " << left2;
      EXPECT_TRUE((left1 == "same" || left1 == "<gone>") && (left2 == "same" || left2 == "<gone>"))
          << left1 << " " << left2;
    }
  }
}

// A file another program keeps open without letting it be deleted cannot be held for the action: the pair
// is reported with the reason, and nothing is done.
TEST_F(KnownChecksums, AFileThatCannotBeHeldIsNamedAndLeftAlone) {
  Write(L"one", "same");
  Write(L"two", "same");
  HANDLE other = CreateFileW((dir_ + L"two").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  RunOptions.Action = ActionDeleteFile2;
  wchar_t one[] = L"one", two[] = L"two";
  FileRecord a = Record(one, 4, 0), b = Record(two, 4, 1);
  ComparePair(&a, &b, &totals_);
  CloseHandle(other);
  EXPECT_EQ(output_.Text(), "one == two\r\n error SHARING_VIOLATION locking file2\r\n");
  EXPECT_EQ(Content(L"two"), "same");
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

TEST_F(KnownChecksums, EqualIndexesOnTwoVolumesAreTwoFiles) {
  FileSystem.QueryInformation = IndexSeven;
  FileSystem.QueryVolumeInformation = SerialFromIndex;
  RunOptions.SameVolume = 1;
  Write(L"a", "mine");
  Link(L"c", L"a");
  Write(L"b", "else");
  Write(L"d", "mine");
  wchar_t names[][2] = {L"a", L"b", L"c", L"d"};
  FileRecord records[] = {Record(names[0], 4, 0), Record(names[1], 4, 1), Record(names[2], 4, 2),
                          Record(names[3], 4, 3)};
  ResolveLinkGroup(records, 4, &records[0]);
  EXPECT_EQ(LinkGroupSize(&records[0]), 2u) << "b has the index of a, on another volume";
  EXPECT_FALSE(IsLinkResolved(&records[1]));
  // Two names of one file stay one file; b is no further name of a, and d is a copy of it.
  for (FileRecord* record : {&records[1], &records[3]}) ResolveLinkGroup(records, 4, record);
  EXPECT_EQ(HasEqualFileIndex(&records[0], &records[2]), 1);
  EXPECT_EQ(HasEqualFileIndex(&records[0], &records[1]), 0);
  RunOptions.FindHardlinks1 = RunOptions.FindHardlinks2 = 1;
  RunOptions.Action = ActionDeleteFile1;
  ComparePair(&records[1], &records[0], &totals_);
  EXPECT_EQ(Content(L"b"), "else");
  ComparePair(&records[0], &records[3], &totals_);
  EXPECT_EQ(Content(L"a"), "<gone>");
  EXPECT_EQ(Content(L"c"), "mine");
  EXPECT_EQ(Content(L"d"), "mine");
}

// Two files whose test blocks differ but share a CRC-64: never a pair, read one after the other or at once.
TEST_F(KnownChecksums, TestBlocksWithACollidingChecksumAreCompared) {
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
        EXPECT_EQ(Content(L"second"), second);
        EXPECT_EQ(Content(L"first"), first);
      }
    }
  }
}
}  // namespace
