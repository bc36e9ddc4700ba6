#include "action_fixture.h"
#include "actions/hardlink.h"
#include "actions/target_choice.h"
#include "match/link_groups.h"

namespace {
constexpr DWORD kReadOnlyHidden = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
constexpr int kVanish = 1, kDelete = 2, kLink = 4, kCopy = 8;
constexpr const char* kDenied = " error ACCESS_DENIED deleting file2\r\n";
constexpr const char* kSkip = " hardlink count cannot exceed 1024 -> skip\r\n";
constexpr const char* kOops = " oops, file2 deleted, hardlink not created, err=ACCESS_DENIED. restore file\r\n";

// Whatever fails, nothing is lost: the kept file is untouched and the target is as it was, or gone only
// when it had vanished or could not be repaired.
TEST_F(ActionTest, NothingIsLostAndTheErrorIsShown) {
  const struct {
    uint32_t action;
    int faults;
    uint32_t keptLinks, targetLinks;
    const char* message;
    bool targetStays;
  } cases[] = {
      {ActionDeleteFile2, kDelete, 1, 2, kDenied, true},
      {ActionDeleteFile2, kVanish, 1, 2, " error FILE_NOT_FOUND deleting file2\r\n", false},
      {ActionLinkFile2, kDelete, 1, 2, kDenied, true},
      {ActionLinkFile2, kLink, 1, 2, kOops, true},
      {ActionLinkFile2, kLink | kCopy, 1, 2, kOops, false},
      // The link limit as the records count it; a pair within it meets the refused delete.
      {ActionLinkFile2, kDelete, 1000, 25, kSkip, true},
      {ActionLinkFile2, kDelete, 1000, 24, kDenied, true},
      {ActionLinkFile2, kDelete, 1024, 0, kSkip, true},
      {ActionLinkFile2, kDelete, 1023, 1, kDenied, true},
      {ActionLinkFile2, kDelete, 1, 1024, kSkip, true},
  };
  for (const auto& c : cases) {
    TearDown();
    SetUp();
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
    RunOptions.Action = c.action;
    EXPECT_EQ(Act(), c.message == kSkip ? 0 : 1);
    EXPECT_EQ(Output(), "a\\x.txt == b\\y.txt\r\n" + std::string(c.message));
    EXPECT_EQ(Content(one_->path), "same");
    EXPECT_EQ(Content(two_->path), c.targetStays ? "same" : "") << c.message;
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

// The target heads a group of three names: whichever link fails, every record keeps its file's true count and group.
TEST_F(ActionTest, ADissolvedGroupLeavesSoundRecords) {
  for (const wchar_t* failing : {L"|nothing", L"d3.txt", L"\\y.txt"}) {
    TearDown();
    SetUp();
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
    EXPECT_EQ(Output(), targetFails ? kOops : " file2 replaced by hardlink\r\n");
    for (TestFile* name : names) {
      bool failed = Fails(name->path);
      EXPECT_EQ(Content(name->path), "same");
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

// Which file the rule picks is shown on disk end to end; here is what only records and the seam can set up.
TEST_F(ActionTest, TheFallbackAndTheRefusals) {
  CreateHardLinkW((root_ + L"b\\second.txt").c_str(), two_->path, nullptr);  // file2 really has two links
  const struct {
    uint32_t action;
    int alreadyLinked, linkState1, linkState2;
    uint32_t links1, links2;
    int64_t alloc1;
    const wchar_t* unmeasurable;  // file whose layout cannot be read
    uint32_t target;
  } cases[] = {
      {ActionDeleteFragmented, 0, 2, 1, 2, 1, 4096, nullptr, 2},  // the group head is kept
      {ActionDeleteFragmented, 0, 1, 2, 1, 2, 4096, nullptr, 1},
      {ActionDeleteFragmented, 0, 2, 2, 3, 2, 4096, nullptr, 2},  // then the file with fewer links goes
      {ActionDeleteFragmented, 0, 1, 1, 0, 0, 4096, nullptr, 1},  // unread counts are read from the files
      {ActionDeleteFragmented, 0, 1, 1, 2, 2, 8192, nullptr, 1},  // then the larger allocation
      {ActionDeleteFragmented, 0, 1, 1, 2, 2, 1024, nullptr, 2},
      {ActionDeleteFragmented, 0, 1, 1, 2, 2, 4096, L"y.txt", 1},  // then the more fragments: unknown is 0
      {ActionDeleteFragmented, 0, 1, 1, 2, 2, 4096, L"x.txt", 2},
      {ActionDeleteFragmented, 0, 1, 1, 2, 2, 4096, nullptr, 2},  // a full tie takes file2
      {ActionDeleteAny, 1, 1, 1, 2, 2, 4096, nullptr, 0},  // two names of one file: a policy refuses
      {ActionLinkFragmented, 1, 1, 1, 2, 2, 4096, nullptr, 0},
      {ActionDeleteShorterName, 1, 1, 1, 2, 2, 4096, nullptr, 0},  // a tie falls back and refuses too
      {ActionDeleteFile1, 1, 1, 1, 2, 2, 4096, nullptr, 1},        // a fixed choice still applies
      {ActionLinkFile1, 0, 2, 1, 1, 1, 4096, nullptr, 0},          // -h1/-h2 only relink a single link
      {ActionLinkFile2, 0, 2, 1, 1, 1, 4096, nullptr, 2},
      {ActionLinkFile2, 0, 1, 3, 1, 1, 4096, nullptr, 0},
      {ActionLinkFile1, 1, 1, 1, 1, 1, 4096, nullptr, 0},
  };
  FileSystem.Open = FailingOpen;
  DuplicateFile file1 = {&one_->record, one_->path, 1}, file2 = {&two_->record, two_->path, 2};
  for (const auto& c : cases) {
    one_->record.linkState = c.linkState1;
    two_->record.linkState = c.linkState2;
    *one_->record.linkCount = c.links1;
    *two_->record.linkCount = c.links2;
    one_->record.allocSize = c.alloc1;
    FailSuffix = c.unmeasurable ? c.unmeasurable : L"|nothing";
    EXPECT_EQ(ChooseTarget(c.action, file1, file2, c.alreadyLinked), c.target) << "case " << (&c - cases);
  }
}

TEST_F(ActionTest, ThePairLineAndTheFoundData) {
  const struct {
    int linkState1, linkState2, alreadyLinked, replaced;
    const char* output;
    int64_t redundant;
  } cases[] = {
      {1, 1, 0, 0, "a\\x.txt == b\\y.txt\r\n", 4096},
      {3, 1, 0, 0, "a\\x.txt += b\\y.txt\r\n", 4096},  // '+': a further name of a file another record heads
      {1, 3, 0, 0, "a\\x.txt =+ b\\y.txt\r\n", 0},
      {3, 3, 0, 0, "a\\x.txt ++ b\\y.txt\r\n", 0},
      {1, 1, 1, 0, "a\\x.txt =hardlink= b\\y.txt\r\n", 4096},
      {1, 1, 0, 1, "", 0},  // a file replaced by a link is never file2 again
  };
  for (const auto& c : cases) {
    one_->record.linkState = c.linkState1;
    two_->record.linkState = c.linkState2;
    two_->record.replacedByLink = c.replaced;
    redundant_ = 0;
    EXPECT_EQ(Act(c.alreadyLinked), c.replaced ? 0 : 1);
    EXPECT_EQ(Output(), c.output);
    EXPECT_EQ(redundant_, c.redundant) << c.output;
  }
}
}  // namespace
