#include "actions/hardlink.h"

#include "action_fixture.h"
#include "actions/actions.h"
#include "fault_seam.h"
#include "pool/memory.h"
#include "run/options.h"
#include "seam/file_system.h"

namespace {
constexpr DWORD kReadOnlyHidden = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;

FILETIME WriteTime(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
  return data.ftLastWriteTime;
}

void SetTimes(const std::wstring& path, uint64_t time) {
  HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  FILETIME stamp = {static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
  SetFileTime(file, &stamp, &stamp, &stamp);
  CloseHandle(file);
}

using ForceDeleteTest = ActionTest;

TEST_F(ForceDeleteTest, DeletesAReadOnlyFile) {
  std::wstring path = WriteFile(L"ro.txt", "x");
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(ForceDelete(path.c_str()));
  EXPECT_FALSE(Exists(L"ro.txt"));
}

TEST_F(ForceDeleteTest, AFailedDeleteChangesNothing) {
  std::wstring path = WriteFile(L"ro.txt", "x");
  SetFileAttributesW(path.c_str(), kReadOnlyHidden);
  FileSystem.Delete = FailingDelete;
  FailError = ERROR_SHARING_VIOLATION;
  EXPECT_FALSE(ForceDelete(path.c_str()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(Attributes(L"ro.txt") & kReadOnlyHidden, kReadOnlyHidden);

  FileSystem.Delete = DeleteFileW;
  FileSystem.SetAttributes = FailingSetAttributes;
  EXPECT_FALSE(ForceDelete(path.c_str()));
  EXPECT_TRUE(Exists(L"ro.txt"));
  EXPECT_FALSE(ForceDelete((Root() + L"missing.txt").c_str()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

class Hardlink : public ActionTest {
 protected:
  void SetUp() override {
    ActionTest::SetUp();
    WriteFile(L"kept\\k.txt", "content");
    WriteFile(L"dup\\d.txt", "content");
    kept_ = Record(L"kept\\k.txt");
    target_ = Record(L"dup\\d.txt");
    RunOptions.Action = ActionLinkFile2;
  }
  int Link(int64_t* redundant) {
    return LinkDuplicate({&target_->record, target_->Path(), 2}, {&kept_->record, kept_->Path(), 1}, redundant);
  }
  // Another name of the target's file, in the target's link group.
  TestFile* AddMember(const std::wstring& relative) {
    MakeFolder(relative.substr(0, relative.rfind(L'\\')));
    CreateHardLinkW((Root() + relative).c_str(), target_->Path(), nullptr);
    TestFile* member = Record(relative);
    FileRecord& head = target_->record;
    if (!head.groupMembers) {
      head.linkState = 2;
      head.groupMembers = static_cast<FileRecord**>(MemAlloc(8 * sizeof(FileRecord*)));
      head.groupCapacity = static_cast<uint32_t*>(MemAlloc(sizeof(uint32_t)));
      head.groupCount = static_cast<uint32_t*>(MemAlloc(sizeof(uint32_t)));
      *head.groupCapacity = 8;
      head.groupMembers[(*head.groupCount)++] = &head;
    }
    head.groupMembers[(*head.groupCount)++] = &member->record;
    ++*head.linkCount;
    member->record.linkState = 3;
    member->record.linkCount = head.linkCount;
    member->record.groupMembers = head.groupMembers;
    member->record.groupCount = head.groupCount;
    member->record.groupCapacity = head.groupCapacity;
    return member;
  }
  TestFile* kept_ = nullptr;
  TestFile* target_ = nullptr;
};

TEST_F(Hardlink, ReplacesTheTargetAndTakesItIntoTheKeptFilesGroup) {
  SetFileAttributesW(target_->Path(), FILE_ATTRIBUTE_READONLY);
  int64_t redundant = 0;
  EXPECT_EQ(Link(&redundant), 1);
  EXPECT_EQ(Output(), " file2 replaced by hardlink\r\n");
  EXPECT_EQ(FileIndex(L"dup\\d.txt"), FileIndex(L"kept\\k.txt"));
  EXPECT_EQ(Links(L"kept\\k.txt"), 2u);
  // Two names of one file share its attributes: the kept file's.
  EXPECT_EQ(Attributes(L"dup\\d.txt") & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_EQ(redundant, 4096);
  EXPECT_EQ(SavedBytes, 4096);
  EXPECT_EQ(ReplacedCount, 1u);
  EXPECT_EQ(kept_->record.linkState, 2);
  EXPECT_EQ(target_->record.linkState, 3);
  EXPECT_EQ(target_->record.replacedByLink, 1);
  EXPECT_EQ(target_->record.linkCount, kept_->record.linkCount);
  EXPECT_EQ(*kept_->record.linkCount, 2u);
  ASSERT_NE(kept_->record.groupMembers, nullptr);
  EXPECT_EQ(kept_->record.groupMembers[1], &target_->record);
}

TEST_F(Hardlink, AFurtherNameOfAnotherFileSavesNothing) {
  target_->record.linkState = 3;
  ReplaceByHardlink(&target_->record, &kept_->record, target_->Path(), kept_->Path(), 2, 0);
  EXPECT_EQ(FileIndex(L"dup\\d.txt"), FileIndex(L"kept\\k.txt"));
  EXPECT_EQ(ReplacedCount, 0u);
  EXPECT_EQ(SavedBytes, 0);
}

TEST_F(Hardlink, ARefusedDeleteLeavesTheTargetAsItWas) {
  SetFileAttributesW(target_->Path(), kReadOnlyHidden);
  FileSystem.Delete = FailingDelete;
  int64_t redundant = 0;
  EXPECT_EQ(Link(&redundant), 1);
  EXPECT_EQ(Output(), " error ACCESS_DENIED deleting file2\r\n");
  EXPECT_EQ(ReadFile(L"dup\\d.txt"), "content");
  EXPECT_EQ(Attributes(L"dup\\d.txt") & kReadOnlyHidden, kReadOnlyHidden);
  EXPECT_NE(FileIndex(L"dup\\d.txt"), FileIndex(L"kept\\k.txt"));
  EXPECT_EQ(target_->record.linkState, 1);
  EXPECT_EQ(target_->record.replacedByLink, 0);
  EXPECT_EQ(ReplacedCount, 0u);
}

TEST_F(Hardlink, AFailedLinkPutsTheContentBackWithTheOldAttributesAndTimes) {
  SetTimes(target_->Path(), 125000000000000000ull);
  SetFileAttributesW(target_->Path(), kReadOnlyHidden);
  FILETIME before = WriteTime(target_->Path());
  FileSystem.CreateHardLink = FailingCreateHardLink;
  FailError = 1142;  // too many links: a code without a word of its own
  int64_t redundant = 0;
  EXPECT_EQ(Link(&redundant), 1);
  EXPECT_EQ(Output(), " oops, file2 deleted, hardlink not created, err=1142. restore file\r\n");
  EXPECT_EQ(ReadFile(L"dup\\d.txt"), "content");
  EXPECT_EQ(Attributes(L"dup\\d.txt") & kReadOnlyHidden, kReadOnlyHidden);
  FILETIME after = WriteTime(target_->Path());
  EXPECT_EQ(CompareFileTime(&before, &after), 0);
  EXPECT_NE(FileIndex(L"dup\\d.txt"), FileIndex(L"kept\\k.txt"));
  EXPECT_EQ(Links(L"kept\\k.txt"), 1u);
  EXPECT_EQ(ReplacedCount, 0u);
  EXPECT_EQ(SavedBytes, 0);
  EXPECT_EQ(kept_->record.linkState, 1);
  EXPECT_EQ(target_->record.replacedByLink, 0);
}

TEST_F(Hardlink, AFailedRepairCopyLeavesTheKeptFileAlone) {
  FileSystem.CreateHardLink = FailingCreateHardLink;
  FileSystem.Copy = FailingCopy;
  int64_t redundant = 0;
  Link(&redundant);
  EXPECT_EQ(Output(), " oops, file2 deleted, hardlink not created, err=ACCESS_DENIED. restore file\r\n");
  EXPECT_FALSE(Exists(L"dup\\d.txt"));
  EXPECT_EQ(ReadFile(L"kept\\k.txt"), "content");
}

TEST_F(Hardlink, QuietReplacementPrintsNothingEvenWhenItFails) {
  FileSystem.Delete = FailingDelete;
  EXPECT_EQ(ReplaceByHardlink(&target_->record, &kept_->record, target_->Path(), kept_->Path(), 2, 1), 0);
  FileSystem.Delete = DeleteFileW;
  FileSystem.CreateHardLink = FailingCreateHardLink;
  EXPECT_EQ(ReplaceByHardlink(&target_->record, &kept_->record, target_->Path(), kept_->Path(), 2, 1), 0);
  EXPECT_EQ(Output(), "");
  EXPECT_EQ(ReadFile(L"dup\\d.txt"), "content");
}

TEST_F(Hardlink, TheLinkLimitOfOneFileIsNeverExceeded) {
  const struct {
    uint32_t keptLinks, targetLinks;
    bool skipped;
  } cases[] = {
      {1000, 25, true}, {1000, 24, false}, {1024, 0, true}, {1023, 1, false}, {1, 1023, false}, {1, 1024, true},
  };
  // Deletes fail through the seam, so a pair that passes the limit shows the delete error instead.
  FileSystem.Delete = FailingDelete;
  for (const auto& c : cases) {
    *kept_->record.linkCount = c.keptLinks;
    *target_->record.linkCount = c.targetLinks;
    int64_t redundant = 0;
    EXPECT_EQ(Link(&redundant), c.skipped ? 0 : 1) << c.keptLinks << "+" << c.targetLinks;
    EXPECT_EQ(Output(), c.skipped ? " hardlink count cannot exceed 1024 -> skip\r\n"
                                  : " error ACCESS_DENIED deleting file2\r\n")
        << c.keptLinks << "+" << c.targetLinks;
    EXPECT_EQ(redundant, c.skipped ? 0 : 4096);
  }
}

TEST_F(Hardlink, TheTargetsOtherNamesMoveToTheKeptFileQuietly) {
  TestFile* member1 = AddMember(L"dup\\d2.txt");
  TestFile* member2 = AddMember(L"other\\d3.txt");
  int64_t redundant = 0;
  EXPECT_EQ(Link(&redundant), 1);
  EXPECT_EQ(Output(), " file2 replaced by hardlink\r\n");
  uint64_t kept = FileIndex(L"kept\\k.txt");
  for (const wchar_t* name : {L"dup\\d.txt", L"dup\\d2.txt", L"other\\d3.txt"}) EXPECT_EQ(FileIndex(name), kept);
  EXPECT_EQ(Links(L"kept\\k.txt"), 4u);
  EXPECT_EQ(*kept_->record.linkCount, 4u);
  // The group was dissolved and every name now belongs to the kept file's group.
  for (TestFile* name : {target_, member1, member2}) {
    EXPECT_EQ(name->record.linkState, 3);
    EXPECT_EQ(name->record.linkCount, kept_->record.linkCount);
    EXPECT_EQ(name->record.groupMembers, kept_->record.groupMembers);
  }
  EXPECT_EQ(*kept_->record.groupCount, 4u);
  // Only the target itself counts: its other names were further names of the same file.
  EXPECT_EQ(ReplacedCount, 1u);
  EXPECT_EQ(SavedBytes, 4096);
}

TEST_F(Hardlink, ANameThatCannotMoveBecomesAFileOfItsOwn) {
  TestFile* moved = AddMember(L"dup\\d2.txt");
  TestFile* stuck = AddMember(L"other\\d3.txt");
  FileSystem.CreateHardLink = FailingCreateHardLink;
  FailPathSuffix = L"d3.txt";
  int64_t redundant = 0;
  EXPECT_EQ(Link(&redundant), 1);
  EXPECT_EQ(Output(), " file2 replaced by hardlink\r\n");
  EXPECT_EQ(FileIndex(L"dup\\d2.txt"), FileIndex(L"kept\\k.txt"));
  EXPECT_EQ(moved->record.linkCount, kept_->record.linkCount);
  // The repaired copy is a separate file with one link, and its record says so.
  EXPECT_EQ(ReadFile(L"other\\d3.txt"), "content");
  EXPECT_EQ(Links(L"other\\d3.txt"), 1u);
  EXPECT_EQ(stuck->record.linkState, 1);
  EXPECT_EQ(stuck->record.groupMembers, nullptr);
  ASSERT_NE(stuck->record.linkCount, nullptr);
  EXPECT_NE(stuck->record.linkCount, kept_->record.linkCount);
  EXPECT_EQ(*stuck->record.linkCount, 1u);
  EXPECT_EQ((uint64_t(stuck->record.fileIndexHigh) << 32) | stuck->record.fileIndexLow, FileIndex(L"other\\d3.txt"));
  EXPECT_EQ(*kept_->record.linkCount, 3u);
}

TEST_F(Hardlink, ATargetWhoseOwnReplacementFailsKeepsASoundLinkCount) {
  AddMember(L"dup\\d2.txt");
  FileSystem.CreateHardLink = FailingCreateHardLink;
  FailPathSuffix = L"\\d.txt";
  int64_t redundant = 0;
  EXPECT_EQ(Link(&redundant), 1);
  EXPECT_EQ(Output(), " oops, file2 deleted, hardlink not created, err=ACCESS_DENIED. restore file\r\n");
  EXPECT_EQ(ReadFile(L"dup\\d.txt"), "content");
  // Its other name went over to the kept file; the target is now a copy of its own with one link.
  EXPECT_EQ(target_->record.linkState, 1);
  EXPECT_EQ(target_->record.groupMembers, nullptr);
  ASSERT_NE(target_->record.linkCount, nullptr);
  EXPECT_EQ(*target_->record.linkCount, 1u);
  EXPECT_EQ((uint64_t(target_->record.fileIndexHigh) << 32) | target_->record.fileIndexLow, FileIndex(L"dup\\d.txt"));
  // A later pair of the target with the kept file passes the limit and reads sound counts.
  FailPathSuffix = L"nothing fails now";
  Output();
  EXPECT_EQ(Link(&redundant), 1);
  EXPECT_EQ(Output(), " file2 replaced by hardlink\r\n");
  EXPECT_EQ(Links(L"kept\\k.txt"), 3u);
}
}  // namespace
