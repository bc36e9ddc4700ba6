#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <list>
#include <string>

#include "actions/actions.h"
#include "actions/hardlink.h"
#include "actions/target_choice.h"
#include "console/output.h"
#include "match/link_groups.h"
#include "pool/memory.h"
#include "run/options.h"
#include "seam/file_system.h"

namespace {
namespace fs = std::filesystem;
constexpr DWORD kReadOnlyHidden = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
constexpr FILETIME kOld = {0, 29000000};
constexpr int kVanish = 1, kDelete = 2, kLink = 4, kCopy = 8;
constexpr const char* kDenied = " error ACCESS_DENIED deleting file2\r\n";
constexpr const char* kSkip = " hardlink count cannot exceed 1024 -> skip\r\n";
constexpr const char* kOops = " oops, file2 deleted, hardlink not created, err=ACCESS_DENIED. restore file\r\n";

// Seam calls on a path holding FailingPart (empty: every path) fail with ACCESS_DENIED.
std::wstring FailingPart;
bool Fails(const std::wstring& path) {
  bool fails = path.find(FailingPart) != std::wstring::npos;
  if (fails) SetLastError(ERROR_ACCESS_DENIED);
  return fails;
}
BOOL WINAPI FailingDelete(LPCWSTR path) { return !Fails(path) && DeleteFileW(path); }
BOOL WINAPI FailingLink(LPCWSTR link, LPCWSTR existing, LPSECURITY_ATTRIBUTES security) {
  return !Fails(link) && CreateHardLinkW(link, existing, security);
}
BOOL WINAPI FailingCopy(LPCWSTR from, LPCWSTR to, BOOL failIfExists) {
  return !Fails(to) && CopyFileW(from, to, failIfExists);
}
HANDLE WINAPI FailingOpen(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE templateFile) {
  return Fails(path) ? INVALID_HANDLE_VALUE
                     : CreateFileW(path, access, share, security, disposition, flags, templateFile);
}

struct TestFile {
  FileRecord record = {};
  wchar_t path[MAX_PATH] = {};  // the actions may cut it in place
};

// file1 is a\x.txt and file2 b\y.txt, both "same"; Act() hands them to ActOnDuplicate.
class ActionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_);
    wcscpy(SearchFolder1, root_.c_str());
    wcscpy(SearchFolder2, root_.c_str());
    ResetRunOptions();
    FailingPart.clear();
    DeletedCount = RenamedCount = ReplacedCount = 0;
    SavedBytes = redundant_ = 0;
    output_ = CreateFileW((dir_ / L"output").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0,
                          nullptr);
    SetOutputHandleForTesting(output_);
    one_ = Record(L"a\\x.txt", "same");
    two_ = Record(L"b\\y.txt", "same");
  }
  void TearDown() override {
    RestoreFileSystemCalls();
    SetOutputHandleForTesting(GetStdHandle(STD_OUTPUT_HANDLE));
    CloseHandle(output_);
    for (const auto& entry : fs::recursive_directory_iterator(dir_))
      SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove_all(dir_);
  }
  // A record as a resolved scan leaves it (single link, allocation known); content is added to the file.
  TestFile* Record(const std::wstring& relative, const std::string& content = "") {
    TestFile* file = &files_.emplace_back();
    wcscpy(file->path, (root_ + relative).c_str());
    wchar_t* name = wcsrchr(file->path, L'\\') + 1;
    file->record.name = DupString(name);
    file->record.dir = DupString(std::wstring(file->path, name).c_str());
    fs::create_directories((dir_ / relative).parent_path());
    std::ofstream(dir_ / relative, std::ios::binary | std::ios::app) << content;
    file->record.size = fs::file_size(dir_ / relative);
    file->record.allocSize = 4096;
    file->record.linkState = 1;
    file->record.linkCount = static_cast<uint32_t*>(MemAlloc(sizeof(uint32_t)));
    *file->record.linkCount = 1;
    return file;
  }
  int Act(int alreadyLinked = 0) {
    return ActOnDuplicate(&one_->record, &two_->record, one_->path, two_->path, alreadyLinked, &redundant_);
  }
  static BY_HANDLE_FILE_INFORMATION Info(TestFile* file) {
    BY_HANDLE_FILE_INFORMATION info = {};
    HANDLE handle = CreateFileW(file->path, 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    GetFileInformationByHandle(handle, &info);
    CloseHandle(handle);
    return info;
  }
  static std::string Content(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  std::string Output() { return Content(dir_ / L"output"); }  // everything printed since SetUp

  const fs::path dir_ = fs::temp_directory_path() / (L"zav_actions_" + std::to_wstring(GetCurrentProcessId()));
  const std::wstring root_ = L"\\\\?\\" + (dir_ / L"").wstring();
  HANDLE output_ = INVALID_HANDLE_VALUE;
  std::list<TestFile> files_;
  TestFile* one_ = nullptr;
  TestFile* two_ = nullptr;
  int64_t redundant_ = 0;
};

// Whatever fails, nothing is lost: the kept file is untouched, the target as it was unless gone or unrepairable.
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
    SetFileTime(file, &kOld, &kOld, &kOld);
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
      EXPECT_EQ(CompareFileTime(&now.ftLastWriteTime, &kOld), 0) << c.message;
      EXPECT_FALSE(fs::equivalent(one_->path, two_->path));
      // A target that went through the replacement shows its true link count to later pairs.
      bool replacing = c.action == ActionLinkFile2 && c.message != kSkip;
      EXPECT_EQ(*two_->record.linkCount, replacing ? now.nNumberOfLinks : c.targetLinks) << c.message;
    }
    EXPECT_EQ(DeletedCount + ReplacedCount + SavedBytes, 0);
  }
}

// The target heads a group of three names: whichever link fails, each record keeps its file's true count and group.
TEST_F(ActionTest, ADissolvedGroupLeavesSoundRecords) {
  for (const wchar_t* failing : {L"|", L"d3.txt", L"\\y.txt"}) {
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
    FailingPart = failing;
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
      EXPECT_EQ(fs::equivalent(name->path, one_->path), !failed);
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
      {ActionDeleteFragmented, 0, 2, 1, 1, 2, 4096, L"|", 2},  // the group head is kept, whatever its links
      {ActionDeleteFragmented, 0, 1, 2, 2, 1, 4096, L"|", 1},
      {ActionDeleteFragmented, 0, 1, 1, 0, 0, 4096, L"|", 1},  // then fewer links go; unread counts are read
      {ActionDeleteFragmented, 0, 1, 1, 2, 2, 8192, L"|", 1},  // then the larger allocation
      {ActionDeleteFragmented, 0, 1, 1, 2, 2, 4096, L"y.txt", 1},  // then the more fragments: unknown is 0
      {ActionDeleteFragmented, 0, 1, 1, 2, 2, 4096, L"|", 2},      // a full tie takes file2
      {ActionDeleteAny, 1, 1, 1, 2, 2, 4096, L"|", 0},  // two names of one file: a policy refuses
      {ActionDeleteShorterName, 1, 1, 1, 2, 2, 4096, L"|", 0},  // a tie falls back and refuses too
      {ActionDeleteFile1, 1, 1, 1, 2, 2, 4096, L"|", 1},        // a fixed choice still applies
      {ActionLinkFile1, 0, 2, 1, 1, 1, 4096, L"|", 0},          // -h1/-h2 only relink a single link
      {ActionLinkFile2, 0, 2, 1, 1, 1, 4096, L"|", 2},
      {ActionLinkFile2, 0, 1, 3, 1, 1, 4096, L"|", 0},
      {ActionLinkFile1, 1, 1, 1, 1, 1, 4096, L"|", 0},
  };
  FileSystem.Open = FailingOpen;
  DuplicateFile file1 = {&one_->record, one_->path, 1}, file2 = {&two_->record, two_->path, 2};
  for (const auto& c : cases) {
    one_->record.linkState = c.linkState1;
    two_->record.linkState = c.linkState2;
    *one_->record.linkCount = c.links1;
    *two_->record.linkCount = c.links2;
    one_->record.allocSize = c.alloc1;
    FailingPart = c.unmeasurable;
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
    TearDown();
    SetUp();
    one_->record.linkState = c.linkState1;
    two_->record.linkState = c.linkState2;
    two_->record.replacedByLink = c.replaced;
    EXPECT_EQ(Act(c.alreadyLinked), c.replaced ? 0 : 1);
    EXPECT_EQ(Output(), c.output);
    EXPECT_EQ(redundant_, c.redundant) << c.output;
  }
}
}  // namespace
