// The test program's entry. Besides the unit tests it has two test-only entries, reachable from no command
// line of zav.exe, that crash the process for real the way the program would:
//   --raise-on-thread  an access violation on a checksum thread (its file read faults) while the main
//                      thread waits for it, as the matching waits for the two threads of a pair;
//   --out-of-memory    every heap allocation fails, so MemAlloc gives up through its breakpoint.
// Both set the process up as the run driver does, so the dump goes beside this program.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstring>

#include "compare/checksum_buffers.h"
#include "compare/checksum_thread.h"
#include "crashdump/crash_dump.h"
#include "pool/memory.h"
#include "run/process_setup.h"
#include "seam/file_system.h"

namespace {
void SetUpLikeTheRunDriver() {
  HardenDllSearch();
  SetUnhandledExceptionFilter(CrashDumpFilter);
  wchar_t programPath[260];
  DWORD length = GetModuleFileNameW(nullptr, programPath, 260);
  programPath[length < 260 ? length : 0] = 0;
  GetProgramFolder(programPath);
  ReadProgramVersion(programPath);
}

// The file the checksum thread reads: \\?\ and a temporary file, as the matching hands paths on.
wchar_t ProbePath[4 + MAX_PATH];

// A crashed process cleans nothing up, so the file goes before the fault.
BOOL WINAPI FaultingRead(HANDLE file, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) {
  CloseHandle(file);
  DeleteFileW(ProbePath);
  // Volatile on both sides, or the compiler drops a store it can prove faults.
  volatile int* volatile target = nullptr;
  *target = 1;
  return FALSE;
}

bool WriteProbeFile(int64_t size) {
  wchar_t folder[MAX_PATH];
  lstrcpyW(ProbePath, L"\\\\?\\");
  if (!GetTempPathW(MAX_PATH, folder) || !GetTempFileNameW(folder, L"zav", 0, ProbePath + 4)) return false;
  HANDLE file = CreateFileW(ProbePath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char bytes[4096] = {'x'};
  DWORD written = 0;
  bool ok = true;
  for (int64_t left = size; ok && left > 0; left -= written)
    ok = WriteFile(file, bytes, static_cast<DWORD>(left < 4096 ? left : 4096), &written, nullptr) && written;
  CloseHandle(file);
  return ok;
}

int RaiseOnThread() {
  SetUpLikeTheRunDriver();
  InitChecksumBuffers();
  const int64_t size = 5000;
  if (!WriteProbeFile(size)) return 1;
  FileSystem.Read = FaultingRead;
  uint64_t checksum = 0;
  uint32_t errorCode = 0;
  HANDLE thread = StartChecksumThread(ProbePath, size, &checksum, &errorCode);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  DeleteFileW(ProbePath);
  return 0;  // not reached: the crash ends the process
}

LPVOID WINAPI NoMemory(HANDLE, DWORD, SIZE_T) { return nullptr; }

int RunOutOfMemory() {
  SetUpLikeTheRunDriver();
  HeapAllocCall = NoMemory;
  MemAlloc(64);
  return 0;  // not reached
}
}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && strcmp(argv[1], "--raise-on-thread") == 0) return RaiseOnThread();
  if (argc == 2 && strcmp(argv[1], "--out-of-memory") == 0) return RunOutOfMemory();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
