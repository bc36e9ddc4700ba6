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
  for (FileRecord* r : {&a, &b, &d}) {
    PtrListClear(r->comparedWith);
    MemFree(r->comparedWith);
  }
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
}  // namespace
