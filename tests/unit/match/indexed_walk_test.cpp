// A run of one size walked through its index must do what the walk pair by pair does, byte for byte: the
// same report, counts and summary, and the same tree afterwards, under the options and actions it must follow.
#include <functional>
#include <random>
#include <regex>
#include <set>

#include "compare/checksum_buffers.h"
#include "match/sort.h"
#include "pool/file_pool.h"
#include "pool/scanner.h"
#include "../test_support.h"

namespace fs = std::filesystem;

namespace {
bool NameHas(LPCWSTR path, const wchar_t* part) { return wcsstr(path, part) != nullptr; }

// "locked" files can never be opened; a "vanish" file is deleted by someone else as it is first opened.
HANDLE WINAPI HostileOpen(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE templateFile) {
  if (NameHas(path, L"locked")) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return INVALID_HANDLE_VALUE;
  }
  if (NameHas(path, L"vanish")) DeleteFileW(path);
  return CreateFileW(path, access, share, security, disposition, flags, templateFile);
}

// A "nolink" name cannot be made a hard link: the hard-link actions must put the file back.
BOOL WINAPI HostileHardLink(LPCWSTR link, LPCWSTR existing, LPSECURITY_ATTRIBUTES security) {
  if (NameHas(link, L"nolink")) {
    SetLastError(ERROR_TOO_MANY_LINKS);
    return FALSE;
  }
  return CreateHardLinkW(link, existing, security);
}

// Runs of several sizes: mostly different files, groups of copies (within a folder, across folders and
// across the two subtrees), hard links, names met in several folders, files that cannot be read or vanish.
void MakeTree(const fs::path& root) {
  std::mt19937 random(2024);
  std::vector<fs::path> made;
  int copies = 0;
  auto content = [&](size_t size, uint32_t id, std::string bytes = {}) {
    for (std::mt19937 fill(id); bytes.size() < size;) bytes += char(fill());
    return bytes;
  };
  const fs::path folders[] = {root / "a", root / "a" / "sub", root / "a" / "x", root / "b", root / "b" / "y",
                              root / "b" / "deep" / "er"};
  for (const fs::path& folder : folders) fs::create_directories(folder);
  const struct { size_t size; int files; } runs[] = {{300, 130}, {20000, 50}, {5, 3}, {7, 2}, {9000, 12}};
  // Two copies, each with other names, met after the first file of the run: relinking the one with fewer
  // names fails for its other name, which is left a file of its own after the walk has met it as a member.
  std::ofstream(root / "a" / "aaa_first_300.bin", std::ios::binary) << content(300, 999);
  std::ofstream(root / "a" / "hub_300.bin", std::ios::binary) << content(300, 0);
  fs::create_hard_link(root / "a" / "hub_300.bin", root / "a" / "x" / "hub_300.bin");
  fs::create_hard_link(root / "a" / "hub_300.bin", root / "b" / "hub_300.bin");
  std::ofstream(root / "b" / "copyhub_300.bin", std::ios::binary) << content(300, 0);
  fs::create_hard_link(root / "b" / "copyhub_300.bin", root / "b" / "y" / "nolinkhub_300.bin");
  uint32_t nextId = 1000;
  for (const auto& run : runs) {
    for (int i = 0; i < run.files; ++i) {
      const fs::path& folder = folders[random() % 6];
      std::string name = random() % 4 == 0 ? "same" + std::to_string(random() % 3) : "f" + std::to_string(i);
      if (i % 47 == 5) name = "locked" + std::to_string(i);
      if (i % 53 == 7) name = "vanish" + std::to_string(i);
      fs::path path = folder / (name + "_" + std::to_string(run.size) + ".bin");
      if (fs::exists(path)) continue;
      // Other names of a few files, so that groups of three or more names form, within and across folders.
      if (made.size() > 8 && random() % 9 == 0) {
        fs::path existing = made[random() % 3 + (run.size == 300 ? 0 : made.size() - 8)];
        if (fs::file_size(existing) == run.size && !NameHas(existing.c_str(), L"locked")) {
          std::string nolink = "nolink" + std::to_string(i) + "_" + std::to_string(run.size) + ".bin";
          fs::create_hard_link(existing, random() % 2 ? path : folder / nolink);
          continue;
        }
      }
      // One file in five is a copy of one of a few contents, and so are the first files, which get other names
      // too; the rest are all different.
      uint32_t id = random() % 5 == 0 || i < 3 ? uint32_t(random() % 6) : nextId++;
      copies += id < 6;
      std::string bytes = content(run.size, id);
      // Files of one content that differ only in their middle byte: equal under test blocks at the ends only.
      if (run.size == 20000 && id >= 1000 && random() % 4 == 0) {
        bytes = content(run.size, 3);
        bytes[10000] ^= 1;
      }
      std::ofstream(path, std::ios::binary) << bytes;
      made.push_back(path);
    }
  }
  ASSERT_GT(copies, 20);
}

// Every file of the tree with its size, its content's hash and its link count, one line each.
std::string ListTree(const fs::path& root) {
  std::set<std::string> lines;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    std::string line = entry.path().lexically_relative(root).generic_string(), bytes = FileText(entry.path());
    if (entry.is_regular_file())
      line += " " + std::to_string(bytes.size()) + " " + std::to_string(std::hash<std::string>()(bytes)) + " " +
              std::to_string(fs::hard_link_count(entry.path()));
    lines.insert(line);
  }
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

struct Case {
  const char* label; bool twoPools; std::function<void()> options;
  int64_t fewestPairs = 2000;  // that the plain walk tests: a case that reaches few proves little
};

class IndexedWalk : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override { InitChecksumBuffers(); }
  void TearDown() override {
    FreeChecksumBuffers();
    fs::remove_all(root_);
  }

  // Output (the duration masked) and the tree afterwards, of one walk on a fresh tree.
  std::string Walk(uint32_t indexedRunMinimum) {
    fs::remove_all(root_);
    MakeTree(root_);
    ResetProgramState();  // the walk before left its options, counters and faults
    RunOptions.SameVolume = 1;
    RunOptions.ParallelRead = 0;
    GetParam().options();
    const bool two = GetParam().twoPools;
    const std::wstring root = root_.wstring() + L"\\";
    const std::wstring folders[] = {two ? root + L"a\\" : root, two ? root + L"b\\" : root};
    RunOptions.SameSearchFolder = !two;
    lstrcpyW(SearchFolder1, folders[0].c_str());
    lstrcpyW(SearchFolder2, folders[1].c_str());
    FilePool pools[2] = {};
    for (int i = 0; i < (two ? 2 : 1); ++i) {
      InitFilePool(&pools[i], {folders[i].c_str(), L"*", 1, 0, 0, 0, 0});
      ScanFolder(&pools[i], pools[i].rootDir);
      SortPool(&pools[i]);
    }
    const FilePool& second = pools[two ? 1 : 0];

    CapturedOutput output;
    FileSystem.Open = HostileOpen;
    FileSystem.CreateHardLink = HostileHardLink;
    SetIndexedRunMinimumForTesting(indexedRunMinimum);
    uint32_t found = MatchPools(pools[0].records, pools[0].count, second.records, second.count, 1);
    for (FilePool& pool : pools) ReleaseFilePool(&pool);
    std::string text = std::regex_replace(output.Text(), std::regex(" in [0-9.]+ [A-Za-z]+\r\n"), " in T\r\n");
    return text + "found " + std::to_string(found) + "\n" + ListTree(root_);
  }

  fs::path root_ = TempPath(L"walk");
};

TEST_P(IndexedWalk, DoesWhatThePlainWalkDoes) {
  std::string plain = Walk(UINT32_MAX);
  EXPECT_EQ(plain, Walk(2)) << "plain walk first";  // on a mismatch gtest shows the lines that differ
  // The case must reach many pairs, or it proves nothing.
  std::smatch tested;
  ASSERT_TRUE(std::regex_search(plain, tested, std::regex("([0-9,]+) pairs tested")));
  EXPECT_GE(std::stoll(std::regex_replace(tested[1].str(), std::regex(","), "")), GetParam().fewestPairs) << plain;
}

INSTANTIATE_TEST_SUITE_P(
    Options, IndexedWalk,
    // Each case catches a fault of the index that the others miss: what is counted, two pools, records changed.
    ::testing::Values(
        Case{"report", false, [] {}}, Case{"same_name_only", false, [] { RunOptions.SameNameOnly = 1; }, 20},
        Case{"hardlinks1_two_pools", true, [] { RunOptions.FindHardlinks1 = 1; }},
        Case{"test_blocks", false, [] { RunOptions.TestBlockSize = 8192; }},
        Case{"delete_shorter_name", false, [] { RunOptions.Action = ActionDeleteShorterName; }},
        Case{"link", false, [] { RunOptions.Action = ActionLinkFragmented; }}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.label); });
}  // namespace
