#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

#include "base/memory.h"
#include "base/run_options.h"
#include "compare/checksum_buffers.h"
#include "console/output.h"
#include "identity/fragmentation.h"
#include "identity/link_groups.h"
#include "match/compare_pair.h"
#include "match/match_pools.h"
#include "pool/ptr_list.h"
#include "seam/file_system.h"

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
  // d shares the partner b with a: known only when looking deep.
  LinkIdentical(&d, &b);
  EXPECT_EQ(IsKnownIdentical(a.comparedWith, &d, 0), 0);
  EXPECT_EQ(IsKnownIdentical(a.comparedWith, &d, 1), 1);
  for (FileRecord* r : {&a, &b, &d}) {
    PtrListClear(r->comparedWith);
    MemFree(r->comparedWith);
  }
}

TEST(AddToLinkGroup, GrowsTheMemberArrayAndKeepsEveryMemberPointingAtIt) {
  FileRecord head = {};
  head.linkState = 2;
  uint32_t links = 1;
  head.linkCount = &links;
  FileRecord members[9] = {};
  for (FileRecord& member : members) AddToLinkGroup(&head, &member);
  EXPECT_EQ(links, 10u);
  EXPECT_EQ(*head.groupCount, 10u);
  EXPECT_GE(*head.groupCapacity, 10u);
  EXPECT_EQ(head.groupMembers[0], &head);
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(head.groupMembers[i + 1], &members[i]);
    EXPECT_EQ(members[i].groupMembers, head.groupMembers) << "a member kept a stale array after growth";
    EXPECT_EQ(members[i].linkState, 3);
    EXPECT_EQ(members[i].linkCount, &links);
  }
}

// Real files and hard links in a temp folder: the names of one file form one group.
class LinkGroupFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetRunOptions();
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    RestoreFileSystemCalls();
    std::filesystem::remove_all(dir_);
  }
  void Write(const std::wstring& name, const std::string& content) {
    std::ofstream(std::filesystem::path(dir_ + name), std::ios::binary) << content;
  }
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
  const std::wstring dir_ = std::filesystem::temp_directory_path() /
                            (L"zav_links_" + std::to_wstring(GetCurrentProcessId()) + L"\\");
};

// Met again through linked folders, one file shows more names than links: the group grows, never overruns.
TEST_F(LinkGroupFiles, TheNamesOfOneFileJoinTheFirstMetAsHead) {
  Write(L"a", "same");
  Link(L"b", L"a");
  Write(L"d", "same");
  FileRecord records[] = {Record(L"a", 4, 0), Record(L"b", 4, 1), Record(L"d", 4, 2), Record(L"a", 4, 3),
                          Record(L"b", 4, 4)};
  ResolveLinkGroup(records, 5, &records[0]);
  EXPECT_EQ(records[0].linkState, 2);
  EXPECT_EQ(*records[0].linkCount, 2u);
  ASSERT_EQ(*records[0].groupCount, 4u);
  EXPECT_GE(*records[0].groupCapacity, 4u);
  EXPECT_EQ(records[0].groupMembers[2], &records[3]);
  for (int i : {1, 3, 4}) {
    EXPECT_EQ(records[i].linkState, 3);
    EXPECT_EQ(records[i].groupMembers, records[0].groupMembers);
    EXPECT_EQ(records[i].linkCount, records[0].linkCount);
  }
  ResolveLinkGroup(records, 5, &records[2]);
  EXPECT_EQ(records[2].linkState, 1);
  MemFree(records[0].groupMembers);
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
  EXPECT_EQ(*a.linkCount, 0u);
  RestoreFileSystemCalls();
  Link(L"c", L"a");
  FileRecord c = Record(L"c", 1, 2), a2 = Record(L"a", 1, 0);
  EXPECT_EQ(HasEqualFileIndex(&a2, &c), 1);
  c.serialRead = 1;
  c.volumeSerial = a2.volumeSerial + 1;
  EXPECT_EQ(HasEqualFileIndex(&a2, &c), 0) << "one index on two volumes is two files";
}
// Pairs decided by the pair comparison with checksums already known, output to NUL.
class KnownChecksums : public LinkGroupFiles {
 protected:
  void SetUp() override {
    LinkGroupFiles::SetUp();
    sink_ = CreateFileW(L"NUL", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    SetOutputHandleForTesting(sink_);
    InitChecksumBuffers();
    lstrcpyW(SearchFolder1, dir_.c_str());
    lstrcpyW(SearchFolder2, dir_.c_str());
  }
  void TearDown() override {
    FreeChecksumBuffers();
    SetOutputHandleForTesting(GetStdHandle(STD_OUTPUT_HANDLE));
    CloseHandle(sink_);
    LinkGroupFiles::TearDown();
  }
  HANDLE sink_ = INVALID_HANDLE_VALUE;
  int64_t tested_ = 0;
  int32_t found_ = 0;
  int64_t redundant_ = 0;
};

// Two files with equal checksums are destroyed only when their bytes agree: checksums can collide.
TEST_F(KnownChecksums, EqualChecksumsAloneNeverDeleteAFile) {
  for (const char* second : {"bbbb", "aaaa"}) {
    Write(L"first", "aaaa");
    Write(L"second", second);
    RunOptions.Action = ActionDeleteFile2;
    wchar_t first[] = L"first", secondName[] = L"second";  // a delete empties the name in place
    FileRecord a = Record(first, 4, 0), b = Record(secondName, 4, 1);
    a.checksum = b.checksum = 0x5EED;  // as if the two contents collided
    tested_ = found_ = 0;
    ComparePair(&a, &b, &tested_, &found_, &redundant_);
    bool same = second[0] == 'a';
    EXPECT_EQ(tested_, 1);
    EXPECT_EQ(found_, same ? 1 : 0);
    EXPECT_EQ(GetFileAttributesW((dir_ + L"second").c_str()) == INVALID_FILE_ATTRIBUTES, same) << second;
  }
}

int g_opens = 0;
HANDLE WINAPI CountedOpen(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                          DWORD flags, HANDLE templateFile) {
  ++g_opens;
  return CreateFileW(path, access, share, security, disposition, flags, templateFile);
}

// The open that read a file's identity reads its content and allocation too, and is closed before anything acts
// on the file.
TEST_F(KnownChecksums, OneOpenServesAFilesIdentityAndContent) {
  Write(L"x", "aaaa");
  Write(L"y", "bbbb");
  FileRecord records[2] = {Record(L"x", 4, 0), Record(L"y", 4, 1)};
  RunOptions.ParallelRead = 0;  // the checksum threads of parallel reading open their own files
  g_opens = 0;
  FileSystem.Open = CountedOpen;
  for (FileRecord& record : records) ResolveLinkGroup(records, 2, &record);
  ComparePair(&records[0], &records[1], &tested_, &found_, &redundant_);
  EXPECT_EQ(g_opens, 2);
  EXPECT_NE(records[0].checksum, 0u);
  EXPECT_NE(records[0].checksum, records[1].checksum);
  EXPECT_EQ(records[1].allocSize, GetAllocationSize((dir_ + L"y").c_str())) << "read with the identity";
  EXPECT_TRUE(DeleteFileW((dir_ + L"y").c_str())) << "a handle was left open";
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
    tested_ = INT32_MAX;  // a large run of one size counts past 32 bits
    ComparePair(&a, &b, &tested_, &found_, &redundant_);
    ComparePair(&b, &a, &tested_, &found_, &redundant_);
    EXPECT_EQ(tested_, INT32_MAX + 2LL * c.tested) << c.name1 << L" " << c.name2;
  }
}
}  // namespace
