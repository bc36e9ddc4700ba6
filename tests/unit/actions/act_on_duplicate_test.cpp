#include "actions/actions.h"

#include "action_fixture.h"
#include "fault_seam.h"
#include "run/options.h"
#include "seam/file_system.h"

namespace {
class ActOnDuplicateTest : public ActionTest {
 protected:
  void SetUp() override {
    ActionTest::SetUp();
    WriteFile(L"a\\x.txt", "same");
    WriteFile(L"bbb\\yyyy.txt", "same");
    one_ = Record(L"a\\x.txt");
    two_ = Record(L"bbb\\yyyy.txt");
  }
  int Act(int alreadyLinked = 0) {
    return ActOnDuplicate(&one_->record, &two_->record, one_->Path(), two_->Path(), alreadyLinked, &redundant_);
  }
  TestFile* one_ = nullptr;
  TestFile* two_ = nullptr;
  int64_t redundant_ = 0;
};

TEST_F(ActOnDuplicateTest, EveryDeleteRuleDeletesItsFile) {
  const struct {
    uint32_t action;
    const char* message;
    const wchar_t* gone;
  } cases[] = {
      {ActionDeleteFile1, " file1 deleted\r\n", L"a\\x.txt"},
      {ActionDeleteFile2, " file2 deleted\r\n", L"bbb\\yyyy.txt"},
      {ActionDeleteAny, " file2 deleted\r\n", L"bbb\\yyyy.txt"},
      {ActionDeleteFragmented, " file2 deleted\r\n", L"bbb\\yyyy.txt"},
      {ActionDeleteShorterName, " file1 deleted\r\n", L"a\\x.txt"},
      {ActionDeleteLongerName, " file2 deleted\r\n", L"bbb\\yyyy.txt"},
      {ActionDeleteShorterPath, " file1 deleted\r\n", L"a\\x.txt"},
      {ActionDeleteLongerPath, " file2 deleted\r\n", L"bbb\\yyyy.txt"},
  };
  for (const auto& c : cases) {
    TearDown();
    SetUp();
    RunOptions.Action = c.action;
    EXPECT_EQ(Act(), 1);
    EXPECT_EQ(Output(), std::string("a\\x.txt == bbb\\yyyy.txt\r\n") + c.message) << "action " << c.action;
    EXPECT_FALSE(Exists(c.gone)) << "action " << c.action;
    TestFile* deleted = c.message[5] == '1' ? one_ : two_;
    TestFile* kept = deleted == one_ ? two_ : one_;
    EXPECT_EQ(deleted->record.name[0], 0);
    EXPECT_NE(kept->record.name[0], 0);
    // The path is cut back to the folder with its trailing backslash.
    EXPECT_EQ(std::wstring(deleted->Path()), std::wstring(deleted->record.dir));
    EXPECT_EQ(DeletedCount, 1u);
    EXPECT_EQ(SavedBytes, 4);
    EXPECT_EQ(redundant_, 0);
  }
}

TEST_F(ActOnDuplicateTest, TheOlderOrNewerFileGoesByItsWriteTime) {
  for (uint32_t action : {ActionDeleteOlder, ActionDeleteNewer}) {
    TearDown();
    SetUp();
    HANDLE file = CreateFileW(two_->Path(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    FILETIME old = {0, 20000000};
    SetFileTime(file, nullptr, nullptr, &old);
    CloseHandle(file);
    RunOptions.Action = action;
    Act();
    EXPECT_EQ(Exists(L"bbb\\yyyy.txt"), action == ActionDeleteNewer);
    EXPECT_EQ(Exists(L"a\\x.txt"), action == ActionDeleteOlder);
  }
}

TEST_F(ActOnDuplicateTest, ARefusedDeleteChangesNothing) {
  SetFileAttributesW(two_->Path(), FILE_ATTRIBUTE_READONLY);
  FileSystem.Delete = FailingDelete;
  RunOptions.Action = ActionDeleteFile2;
  EXPECT_EQ(Act(), 1);
  EXPECT_EQ(Output(), "a\\x.txt == bbb\\yyyy.txt\r\n error ACCESS_DENIED deleting file2\r\n");
  EXPECT_EQ(ReadFile(L"bbb\\yyyy.txt"), "same");
  EXPECT_NE(Attributes(L"bbb\\yyyy.txt") & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_STREQ(two_->record.name, L"yyyy.txt");
  EXPECT_EQ(DeletedCount, 0u);
  EXPECT_EQ(SavedBytes, 0);
}

TEST_F(ActOnDuplicateTest, AFileThatVanishedIsReportedNotCounted) {
  DeleteFileW(two_->Path());
  RunOptions.Action = ActionDeleteFile2;
  EXPECT_EQ(Act(), 1);
  EXPECT_EQ(Output(), "a\\x.txt == bbb\\yyyy.txt\r\n error FILE_NOT_FOUND deleting file2\r\n");
  EXPECT_EQ(DeletedCount, 0u);
  EXPECT_TRUE(Exists(L"a\\x.txt"));
}

TEST_F(ActOnDuplicateTest, AReadOnlyDuplicateIsDeleted) {
  SetFileAttributesW(two_->Path(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  RunOptions.Action = ActionDeleteFile2;
  Act();
  EXPECT_FALSE(Exists(L"bbb\\yyyy.txt"));
  EXPECT_EQ(DeletedCount, 1u);
}

TEST_F(ActOnDuplicateTest, RenamesOnlyAcrossFoldersAndNames) {
  const struct {
    uint32_t action;
    const wchar_t* file1;
    const wchar_t* file2;
    const char* message;
    const wchar_t* renamedTo;
  } cases[] = {
      {ActionRenameFile1, L"a\\x.txt", L"b\\y.txt", " file1 renamed\r\n", L"a\\y.txt"},
      {ActionRenameFile2, L"a\\x.txt", L"b\\y.txt", " file2 renamed\r\n", L"b\\x.txt"},
      {ActionRenameFile1, L"a\\x.txt", L"a\\y.txt", "", nullptr},  // one folder
      {ActionRenameFile2, L"a\\x.txt", L"b\\x.txt", "", nullptr},  // one name
  };
  for (const auto& c : cases) {
    TearDown();
    ActionTest::SetUp();
    WriteFile(c.file1, "same");
    WriteFile(c.file2, "same");
    one_ = Record(c.file1);
    two_ = Record(c.file2);
    RunOptions.Action = c.action;
    EXPECT_EQ(Act(), 1);
    std::string pair = std::string(c.file1, c.file1 + wcslen(c.file1)) + " == " +
                       std::string(c.file2, c.file2 + wcslen(c.file2)) + "\r\n";
    EXPECT_EQ(Output(), pair + c.message);
    EXPECT_EQ(RenamedCount, c.renamedTo ? 1u : 0u);
    if (c.renamedTo) {
      EXPECT_TRUE(Exists(c.renamedTo));
    }
    EXPECT_EQ(Exists(c.file1), !(c.renamedTo && c.action == ActionRenameFile1));
    EXPECT_EQ(Exists(c.file2), !(c.renamedTo && c.action == ActionRenameFile2));
    // Renames add nothing to the found data and remove no folders.
    EXPECT_EQ(redundant_, 0);
  }
}

TEST_F(ActOnDuplicateTest, ARenameOntoAnExistingNameIsRefused) {
  WriteFile(L"a\\yyyy.txt", "other");
  RunOptions.Action = ActionRenameFile1;
  EXPECT_EQ(Act(), 1);
  EXPECT_EQ(Output(), "a\\x.txt == bbb\\yyyy.txt\r\n error ERROR_ALREADY_EXISTS renaming file1\r\n");
  EXPECT_EQ(ReadFile(L"a\\yyyy.txt"), "other");
  EXPECT_EQ(ReadFile(L"a\\x.txt"), "same");
  EXPECT_EQ(RenamedCount, 0u);
}

TEST_F(ActOnDuplicateTest, ReportOnlyCountsFile2UnlessItIsAFurtherName) {
  const struct {
    int linkState1, linkState2;
    const char* marker;
    int64_t added;
  } cases[] = {{1, 1, "==", 4096}, {3, 1, "+=", 4096}, {1, 3, "=+", 0}, {3, 3, "++", 0}, {2, 2, "==", 4096}};
  for (const auto& c : cases) {
    one_->record.linkState = c.linkState1;
    two_->record.linkState = c.linkState2;
    redundant_ = 0;
    EXPECT_EQ(Act(), 1);
    EXPECT_EQ(Output(), std::string("a\\x.txt ") + c.marker + " bbb\\yyyy.txt\r\n");
    EXPECT_EQ(redundant_, c.added);
  }
  EXPECT_EQ(Act(/*alreadyLinked=*/1), 1);
  EXPECT_EQ(Output(), "a\\x.txt =hardlink= bbb\\yyyy.txt\r\n");
}

TEST_F(ActOnDuplicateTest, EmptyFilesAndReplacedSecondFilesAreRefusedSilently) {
  RunOptions.Action = ActionDeleteFile2;
  for (int which = 0; which < 3; ++which) {
    one_->record.size = which == 0 ? 0 : 4;
    two_->record.size = which == 1 ? 0 : 4;
    two_->record.replacedByLink = which == 2;
    EXPECT_EQ(Act(), 0);
  }
  EXPECT_EQ(Output(), "");
  EXPECT_TRUE(Exists(L"bbb\\yyyy.txt"));
}

TEST_F(ActOnDuplicateTest, TwoNamesOfOneFile) {
  // A fixed choice deletes the name but saves nothing; a policy refuses after the pair line.
  RunOptions.Action = ActionDeleteAny;
  EXPECT_EQ(Act(1), 0);
  EXPECT_EQ(Output(), "a\\x.txt =hardlink= bbb\\yyyy.txt\r\n");
  EXPECT_TRUE(Exists(L"a\\x.txt"));
  RunOptions.Action = ActionDeleteFile1;
  EXPECT_EQ(Act(1), 1);
  EXPECT_EQ(Output(), "a\\x.txt =hardlink= bbb\\yyyy.txt\r\n file1 deleted\r\n");
  EXPECT_EQ(DeletedCount, 1u);
  EXPECT_EQ(SavedBytes, 0);
}

TEST_F(ActOnDuplicateTest, InOnePoolTheShallowerFileIsFile1) {
  WriteFile(L"deep\\er\\z.txt", "same");
  TestFile* deep = Record(L"deep\\er\\z.txt");
  RunOptions.SameSearchFolder = 1;
  RunOptions.Action = ActionDeleteFile2;
  EXPECT_EQ(ActOnDuplicate(&deep->record, &one_->record, deep->Path(), one_->Path(), 0, &redundant_), 1);
  // The pair line keeps the caller's order; the action numbers follow the depth.
  EXPECT_EQ(Output(), "deep\\er\\z.txt == a\\x.txt\r\n file2 deleted\r\n");
  EXPECT_FALSE(Exists(L"deep\\er\\z.txt"));
  EXPECT_TRUE(Exists(L"a\\x.txt"));
  EXPECT_GT(deep->record.pathDepth, one_->record.pathDepth);
}

TEST_F(ActOnDuplicateTest, HardLinkCodesRelinkAndCountTheFoundData) {
  RunOptions.Action = ActionLinkFragmented;
  EXPECT_EQ(Act(), 1);
  EXPECT_EQ(Output(), "a\\x.txt == bbb\\yyyy.txt\r\n file2 replaced by hardlink\r\n");
  EXPECT_EQ(FileIndex(L"a\\x.txt"), FileIndex(L"bbb\\yyyy.txt"));
  EXPECT_EQ(redundant_, 4096);
  // The replaced file is never file2 again.
  EXPECT_EQ(Act(), 0);
  // -h1 on a file with other names shows the pair and changes nothing.
  RunOptions.Action = ActionLinkFile1;
  Output();
  std::swap(one_, two_);
  one_->record.replacedByLink = 0;
  one_->record.linkState = 2;
  two_->record.replacedByLink = 0;
  EXPECT_EQ(Act(), 0);
  EXPECT_EQ(Output(), "bbb\\yyyy.txt == a\\x.txt\r\n");
  EXPECT_EQ(ReplacedCount, 1u);
}
}  // namespace
