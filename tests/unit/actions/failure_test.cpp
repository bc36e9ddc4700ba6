#include "action_fixture.h"
#include "actions/emptied_folders.h"
#include "actions/hardlink.h"
#include "match/link_groups.h"

namespace {
constexpr DWORD kReadOnlyHidden = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
constexpr int kVanish = 1, kDelete = 2, kLink = 4, kCopy = 8;
constexpr const char* kDenied = " error ACCESS_DENIED deleting file2\r\n";
constexpr const char* kSkip = " hardlink count cannot exceed 1024 -> skip\r\n";

using Failure = ActionTest;

// Whatever fails, nothing is lost: the kept file is untouched and the target is as it was, or gone only
// when it had vanished or could not be repaired.
TEST_F(Failure, NothingIsLostAndTheErrorIsShown) {
  const struct {
    uint32_t action;
    int faults;
    DWORD error;
    uint32_t keptLinks, targetLinks;
    const char* message;
    bool targetStays;
  } cases[] = {
      {ActionDeleteFile2, kDelete, 5, 1, 2, kDenied, true},
      {ActionDeleteFile2, kVanish, 0, 1, 2, " error FILE_NOT_FOUND deleting file2\r\n", false},
      {ActionLinkFile2, kDelete, 5, 1, 2, kDenied, true},
      {ActionLinkFile2, kLink, 1142, 1, 2, " oops, file2 deleted, hardlink not created, err=1142. restore file\r\n",
       true},
      {ActionLinkFile2, kLink | kCopy, 5, 1, 2,
       " oops, file2 deleted, hardlink not created, err=ACCESS_DENIED. restore file\r\n", false},
      // The link limit as the records count it; a pair within it meets the refused delete.
      {ActionLinkFile2, kDelete, 5, 1000, 25, kSkip, true},
      {ActionLinkFile2, kDelete, 5, 1000, 24, kDenied, true},
      {ActionLinkFile2, kDelete, 5, 1024, 0, kSkip, true},
      {ActionLinkFile2, kDelete, 5, 1023, 1, kDenied, true},
      {ActionLinkFile2, kDelete, 5, 1, 1024, kSkip, true},
  };
  for (const auto& c : cases) {
    Reset();
    if (c.faults & kVanish) DeleteFileW(two_->path);
    // A further name outside the pool: a repaired copy must not keep counting it.
    CreateHardLinkW((root_ + L"b\\outside.txt").c_str(), two_->path, nullptr);
    *one_->record.linkCount = c.keptLinks;
    *two_->record.linkCount = c.targetLinks;
    HANDLE file = CreateFileW(two_->path, FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const FILETIME old = {0, 29000000};
    SetFileTime(file, &old, &old, &old);
    CloseHandle(file);
    SetFileAttributesW(two_->path, kReadOnlyHidden);
    if (c.faults & kDelete) FileSystem.Delete = FailingDelete;
    if (c.faults & kLink) FileSystem.CreateHardLink = FailingLink;
    if (c.faults & kCopy) FileSystem.Copy = FailingCopy;
    FailError = c.error;
    RunOptions.Action = c.action;
    EXPECT_EQ(Act(), c.message == kSkip ? 0 : 1);
    EXPECT_EQ(Output(), "a\\x.txt == b\\y.txt\r\n" + std::string(c.message));
    EXPECT_EQ(Content(one_), "same");
    EXPECT_EQ(Content(two_), c.targetStays ? "same" : "") << c.message;
    if (c.targetStays) {
      BY_HANDLE_FILE_INFORMATION now = Info(two_);
      EXPECT_EQ(now.dwFileAttributes & kReadOnlyHidden, kReadOnlyHidden) << c.message;
      EXPECT_EQ(CompareFileTime(&now.ftLastWriteTime, &old), 0) << c.message;
      EXPECT_NE(FileIndex(two_), FileIndex(one_));
      // A target that went through the replacement shows its true link count to later pairs.
      bool replacing = c.action == ActionLinkFile2 && c.message != kSkip;
      EXPECT_EQ(*two_->record.linkCount, replacing ? now.nNumberOfLinks : c.targetLinks) << c.message;
    }
    EXPECT_EQ(DeletedCount + ReplacedCount, 0u);
    EXPECT_EQ(SavedBytes, 0);
  }
}

// The target heads a group of three names; its group is dissolved while each name moves to the kept file.
// Whichever link fails, every record must end with its file's true link count and group.
TEST_F(Failure, ADissolvedGroupLeavesSoundRecords) {
  for (const wchar_t* failing : {L"|nothing", L"d3.txt", L"\\y.txt"}) {
    Reset();
    std::vector<TestFile*> names = {two_};
    for (const wchar_t* name : {L"b\\d2.txt", L"b\\d3.txt"}) {
      CreateHardLinkW((root_ + name).c_str(), two_->path, nullptr);
      names.push_back(Record(name));
      two_->record.linkState = 2;
      AddToLinkGroup(&two_->record, &names.back()->record);
    }
    FileSystem.CreateHardLink = FailingLink;
    FailSuffix = failing;
    bool targetFails = failing[0] == L'\\';
    EXPECT_EQ(LinkDuplicate({&two_->record, two_->path, 2}, {&one_->record, one_->path, 1}, &redundant_), 1);
    EXPECT_EQ(Output(), targetFails ? " oops, file2 deleted, hardlink not created, err=ACCESS_DENIED. restore file\r\n"
                                    : " file2 replaced by hardlink\r\n");
    for (TestFile* name : names) {
      bool failed = Fails(name->path);
      EXPECT_EQ(Content(name), "same");
      EXPECT_EQ(name->record.linkState, failed ? 1 : 3);
      EXPECT_EQ(name->record.groupMembers, failed ? nullptr : one_->record.groupMembers);
      ASSERT_NE(name->record.linkCount, nullptr);
      EXPECT_EQ(*name->record.linkCount, Info(name).nNumberOfLinks);
      EXPECT_EQ(FileIndex(name) == FileIndex(one_), !failed);
    }
    EXPECT_EQ(*one_->record.linkCount, Info(one_).nNumberOfLinks);
    // Only the target itself saves space: its other names were further names of the same file.
    EXPECT_EQ(ReplacedCount, targetFails ? 0u : 1u);
    EXPECT_EQ(SavedBytes, targetFails ? 0 : 4096);
  }
}

std::vector<std::wstring> removed;
BOOL WINAPI RecordRemoval(LPCWSTR path) {
  removed.push_back(path);
  return TRUE;
}

TEST_F(Failure, TheClimbOfEmptiedFoldersStopsAtTheDriveRoot) {
  FileSystem.RemoveFolder = RecordRemoval;
  EXPECT_TRUE(RemoveEmptiedFolders(L"\\\\?\\C:\\one\\two\\"));
  EXPECT_EQ(removed, (std::vector<std::wstring>{L"\\\\?\\C:\\one\\two", L"\\\\?\\C:\\one"}));
  EXPECT_EQ(Output(), "dir removed: C:\\one\\two\r\ndir removed: C:\\one\r\n");
}
}  // namespace
