// The process set-up and whole runs in this process on trees in the temp folder.
#include <tuple>

#include "run/process_setup.h"
#include "run/run_main.h"
#include "../test_support.h"

namespace {
// First of the file: a run restricts the search order for the rest of the process.
TEST(DllSearch, CurrentFolderIsNoLongerSearched) {
  wchar_t system[MAX_PATH], temp[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  GetTempPathW(MAX_PATH, temp);
  const std::wstring name = L"zav_planted_" + std::to_wstring(GetCurrentProcessId()) + L".dll";
  ASSERT_TRUE(CopyFileW((std::wstring(system) + L"\\version.dll").c_str(), (temp + name).c_str(), FALSE));
  SetCurrentDirectoryW(temp);
  HMODULE before = LoadLibraryW(name.c_str());
  EXPECT_NE(before, nullptr) << "a DLL planted in the current folder loads before the search order is restricted";
  FreeLibrary(before);
  HardenDllSearch();
  EXPECT_EQ(LoadLibraryW(name.c_str()), nullptr);
  DeleteFileW((temp + name).c_str());
}

// A run with these words after the program name: its exit code and what it printed.
std::pair<int, std::string> RunZav(std::vector<std::wstring> words) {
  words.insert(words.begin(), L"zav.exe");
  Argv args(words);
  CapturedOutput output;
  int code = RunMain(args.Count(), args.Data());
  return {code, output.Text()};
}

constexpr DWORD kStep = 4096;
// A quarter of the range is what a pool reserves: three page-sized commit steps here.
void WINAPI SmallAddressSpace(LPSYSTEM_INFO info) {
  GetSystemInfo(info);
  info->dwAllocationGranularity = kStep;
  info->lpMaximumApplicationAddress = static_cast<char*>(info->lpMinimumApplicationAddress) + 4 * 3 * kStep;
}

std::wstring shownAtCells;
void CaptureShown(uint32_t, const wchar_t* text) { shownAtCells += text + std::wstring(L"|"); }

TEST(FullPool, TheScanStopsSaysSoAndTheRecordsItTookAreMatched) {
  const std::filesystem::path folder = TempPath(L"full");
  for (int sub = 0; sub < 3; ++sub) {  // the pool fills up two folders down: every level stops
    for (int i = 0; i < 60; ++i) PutFile(folder / std::to_wstring(sub) / L"deeper" / std::to_wstring(i), "x");
  }
  // The pool commits whole steps inside the slots it reserved: 93 records on win32, 78 on win64.
  const uint32_t reserved = uint32_t(3 * kStep / sizeof(FileRecord) * sizeof(FileRecord));
  const uint32_t capacity = reserved / kStep * kStep / sizeof(FileRecord);
  Process.GetSystemInfo = SmallAddressSpace;
  ConsoleScreen.ShownAt = CaptureShown;
  const auto [code, text] = RunZav({folder.wstring(), L"-n"});
  std::filesystem::remove_all(folder);

  EXPECT_EQ(code, 0);
  const std::string full = std::to_string(capacity) + " files -> out of memory -> cancel";
  EXPECT_NE(std::string::npos, shownAtCells.find(std::wstring(full.begin(), full.end()) + L"|")) << "at its cell";
  EXPECT_NE(std::string::npos, text.find("scanning file pool: " + full + "\r\n")) << "and, redirected, as a line";
  EXPECT_NE(std::string::npos, text.find("\r\nMatching " + std::to_string(capacity) + " files...\r\n")) << text;
  EXPECT_NE(std::string::npos, text.find("\r\n" + std::to_string(capacity - 1) + " pairs tested\r\n")) << text;
}

// Deleting file1 or file2 looks for the other names of that file in its pool: a copy with three names there
// loses all but its last, the copy in the other pool stays.
TEST(DeleteAction, TheOtherNamesOfItsFileGoToo) {
  const std::filesystem::path folder = TempPath(L"names");
  const std::tuple<const wchar_t*, const wchar_t*, std::string> cases[] = {
      {L"-d1", L"p1", "f == f\r\n file1 deleted\r\nu += f\r\n file1 deleted\r\n1 pairs tested\r\n"},
      {L"-d2", L"p2", "f == f\r\n file2 deleted\r\nf =+ u\r\n file2 deleted\r\n1 pairs tested\r\n"},
  };
  for (const auto& [option, names, lines] : cases) {
    SCOPED_TRACE(testing::Message() << option);
    ResetProgramState();
    for (const wchar_t* pool : {L"p1", L"p2"}) PutFile(folder / pool / L"f", "same content");
    for (const wchar_t* link : {L"u", L"v"})
      CreateHardLinkW((folder / names / link).c_str(), (folder / names / L"f").c_str(), nullptr);
    const auto [code, text] = RunZav({(folder / L"p1").wstring(), (folder / L"p2").wstring(), option, L"-n"});
    EXPECT_EQ(code, 0);
    EXPECT_NE(std::string::npos, text.find("...\r\n" + lines)) << text;
    EXPECT_NE(std::string::npos, text.find("\r\n2 files deleted saving 24 Bytes\r\n")) << text;
    const std::wstring other = names[1] == L'1' ? L"p2" : L"p1";
    for (const auto& [path, left] : {std::pair(folder / names / L"f", "<gone>"), {folder / names / L"u", "<gone>"},
                                     {folder / names / L"v", "same content"}, {folder / other / L"f", "same content"}})
      EXPECT_EQ(FileText(path), left) << path;
    std::filesystem::remove_all(folder);
  }
}
}  // namespace
