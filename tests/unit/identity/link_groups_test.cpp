#include "base/memory.h"
#include "identity/known_identical.h"
#include "identity/link_groups.h"
#include "pool/ptr_list.h"
#include "../test_support.h"

namespace {
TEST(IsKnownIdentical, DirectByFileIndexAndThroughACommonPartner) {
  FileRecord a = {}, b = {}, c = {}, d = {}, e = {};
  EXPECT_EQ(IsKnownIdentical(nullptr, &a, 1), 0);
  LinkIdentical(&a, &b);
  EXPECT_TRUE(IsKnownIdentical(a.comparedWith, &b, 0) == 1 && IsKnownIdentical(b.comparedWith, &a, 0) == 1);
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
  // d shares the partner b with a: known only when looking deep.
  LinkIdentical(&d, &b);
  EXPECT_EQ(IsKnownIdentical(a.comparedWith, &d, 0), 0);
  EXPECT_EQ(IsKnownIdentical(a.comparedWith, &d, 1), 1);
  for (FileRecord* r : {&a, &b, &d}) PtrListClear(r->comparedWith), MemFree(r->comparedWith);
}

// Names made links of the kept file during a run join its group, which grows; a name that was a further name
// of another file leaves that group first, and that file shows one name fewer.
TEST(JoinLinkGroup, GrowsTheGroupAndMovesANameOutOfItsOldGroup) {
  FileRecord head = {}, other = {}, moved = {}, members[9] = {};
  head.linkState = other.linkState = LinkState::Single;
  head.linkCount = other.linkCount = 1;
  head.fileIndexLow = 7;
  JoinLinkGroup(&other, &moved);
  EXPECT_EQ(LinkCount(&other), 2u);
  for (FileRecord& member : members) JoinLinkGroup(&head, &member);
  JoinLinkGroup(&head, &moved);
  EXPECT_EQ(LinkCount(&head), 11u);
  ASSERT_EQ(LinkGroupSize(&head), 11u);
  EXPECT_TRUE(LinkGroupMember(&head, 0) == &head && IsLinkHead(&head));
  for (int i = 0; i < 9; ++i)
    EXPECT_TRUE(LinkGroupMember(&head, i + 1) == &members[i] && IsLinkMember(&members[i]) &&
                LinkCount(&members[i]) == 11u && members[i].fileIndexLow == 7u) << i;
  EXPECT_EQ(LinkGroupMember(&head, 10), &moved);
  EXPECT_TRUE(LinkGroupSize(&other) == 1u && LinkCount(&other) == 1u);
  ReleaseLinkGroups(&head, 1);
  ReleaseLinkGroups(&other, 1);
}

HANDLE WINAPI FailOpen(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
  SetLastError(ERROR_ACCESS_DENIED);
  return INVALID_HANDLE_VALUE;
}

// Real files and hard links: met again through linked folders, one file shows more names than links, and the
// group grows, never overruns. Gathered at once or as the walk meets each name, the groups come out the same.
TEST(ResolveLinkGroup, TheNamesOfOneFileJoinTheFirstMetAsHead) {
  const std::filesystem::path dir = TempPath(L"links");
  const std::wstring folder = dir.wstring() + L"\\";
  PutFile(dir / L"a", "same");
  PutFile(dir / L"d", "same");
  ASSERT_TRUE(CreateHardLinkW((folder + L"b").c_str(), (folder + L"a").c_str(), nullptr));
  auto record = [&](const wchar_t* name, FileRecord r = {}) {
    r.dir = const_cast<wchar_t*>(folder.c_str());
    r.name = const_cast<wchar_t*>(name);
    r.size = 4;
    return r;
  };
  for (LinkGroupGathering gathering : {LinkGroupGathering::AllNamesNow, LinkGroupGathering::AsMet}) {
    FileRecord records[] = {record(L"a"), record(L"b"), record(L"d"), record(L"a"), record(L"b")};
    for (uint32_t i = 0; i < 5; ++i) records[i].index = i;
    for (FileRecord& r : records) ResolveLinkGroup(records, 5, &r, gathering);
    EXPECT_TRUE(IsLinkHead(&records[0]));
    EXPECT_EQ(LinkCount(&records[0]), 2u);
    ASSERT_EQ(LinkGroupSize(&records[0]), 4u);
    EXPECT_EQ(LinkGroupMember(&records[0], 2), &records[3]);
    for (int i : {1, 3, 4})
      EXPECT_TRUE(IsLinkMember(&records[i]) && records[i].linkGroup == records[0].linkGroup &&
                  LinkCount(&records[i]) == 2u) << i;
    EXPECT_TRUE(IsSingleName(&records[2]));
    ReleaseLinkGroups(records, 5);
  }
  // Two names of one file whose identity cannot be read are never taken for one file: unread indexes are no
  // proof.
  FileRecord a = record(L"a"), b = record(L"b");
  FileSystem.Open = FailOpen;
  EXPECT_EQ(HasEqualFileIndex(&a, &b), 0);
  EXPECT_EQ(LinkCount(&a), 0u);
  std::filesystem::remove_all(dir);
}
}  // namespace
