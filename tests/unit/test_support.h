#pragma once
// What several unit tests need: the program's state put back around every test, files of their own in the
// temp folder, what the program prints, an argv.
#include <windows.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "actions/action_counters.h"
#include "base/run_options.h"
#include "base/system_facts.h"
#include "console/console_state.h"
#include "console/output.h"
#include "match/match_pools.h"
#include "seam/system_calls.h"
#include "topology/virtual_disk.h"

// An open that fails with OpenFailure: a file that cannot be opened.
inline DWORD OpenFailure = ERROR_ACCESS_DENIED;
inline HANDLE WINAPI FailingOpen(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
  SetLastError(OpenFailure);
  return INVALID_HANDLE_VALUE;
}

// The settings, the counters, the system facts and every entry of the system-call table as at start; a VirtDisk
// loaded through a faked entry is forgotten, or later tests would call the fake.
inline void ResetProgramState() {
  RestoreSystemCalls();
  ForgetVirtDisk();
  SystemVersion = {};
  ResetRunOptions();
  SetIndexedRunMinimumForTesting(kIndexedRunMinimum);
  DeletedCount = RenamedCount = ReplacedCount = 0;
  SavedBytes = 0;
  CancelRequested = 0;
  OpenFailure = ERROR_ACCESS_DENIED;
}

// Around every test of the process, so that no test restores by hand and one that fails half-way leaves nothing
// behind for the next.
class ResetAroundEveryTest : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override { ResetProgramState(); }
  void OnTestEnd(const ::testing::TestInfo&) override { ResetProgramState(); }
};
inline const bool kResetsAroundEveryTest =
    (::testing::UnitTest::GetInstance()->listeners().Append(new ResetAroundEveryTest), true);

// A path of this test process in the temp folder: the two builds' tests may run at once.
inline std::filesystem::path TempPath(const std::wstring& name) {
  return std::filesystem::temp_directory_path() / (L"zav_" + name + L"_" + std::to_wstring(GetCurrentProcessId()));
}

inline void PutFile(const std::filesystem::path& path, const std::string& content) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

// A file's bytes; "<gone>" when it cannot be opened.
inline std::string FileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<gone>";
}

// What the program prints while this lives, in its redirected form, caught in a file that any thread may read.
class CapturedOutput {
 public:
  CapturedOutput() {
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const std::filesystem::path path = TempPath(L"output" + std::to_wstring(++count_));
    write_ = CreateFileW(path.c_str(), GENERIC_WRITE, share, nullptr, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, 0);
    read_ = CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
    SetOutputHandleForTesting(write_);
  }
  ~CapturedOutput() {
    SetOutputHandleForTesting(GetStdHandle(STD_OUTPUT_HANDLE));
    CloseHandle(read_);
    CloseHandle(write_);
  }
  std::string Text() {  // everything printed so far
    LARGE_INTEGER size = {};
    GetFileSizeEx(read_, &size);
    std::string text(size_t(size.QuadPart), '\0');
    DWORD read = 0;
    OVERLAPPED start = {};
    if (!text.empty()) ReadFile(read_, &text[0], DWORD(text.size()), &read, &start);
    return text.substr(0, read);
  }
  std::string Take() {  // what was printed since the last call
    std::string text = Text().substr(taken_);
    taken_ += text.size();
    return text;
  }

 private:
  static inline int count_ = 0;
  HANDLE write_, read_;
  size_t taken_ = 0;
};

// Words as a program's argv.
struct Argv {
  Argv(std::vector<std::wstring> words) : words(std::move(words)) {
    for (std::wstring& word : this->words) pointers.push_back(&word[0]);
  }
  Argv(const Argv&) = delete;  // the pointers are into this one's words
  int Count() const { return int(pointers.size()); }
  wchar_t** Data() { return pointers.data(); }
  std::vector<std::wstring> words;
  std::vector<wchar_t*> pointers;
};
