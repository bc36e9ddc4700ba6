// A pool that fills up during a real run: the scan stops with its message, what it took is matched as usual.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdarg>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/run_options.h"
#include "console/output.h"
#include "console/status_line.h"
#include "pool/file_pool.h"
#include "pool/scanner.h"
#include "run/run_main.h"

namespace {
constexpr DWORD kStep = 4096;
// A quarter of the range is what a pool reserves: three page-sized commit steps here.
void WINAPI SmallAddressSpace(LPSYSTEM_INFO info) {
  GetSystemInfo(info);
  info->dwAllocationGranularity = kStep;
  info->lpMaximumApplicationAddress = static_cast<char*>(info->lpMinimumApplicationAddress) + 4 * 3 * kStep;
}

std::wstring shownAtCells;
void CaptureShown(uint32_t, const wchar_t* format, ...) {
  wchar_t text[1025];
  va_list args;
  va_start(args, format);
  wvsprintfW(text, format, args);
  va_end(args);
  shownAtCells += text + std::wstring(L"|");
}

TEST(FullPool, TheScanStopsSaysSoAndTheRecordsItTookAreMatched) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / (L"zav_full_" + std::to_wstring(GetCurrentProcessId()));
  for (int sub = 0; sub < 3; ++sub) {  // the pool fills up two folders down: every level stops
    std::filesystem::create_directories(folder / std::to_wstring(sub) / L"deeper");
    for (int i = 0; i < 60; ++i) std::ofstream(folder / std::to_wstring(sub) / L"deeper" / std::to_wstring(i)) << "x";
  }
  const uint32_t capacity = 3 * kStep / sizeof(FileRecord);  // 128 records on win32, 96 on win64
  ResetRunOptions();
  GetSystemInfoCall = SmallAddressSpace;
  ScanPrintAt = CaptureShown;
  HANDLE reader, writer;
  ASSERT_TRUE(CreatePipe(&reader, &writer, nullptr, 1 << 16));
  SetOutputHandleForTesting(writer);
  std::wstring args[] = {L"zav.exe", folder.wstring(), L"-n"};
  wchar_t* argv[] = {&args[0][0], &args[1][0], &args[2][0]};
  EXPECT_EQ(0, RunMain(3, argv));
  SetOutputHandleForTesting(GetStdHandle(STD_OUTPUT_HANDLE));
  GetSystemInfoCall = GetSystemInfo;
  ScanPrintAt = PrintAt;
  std::string text(1 << 16, '\0');
  DWORD size = 0;
  PeekNamedPipe(reader, &text[0], DWORD(text.size()), &size, nullptr, nullptr);
  text.resize(size);
  CloseHandle(reader);
  CloseHandle(writer);
  std::filesystem::remove_all(folder);

  const std::string full = std::to_string(capacity) + " files -> out of memory -> cancel";
  EXPECT_NE(std::string::npos, shownAtCells.find(std::wstring(full.begin(), full.end()) + L"|")) << "at the count's cell";
  EXPECT_NE(std::string::npos, text.find("scanning file pool: " + full + "\r\n")) << "and, redirected, as a line";
  EXPECT_NE(std::string::npos, text.find("\r\nMatching " + std::to_string(capacity) + " files...\r\n")) << text;
  EXPECT_NE(std::string::npos, text.find("\r\n" + std::to_string(capacity - 1) + " pairs tested\r\n")) << text;
}
}  // namespace
