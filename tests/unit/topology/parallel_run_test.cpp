// A whole run over two real trees, one on C: and one on Z:, once with C: made out to be a disk of its own
// (parallel) and once on Wine's one disk (sequential). The two runs must print the same lines apart from the
// drive verdict. Listening at the scanner's progress output and at the checksum opens shows which threads did
// the work; in the parallel run the first two threads of each kind are held until both have arrived, so a
// run that passes has had them working at the same time.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "captured_output.h"
#include "console/control.h"
#include "console/status_line.h"
#include "fake_devices.h"
#include "pool/scanner.h"
#include "run/options.h"
#include "run/run_main.h"
#include "seam/file_system.h"
#include "topology/wide_text.h"

namespace {
const char kParallelLine[] = "Files are located on different physical drives -> parallel operation\r\n";
const char kSequentialLine[] = "Files are located on the same physical drive -> sequential operation\r\n";
// A bound on holding a thread back, so that a run without a second thread fails instead of hanging.
const DWORD kMeetingBoundMs = 30000;

// The first two callers of Arrive wait for each other; later callers pass. Only a second thread can end the
// first one's wait, so met() proves that two threads were inside at once.
class Meeting {
 public:
  Meeting() : bothIn_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~Meeting() { CloseHandle(bothIn_); }
  void Arrive() {
    LONG order = InterlockedIncrement(&arrivals_);
    if (order == 2) SetEvent(bothIn_);
    if (order == 1) met_ = WaitForSingleObject(bothIn_, kMeetingBoundMs) == WAIT_OBJECT_0;
  }
  bool met() const { return met_; }

 private:
  HANDLE bothIn_;
  volatile LONG arrivals_ = 0;
  volatile bool met_ = false;
};

// What the scanner and the checksum routines did during one run, and on which threads.
struct RunLog {
  RunLog() { InitializeCriticalSection(&lock); }
  ~RunLog() { DeleteCriticalSection(&lock); }
  void Note(std::vector<std::pair<DWORD, std::wstring>>* list, const std::wstring& what) {
    EnterCriticalSection(&lock);
    list->emplace_back(GetCurrentThreadId(), what);
    LeaveCriticalSection(&lock);
  }
  CRITICAL_SECTION lock;
  bool holdThreads = false;  // meet the first two scan threads and the first two checksum threads
  Meeting scanMeeting, checksumMeeting;
  std::vector<std::pair<DWORD, std::wstring>> scanPrints;     // thread, text shown
  std::vector<std::pair<DWORD, std::wstring>> checksumOpens;  // thread, path
  const CapturedOutput* output = nullptr;
  volatile LONG firstScanPrint = 0;
  std::string outputAtFirstScanPrint;
};

RunLog* Log = nullptr;

void ListenToScanner(uint32_t cell, const wchar_t* format, ...) {
  wchar_t text[1024];
  va_list args;
  va_start(args, format);
  wvsprintfW(text, format, args);
  va_end(args);
  if (InterlockedExchange(&Log->firstScanPrint, 1) == 0) Log->outputAtFirstScanPrint = Log->output->Text();
  Log->Note(&Log->scanPrints, text);
  if (Log->holdThreads) Log->scanMeeting.Arrive();
  PrintAt(cell, L"%s", text);
}

HANDLE WINAPI ListenToOpen(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                           DWORD disposition, DWORD flags, HANDLE templateFile) {
  // Unbuffered reads are the checksum's; the other opens (allocation size, byte compare) are not counted.
  if (flags & FILE_FLAG_NO_BUFFERING) {
    Log->Note(&Log->checksumOpens, path);
    if (Log->holdThreads) Log->checksumMeeting.Arrive();
  }
  return CreateFileW(path, access, share, security, disposition, flags, templateFile);
}

std::wstring VolumeNameOf(const wchar_t* root) {
  wchar_t name[64] = {};
  GetVolumeNameForVolumeMountPointW(root, name, 64);
  StripTrailingChar(name, L'\\');
  return name;
}

std::string Bytes(size_t size, unsigned seed) {
  std::string bytes(size, 0);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + seed * 7919 + (i >> 9)) & 0xFF);
  return bytes;
}

std::set<DWORD> ThreadsOf(const std::vector<std::pair<DWORD, std::wstring>>& list) {
  std::set<DWORD> threads;
  for (const auto& entry : list) threads.insert(entry.first);
  return threads;
}

std::vector<std::wstring> SortedPaths(const std::vector<std::pair<DWORD, std::wstring>>& list) {
  std::vector<std::wstring> paths;
  for (const auto& entry : list) paths.push_back(entry.second);
  std::sort(paths.begin(), paths.end());
  return paths;
}

// The run time at the end of the summary line differs from run to run.
std::string WithoutDuration(std::string text) {
  size_t line = text.find(" of redundant data found in ");
  if (line == std::string::npos) return text;
  size_t end = text.find("\r\n", line);
  size_t in = text.rfind(" in ", end);
  return text.replace(in, end - in, " in <time>");
}

std::string Without(std::string text, const std::string& part) {
  size_t at = text.find(part);
  return at == std::string::npos ? text : text.erase(at, part.size());
}

// Pool 1 on C: (the temporary folder), pool 2 on Z:. Duplicates across the pools, one file of pool 1 that
// matches two of pool 2 (so its second pair starts one checksum thread only), equal sizes with different
// content, and sizes found on one side only.
class ParallelRun : public ::testing::TestWithParam<const wchar_t*> {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring suffix = L"zav-parallel-" + std::to_wstring(GetCurrentProcessId());
    folderC = std::wstring(temp) + suffix;
    folderZ = L"Z:\\tmp\\" + suffix;
    ASSERT_EQ(L'C', folderC[0]);
    Write(folderC + L"\\same.bin", Bytes(20000, 1));
    Write(folderC + L"\\sub\\second.bin", Bytes(30000, 2));
    Write(folderC + L"\\differs.bin", Bytes(20480, 3));
    Write(folderC + L"\\only1.txt", Bytes(123, 4));
    Write(folderZ + L"\\copy.bin", Bytes(20000, 1));
    Write(folderZ + L"\\deep\\er\\copy again.bin", Bytes(20000, 1));
    Write(folderZ + L"\\second copy.bin", Bytes(30000, 2));
    Write(folderZ + L"\\differs too.bin", Bytes(20480, 5));
    Write(folderZ + L"\\only2.txt", Bytes(77, 6));
    RemoveFakeMachine();
    ResetRunOptions();
    CancelRequested = 0;
  }
  void TearDown() override {
    ScanPrintAt = PrintAt;
    RestoreFileSystemCalls();
    RemoveFakeMachine();
    ResetRunOptions();
    for (auto it = created.rbegin(); it != created.rend(); ++it)
      if (!DeleteFileW(it->c_str())) RemoveDirectoryW(it->c_str());
  }
  void Write(const std::wstring& path, const std::string& bytes) {
    for (size_t slash = path.find(L'\\', 3); slash != std::wstring::npos; slash = path.find(L'\\', slash + 1)) {
      std::wstring folder = path.substr(0, slash);
      if (CreateDirectoryW(folder.c_str(), nullptr)) created.push_back(folder);
    }
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    created.push_back(path);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
  }
  // C: on a disk of its own or on Z:'s disk 0; Wine's volumes answer for everything else.
  void PutDriveCOnDisk(int32_t disk) {
    RemoveFakeMachine();
    Machine.deviceNumbers[VolumeNameOf(L"C:\\")] = disk;
    Machine.deviceNumbers[VolumeNameOf(L"Z:\\")] = 0;
    Machine.busTypes[L"\\\\.\\PhysicalDrive0"] = 3;
    Machine.busTypes[L"\\\\.\\PhysicalDrive1"] = 3;
    InstallFakeMachine(true);
  }
  // The run's output after the banner line; the log tells what ran where.
  std::string Run(RunLog* log, int* exitCode) {
    CapturedOutput output;
    log->output = &output;
    Log = log;
    ScanPrintAt = ListenToScanner;
    FileSystem.Open = ListenToOpen;
    ResetRunOptions();
    std::wstring program = L"zav.exe", noWait = L"-n", extra = GetParam();
    std::vector<wchar_t*> argv = {program.data(), folderC.data(), folderZ.data(), noWait.data()};
    if (!extra.empty()) argv.push_back(extra.data());
    argv.push_back(nullptr);
    *exitCode = RunMain(static_cast<int>(argv.size() - 1), argv.data());
    ScanPrintAt = PrintAt;
    RestoreFileSystemCalls();
    Log = nullptr;
    std::string text = output.Text();
    return text.substr(text.find("\r\n") + 2);
  }
  std::wstring folderC, folderZ;
  std::vector<std::wstring> created;
};

TEST_P(ParallelRun, TwoDrivesWorkOnTwoThreadsAndPrintWhatOneAfterTheOtherPrints) {
  const DWORD mainThread = GetCurrentThreadId();

  PutDriveCOnDisk(0);
  RunLog sequential;
  int sequentialExit = -1;
  std::string sequentialText = Run(&sequential, &sequentialExit);
  EXPECT_EQ(0, RunOptions.ParallelRead);

  PutDriveCOnDisk(1);
  RunLog parallel;
  parallel.holdThreads = true;
  int parallelExit = -1;
  std::string parallelText = Run(&parallel, &parallelExit);
  EXPECT_EQ(1, RunOptions.ParallelRead);

  // The same lines but for the verdict; three files of pool 2 are found identical.
  ASSERT_NE(std::string::npos, sequentialText.find(kSequentialLine)) << sequentialText;
  ASSERT_NE(std::string::npos, parallelText.find(kParallelLine)) << parallelText;
  EXPECT_EQ(WithoutDuration(Without(sequentialText, kSequentialLine)),
            WithoutDuration(Without(parallelText, kParallelLine)));
  EXPECT_NE(std::string::npos, parallelText.find("Matching 4 with 5 files...\r\n")) << parallelText;
  EXPECT_NE(std::string::npos, parallelText.find(" in 3 files in ")) << parallelText;
  EXPECT_EQ(0, sequentialExit);
  EXPECT_EQ(0, parallelExit);

  // Scanning: one thread after the other, pool 2 labelled only once pool 1 is done; or both labels first and
  // both scan threads at work together.
  EXPECT_EQ(std::string::npos, sequential.outputAtFirstScanPrint.find("scanning file pool 2: "));
  EXPECT_NE(std::string::npos, parallel.outputAtFirstScanPrint.find("scanning file pool 1: \r\nscanning file pool 2: "))
      << parallel.outputAtFirstScanPrint;
  EXPECT_TRUE(parallel.scanMeeting.met());
  std::set<DWORD> scanThreads = ThreadsOf(parallel.scanPrints);
  EXPECT_EQ(2u, scanThreads.size());
  EXPECT_EQ(0u, scanThreads.count(mainThread));

  // Checksums: every file read once in both runs; on the matching thread one after the other, or on
  // checksum threads, the first pair's two at once.
  ASSERT_FALSE(sequential.checksumOpens.empty());
  EXPECT_EQ(SortedPaths(sequential.checksumOpens), SortedPaths(parallel.checksumOpens));
  EXPECT_EQ(std::set<DWORD>{mainThread}, ThreadsOf(sequential.checksumOpens));
  EXPECT_TRUE(parallel.checksumMeeting.met());
  std::set<DWORD> checksumThreads = ThreadsOf(parallel.checksumOpens);
  EXPECT_GE(checksumThreads.size(), 2u);
  EXPECT_EQ(0u, checksumThreads.count(mainThread));
}

// Whole-file checksums, and test blocks (files above 8 KiB).
INSTANTIATE_TEST_SUITE_P(Checksums, ParallelRun, ::testing::Values(L"", L"-t:8K"));
}  // namespace
