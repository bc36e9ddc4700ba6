// Test-only entries set up as the run driver does, then crash: --raise-on-thread faults on a checksum thread
// reading one.bin of the current folder; --out-of-memory fails every allocation, so MemAlloc breaks.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstring>

#include "base/memory.h"
#include "compare/checksum_buffers.h"
#include "compare/checksum_thread.h"
#include "crashdump/crash_dump.h"
#include "run/process_setup.h"
#include "seam/system_calls.h"

static BOOL WINAPI FaultingRead(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) {
  RaiseException(EXCEPTION_ACCESS_VIOLATION, 0, 0, nullptr);
  return FALSE;
}

static LPVOID WINAPI NoMemory(HANDLE, DWORD, SIZE_T) { return nullptr; }

int main(int argc, char** argv) {
  const bool onThread = argc == 2 && strcmp(argv[1], "--raise-on-thread") == 0;
  if (!onThread && (argc != 2 || strcmp(argv[1], "--out-of-memory") != 0)) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
  }
  HardenDllSearch();
  SetUnhandledExceptionFilter(CrashDumpFilter);
  wchar_t programPath[260] = {};
  GetModuleFileNameW(nullptr, programPath, 259);
  GetProgramFolder(programPath);
  ReadProgramVersion(programPath);
  if (!onThread) Process.HeapAlloc = NoMemory;
  InitChecksumBuffers();
  wchar_t path[4 + MAX_PATH] = L"\\\\?\\";
  GetFullPathNameW(L"one.bin", MAX_PATH, path + 4, nullptr);
  FileSystem.Read = FaultingRead;
  uint64_t checksum = 0;
  uint32_t errorCode = 0;
  WaitForSingleObject(StartChecksumThread(path, 5000, &checksum, &errorCode), INFINITE);
  return 1;  // not reached: the crash ends the process
}
