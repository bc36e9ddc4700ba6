#include "action_fixture.h"
#include "actions/target_choice.h"

namespace {
using Choice = ActionTest;

// Which file the rule picks is shown on disk end to end; here is what only records and the seam can set up.
TEST_F(Choice, TheFallbackAndTheRefusals) {
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
      {ActionDeleteFragmented, 0, 1, 1, 5, 7, 4096, nullptr, 1},
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
  for (const auto& c : cases) {
    one_->record.linkState = c.linkState1;
    two_->record.linkState = c.linkState2;
    *one_->record.linkCount = c.links1;
    *two_->record.linkCount = c.links2;
    one_->record.allocSize = c.alloc1;
    FailSuffix = c.unmeasurable ? c.unmeasurable : L"|nothing";
    EXPECT_EQ(ChooseTarget(c.action, {&one_->record, one_->path, 1}, {&two_->record, two_->path, 2},
                           c.alreadyLinked),
              c.target)
        << "case " << (&c - cases);
  }
}

TEST_F(Choice, ThePairLineAndTheFoundData) {
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
