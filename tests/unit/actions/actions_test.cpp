#include <algorithm>
#include <list>
#include <memory>
#include <regex>
#include <tuple>

#include "actions/actions.h"
#include "actions/hardlink.h"
#include "actions/held_pair.h"
#include "actions/target_choice.h"
#include "base/memory.h"
#include "identity/link_groups.h"
#include "../test_support.h"

namespace {
constexpr LinkState kSingle = LinkState::Single, kHead = LinkState::Head, kMember = LinkState::Member;
namespace fs = std::filesystem;
constexpr DWORD kReadOnlyHidden = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
constexpr FILETIME kOld = {0, 29000000};
const std::string kSkip = " hardlink count cannot exceed 1024 -> skip\r\n";
const std::string kNotReplaced = " error ACCESS_DENIED replacing file2\r\n";
const std::string kReplaced = " file2 replaced by hardlink\r\n";

// Which seam calls fail with ACCESS_DENIED: those on a path holding the part named (none when empty). twin
// makes b\Y.TXT reach another file, as a name of another case does in a folder that tells case apart;
// writeBeforeMove appends to the target just before it is replaced in one move.
// The cases below name only the faults they set.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
struct Faults {
  std::wstring disposition, rename, link, move;
  bool twin = false, writeBeforeMove = false;
} Faults;
bool Fails(const std::wstring& part, const std::wstring& path) {
  bool fails = !part.empty() && path.find(part) != std::wstring::npos;
  if (fails) SetLastError(ERROR_ACCESS_DENIED);
  return fails;
}
std::wstring PathOf(HANDLE file) {
  wchar_t path[MAX_PATH] = {};
  GetFinalPathNameByHandleW(file, path, MAX_PATH, 0);
  return path;
}
BOOL WINAPI FailingSetInformation(HANDLE file, FILE_INFO_BY_HANDLE_CLASS type, LPVOID information, DWORD bytes) {
  if (type == FileDispositionInfo && Fails(Faults.disposition, PathOf(file))) return FALSE;
  if (type == FileRenameInfo && Fails(Faults.rename, static_cast<FILE_RENAME_INFO*>(information)->FileName))
    return FALSE;
  return SetFileInformationByHandle(file, type, information, bytes);
}
BOOL WINAPI FailingLink(LPCWSTR link, LPCWSTR existing, LPSECURITY_ATTRIBUTES security) {
  return !Fails(Faults.link, link) && CreateHardLinkW(link, existing, security);
}
BOOL WINAPI FailingMove(LPCWSTR from, LPCWSTR to, DWORD flags) {
  if (Faults.writeBeforeMove) std::ofstream(to, std::ios::binary | std::ios::app) << "!";
  return !Fails(Faults.move, to) && MoveFileExW(from, to, flags);
}
std::wstring TwinOf;  // the file b\Y.TXT reaches
HANDLE WINAPI TwinOpen(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                       DWORD flags, HANDLE templateFile) {
  std::wstring name = path;
  if (name.size() > 6 && name.compare(name.size() - 6, 6, L"\\Y.TXT") == 0) name = TwinOf;
  return CreateFileW(name.c_str(), access, share, security, disposition, flags, templateFile);
}
void InjectFaults() {
  FileSystem.SetInformation = FailingSetInformation;
  FileSystem.CreateHardLink = FailingLink;
  FileSystem.Move = FailingMove;
  if (Faults.twin) FileSystem.Open = TwinOpen;
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
    Faults = {};
    redundant_ = 0;
    output_ = std::make_unique<CapturedOutput>();
    one_ = Record(L"a\\x.txt", "same");
    two_ = Record(L"b\\y.txt", "same");
  }
  void TearDown() override {
    output_.reset();
    for (const auto& entry : fs::recursive_directory_iterator(dir_))
      SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove_all(dir_);
  }
  void Restart() {
    TearDown();
    ResetProgramState();
    SetUp();
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
    file->record.linkState = LinkState::Single;
    file->record.linkCount = 1;
    return file;
  }
  static BY_HANDLE_FILE_INFORMATION Info(const wchar_t* path) {
    BY_HANDLE_FILE_INFORMATION info = {};
    HANDLE handle = CreateFileW(path, 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    GetFileInformationByHandle(handle, &info);
    CloseHandle(handle);
    return info;
  }
  std::string Output() { return output_->Text(); }  // everything printed since SetUp
  // The pair held as the matching holds it, handed to the action.
  int Act() {
    DuplicatePair pair(&one_->record, &two_->record, false);
    EXPECT_EQ(HoldPair(&pair, RunOptions.Action ? HoldFor::Action : HoldFor::Report), PairProof::Duplicate);
    return ActOnDuplicate(&pair, &redundant_);
  }
  std::vector<std::wstring> Leftovers() {  // names the cases did not make
    std::vector<std::wstring> names, made = {L"x.txt", L"y.txt", L"outside.txt", L"twin.txt"};
    for (const auto& entry : fs::recursive_directory_iterator(dir_))
      if (entry.is_regular_file() && std::count(made.begin(), made.end(), entry.path().filename()) == 0)
        names.push_back(entry.path().filename());
    return names;
  }

  const fs::path dir_ = TempPath(L"actions");
  const std::wstring root_ = L"\\\\?\\" + (dir_ / L"").wstring();
  std::unique_ptr<CapturedOutput> output_;
  std::list<TestFile> files_;
  TestFile *one_ = nullptr, *two_ = nullptr;
  int64_t redundant_ = 0;
};

// Whatever fails, nothing is lost: the kept file is untouched, and the target is as it was, a name of the kept
// file, or an old copy beside it that the line names.
TEST_F(ActionTest, NothingIsLostAndTheErrorIsShown) {
  const std::string aside = "~zav[0-9a-f]{12}\\.old beside it\r\n", gone = " deleting the old copy of file2, " + aside;
  const std::tuple<uint32_t, struct Faults, uint32_t, uint32_t, std::string, const char*> cases[] = {
      // action, faults, links of the kept file and of the target, message, what an old copy left holds
      {ActionDeleteFile2, {L"y.txt"}, 1, 2, " error ACCESS_DENIED deleting file2\r\n", nullptr},
      {ActionLinkFile2, {L"", L".old"}, 1, 2, kNotReplaced, nullptr},            // the target cannot move aside
      {ActionLinkFile2, {L"", L"", L"y.txt"}, 1, 2, kNotReplaced, nullptr},      // nor be linked: it moves back
      {ActionLinkFile2, {L"", L"", L".tmp", L"", true}, 1, 2, kNotReplaced, nullptr},  // a case twin: no new name
      {ActionLinkFile2, {L"", L"", L".old", L"", true}, 1, 2, kNotReplaced, nullptr},  // no second name aside
      {ActionLinkFile2, {L"", L"", L"", L"y.txt", true}, 1, 2, kNotReplaced, nullptr},  // no move
      {ActionLinkFile2, {L"", L"", L"y.txt"}, 1000, 25, kSkip, nullptr},  // the link limit as the records count it
      {ActionLinkFile2, {L"", L"", L"y.txt"}, 1000, 24, kNotReplaced, nullptr},
      {ActionLinkFile2, {L"", L"", L"y.txt"}, 1024, 0, kSkip, nullptr},
      {ActionLinkFile2, {}, 1, 1, kReplaced, nullptr},
      {ActionLinkFile2, {L"", L"", L"", L"", true}, 1, 1, kReplaced, nullptr},  // replaced in one move, then checked
      {ActionLinkFile2, {L".old"}, 1, 1, kReplaced + " error ACCESS_DENIED" + gone, "same"},
      {ActionLinkFile2, {L"", L"", L"", L"", true, true}, 1, 1, kReplaced + " error FILE_INVALID" + gone, "same!"},
      {ActionLinkFile2, {L"", L"y.txt", L"y.txt"}, 1, 1,
       " error ACCESS_DENIED replacing file2: its old copy is " + aside, "same"},  // nor moved back
  };
  for (const auto& [action, faults, keptLinks, targetLinks, message, oldCopy] : cases) {
    SCOPED_TRACE(testing::Message() << message << " rename " << faults.rename.size() << " link "
                                    << faults.link.size() << " twin " << faults.twin);
    Restart();
    // A further name outside the pool: a target left in place must keep counting it.
    CreateHardLinkW((root_ + L"b\\outside.txt").c_str(), two_->path, nullptr);
    TwinOf = Record(L"b\\twin.txt", "other")->path;
    one_->record.linkCount = keptLinks;
    two_->record.linkCount = targetLinks;
    HANDLE file = CreateFileW(two_->path, FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFileTime(file, &kOld, &kOld, &kOld);
    CloseHandle(file);
    SetFileAttributesW(two_->path, kReadOnlyHidden);
    Faults = faults;
    InjectFaults();
    RunOptions.Action = action;
    EXPECT_EQ(Act(), message == kSkip ? 0 : 1);
    EXPECT_TRUE(std::regex_match(Output(), std::regex("a\\\\x\\.txt == b\\\\y\\.txt\r\n" + message)));
    EXPECT_EQ(FileText(one_->path), "same");
    const bool replaced = message.rfind(kReplaced, 0) == 0, removed = replaced && !oldCopy;
    EXPECT_EQ(DeletedCount + ReplacedCount, removed ? 1 : 0);
    EXPECT_EQ(SavedBytes, removed ? 4096 : 0);
    std::vector<std::wstring> left = Leftovers();
    ASSERT_EQ(left.size(), oldCopy ? 1u : 0u);
    if (oldCopy) {
      fs::path old = dir_ / "b" / left[0];
      EXPECT_EQ(FileText(old), oldCopy);
      EXPECT_EQ(GetFileAttributesW(old.c_str()) & kReadOnlyHidden, kReadOnlyHidden);
    }
    if (replaced || oldCopy) {
      EXPECT_EQ(fs::exists(two_->path) && fs::equivalent(one_->path, two_->path), replaced);
      continue;
    }
    EXPECT_EQ(FileText(two_->path), "same");
    BY_HANDLE_FILE_INFORMATION now = Info(two_->path);
    EXPECT_EQ(now.dwFileAttributes & kReadOnlyHidden, kReadOnlyHidden);
    EXPECT_EQ(CompareFileTime(&now.ftLastWriteTime, &kOld), 0);
    EXPECT_FALSE(fs::equivalent(one_->path, two_->path));
    // A target that went through the replacement shows its true link count to later pairs.
    bool replacing = action == ActionLinkFile2 && message != kSkip;
    EXPECT_EQ(LinkCount(&two_->record), replacing ? now.nNumberOfLinks : targetLinks);
  }
}

// The second name of a file held already is one file: its second open fails on the first one's hold.
TEST_F(ActionTest, ASecondNameOfTheHeldFileIsOneFile) {
  CreateHardLinkW((root_ + L"a\\second.txt").c_str(), one_->path, nullptr);
  DuplicatePair pair(&one_->record, &Record(L"a\\second.txt")->record, false);
  EXPECT_EQ(HoldPair(&pair, HoldFor::Action), PairProof::OneFile);
}

// The target heads a group of three names: whichever link fails, each record keeps its file's true count and group.
TEST_F(ActionTest, ADissolvedGroupLeavesSoundRecords) {
  for (const wchar_t* failing : {L"|", L"d3.txt", L"\\y.txt"}) {
    Restart();
    std::vector<TestFile*> names = {two_};
    for (const wchar_t* name : {L"b\\d2.txt", L"b\\d3.txt"}) {
      CreateHardLinkW((root_ + name).c_str(), two_->path, nullptr);
      names.push_back(Record(name));
      JoinLinkGroup(&two_->record, &names.back()->record);
    }
    Faults.link = failing;
    InjectFaults();
    bool targetFails = failing[0] == L'\\';
    RunOptions.Action = ActionLinkFile2;
    DuplicatePair pair(&one_->record, &two_->record, false);
    ASSERT_EQ(HoldPair(&pair, HoldFor::Action), PairProof::Duplicate);
    HeldPair& held = pair.held;
    DuplicateFile target = {&two_->record, two_->path, 2, &held.file[1]};
    EXPECT_EQ(LinkDuplicate(target, {&one_->record, one_->path, 1, &held.file[0]}, &redundant_), 1);
    ReleasePair(&pair);
    EXPECT_EQ(Output(), targetFails ? kNotReplaced : kReplaced);
    for (TestFile* name : names) {
      bool failed = Fails(Faults.link, name->path);
      EXPECT_EQ(FileText(name->path), "same");
      EXPECT_EQ(name->record.linkState, failed ? LinkState::Single : LinkState::Member);
      EXPECT_EQ(name->record.linkGroup, failed ? nullptr : one_->record.linkGroup);
      EXPECT_EQ(LinkCount(&name->record), Info(name->path).nNumberOfLinks);
      EXPECT_EQ(fs::equivalent(name->path, one_->path), !failed);
    }
    EXPECT_EQ(LinkCount(&one_->record), Info(one_->path).nNumberOfLinks);
    EXPECT_EQ(SavedBytes, targetFails ? 0 : 4096);
  }
}

// Which file the rule picks is shown on disk end to end; here is what only records and the seam can set up.
TEST_F(ActionTest, TheFallbackAndTheRefusals) {
  CreateHardLinkW((root_ + L"b\\second.txt").c_str(), two_->path, nullptr);  // file2 really has two links
  // action, already linked, link states, link counts, allocation of file1, target
  const std::tuple<uint32_t, int, LinkState, LinkState, uint32_t, uint32_t, int64_t, uint32_t> cases[] = {
      {ActionDeleteFragmented, 0, kSingle, kHead, 2, 1, 4096, 1},    // the group head is kept, whatever its links
      {ActionDeleteFragmented, 0, kSingle, kSingle, 0, 0, 4096, 1},  // then fewer links go; unread counts are read
      {ActionDeleteFragmented, 0, kSingle, kSingle, 2, 2, 4096, 2},  // a full tie takes file2
      {ActionDeleteAny, 1, kSingle, kSingle, 2, 2, 4096, 0},         // two names of one file: a policy refuses
      {ActionLinkFile1, 0, kHead, kSingle, 1, 1, 4096, 0},           // -h1 only relinks a single link
  };
  DuplicateFile file1 = {&one_->record, one_->path, 1, nullptr}, file2 = {&two_->record, two_->path, 2, nullptr};
  int i = 0;
  for (const auto& [action, linked, state1, state2, links1, links2, alloc1, target] : cases) {
    std::tie(one_->record.linkState, two_->record.linkState) = std::tie(state1, state2);
    std::tie(one_->record.linkCount, two_->record.linkCount) = std::tie(links1, links2);
    one_->record.allocSize = alloc1;
    EXPECT_EQ(ChooseTarget(action, file1, file2, linked), target) << "case " << i++;
  }
}

TEST_F(ActionTest, ThePairLineAndTheFoundData) {
  // link states, replaced by a link; what is printed and counted (== and =hardlink= end to end)
  const std::tuple<LinkState, LinkState, int, const char*, int64_t> cases[] = {
      {kMember, kSingle, 0, "a\\x.txt += b\\y.txt\r\n", 4096},
      {kSingle, kMember, 0, "a\\x.txt =+ b\\y.txt\r\n", 0},
      {kMember, kMember, 0, "a\\x.txt ++ b\\y.txt\r\n", 0},
      {kSingle, kSingle, 1, "", 0},  // replaced: never file2 again
  };
  for (const auto& [state1, state2, replaced, output, redundant] : cases) {
    Restart();
    std::tie(one_->record.linkState, two_->record.linkState, two_->record.replacedByLink) =
        std::tie(state1, state2, replaced);
    EXPECT_EQ(Act(), !replaced);
    EXPECT_EQ(Output(), output);
    EXPECT_EQ(redundant_, redundant) << output;
  }
}
}  // namespace
