// A pool that fills up during a real run: the scan stops with its message, what it took is matched as usual.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "run/run_main.h"
#include "seam/system_calls.h"
#include "../test_support.h"

namespace {
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
  std::string text;
  {
    CapturedOutput output;
    Argv args({L"zav.exe", folder.wstring(), L"-n"});
    EXPECT_EQ(0, RunMain(args.Count(), args.Data()));
    text = output.Text();
  }
  std::filesystem::remove_all(folder);

  const std::string full = std::to_string(capacity) + " files -> out of memory -> cancel";
  EXPECT_NE(std::string::npos, shownAtCells.find(std::wstring(full.begin(), full.end()) + L"|")) << "at the count's cell";
  EXPECT_NE(std::string::npos, text.find("scanning file pool: " + full + "\r\n")) << "and, redirected, as a line";
  EXPECT_NE(std::string::npos, text.find("\r\nMatching " + std::to_string(capacity) + " files...\r\n")) << text;
  EXPECT_NE(std::string::npos, text.find("\r\n" + std::to_string(capacity - 1) + " pairs tested\r\n")) << text;
}
}  // namespace
