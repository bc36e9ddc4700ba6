#include "actions/target_choice.h"

#include "action_fixture.h"
#include "actions/actions.h"
#include "fault_seam.h"
#include "run/options.h"
#include "seam/file_system.h"

namespace {
void SetWriteTime(const std::wstring& path, uint64_t time) {
  HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  FILETIME stamp = {static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
  SetFileTime(file, nullptr, nullptr, &stamp);
  CloseHandle(file);
}

class TargetChoice : public ActionTest {
 protected:
  // file1 lies in a short folder with a short name and is older; file2 has the longer folder and name.
  void SetUp() override {
    ActionTest::SetUp();
    SetWriteTime(WriteFile(L"a\\x.txt", "same"), 130000000000000000ull);
    SetWriteTime(WriteFile(L"bbb\\yyyy.txt", "same"), 130000000100000000ull);
    one_ = Record(L"a\\x.txt");
    two_ = Record(L"bbb\\yyyy.txt");
  }
  uint32_t Choose(uint32_t action, int alreadyLinked = 0) {
    return ChooseTarget(action, {&one_->record, one_->Path(), 1}, {&two_->record, two_->Path(), 2}, alreadyLinked);
  }
  TestFile* one_ = nullptr;
  TestFile* two_ = nullptr;
};

TEST_F(TargetChoice, EachRulePicksItsFile) {
  const struct {
    uint32_t action;
    uint32_t target;
  } cases[] = {
      {ActionDeleteFile1, 1},       {ActionDeleteFile2, 2},        {ActionDeleteShorterName, 1},
      {ActionDeleteLongerName, 2},  {ActionDeleteShorterPath, 1},  {ActionDeleteLongerPath, 2},
      {ActionDeleteOlder, 1},       {ActionDeleteNewer, 2},        {ActionLinkFile1, 1},
      {ActionLinkFile2, 2},         {ActionReport, 0},             {ActionRenameFile1, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(Choose(c.action), c.target) << "action " << c.action;
}

TEST_F(TargetChoice, TiesAndOpenChoicesGoToTheFallback) {
  // Everything equal: the fallback ends at the fragment counts, and a tie there takes file2.
  SetWriteTime(one_->Path(), 130000000100000000ull);
  wcscpy(one_->record.name, L"xxxx.txt");
  one_->record.dir = two_->record.dir;
  for (uint32_t action : {ActionDeleteAny, ActionDeleteFragmented, ActionLinkFragmented, ActionDeleteShorterName,
                          ActionDeleteLongerName, ActionDeleteShorterPath, ActionDeleteLongerPath,
                          ActionDeleteOlder, ActionDeleteNewer})
    EXPECT_EQ(Choose(action), 2u) << "action " << action;
}

TEST_F(TargetChoice, FallbackKeepsTheGroupHeadThenTheFileWithMoreLinksThenTheSmallerAllocation) {
  const struct {
    int linkState1, linkState2;
    uint32_t links1, links2;
    int64_t alloc1, alloc2;
    uint32_t target;
  } cases[] = {
      {2, 1, 2, 1, 4096, 4096, 2},  // only file1 heads a group: it is kept
      {1, 2, 1, 2, 4096, 4096, 1},  // only file2 heads a group
      {2, 2, 3, 2, 4096, 4096, 2},  // both head a group: fewer links go
      {1, 1, 5, 7, 4096, 4096, 1},
      {1, 1, 2, 2, 8192, 4096, 1},  // equal links: the larger allocation goes
      {1, 1, 2, 2, 4096, 8192, 2},
  };
  for (const auto& c : cases) {
    one_->record.linkState = c.linkState1;
    two_->record.linkState = c.linkState2;
    *one_->record.linkCount = c.links1;
    *two_->record.linkCount = c.links2;
    one_->record.allocSize = c.alloc1;
    two_->record.allocSize = c.alloc2;
    EXPECT_EQ(Choose(ActionDeleteFragmented), c.target)
        << c.linkState1 << c.linkState2 << " links " << c.links1 << "/" << c.links2 << " alloc " << c.alloc1;
  }
}

TEST_F(TargetChoice, UnreadLinkCountsAreReadFromTheFiles) {
  CreateHardLinkW((Root() + L"bbb\\second.txt").c_str(), two_->Path(), nullptr);
  *one_->record.linkCount = 0;
  *two_->record.linkCount = 0;
  EXPECT_EQ(Choose(ActionDeleteAny), 1u);
  EXPECT_EQ(*one_->record.linkCount, 1u);
  EXPECT_EQ(*two_->record.linkCount, 2u);
}

TEST_F(TargetChoice, TheMoreFragmentedFileGoesAndAnUnmeasurableOneCountsNone) {
  // file2 cannot be opened for its layout: 0 fragments against file1's one, so file1 goes.
  FileSystem.Open = FailingOpen;
  FailPathSuffix = L"yyyy.txt";
  EXPECT_EQ(Choose(ActionDeleteAny), 1u);
  FailPathSuffix = L"x.txt";
  EXPECT_EQ(Choose(ActionDeleteAny), 2u);
}

TEST_F(TargetChoice, TwoNamesOfOneFileAreNeverChosenByAPolicy) {
  for (uint32_t action : {ActionDeleteAny, ActionDeleteFragmented, ActionLinkFragmented, ActionLinkFile1,
                          ActionLinkFile2})
    EXPECT_EQ(Choose(action, /*alreadyLinked=*/1), 0u) << "action " << action;
  // A tie of a length rule falls back, and refuses too.
  wcscpy(two_->record.name, L"z.txt");
  EXPECT_EQ(Choose(ActionDeleteShorterName, 1), 0u);
  // A fixed choice still applies.
  EXPECT_EQ(Choose(ActionDeleteFile1, 1), 1u);
}

TEST_F(TargetChoice, SingleLinkRelinkingRefusesAFileWithOtherNames) {
  one_->record.linkState = 2;
  EXPECT_EQ(Choose(ActionLinkFile1), 0u);
  EXPECT_EQ(Choose(ActionLinkFile2), 2u);
  two_->record.linkState = 3;
  EXPECT_EQ(Choose(ActionLinkFile2), 0u);
}
}  // namespace
