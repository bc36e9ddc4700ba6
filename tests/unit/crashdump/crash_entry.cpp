// The test program's entry. Besides the unit tests it has two test-only entries, reachable from no command
// line of zav.exe, that crash the process for real the way the program would:
//   --raise-on-thread  an access violation on a worker thread while the main thread waits for it, as a
//                      checksum thread would fail while the matching waits for both of its threads;
//   --out-of-memory    every heap allocation fails, so MemAlloc gives up through its breakpoint.
// Both set the process up as the run driver does, so the dump goes beside this program.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstring>

#include "crashdump/crash_dump.h"
#include "pool/memory.h"
#include "run/process_setup.h"

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

DWORD WINAPI FaultingThread(void*) {
  // Volatile on both sides, or the compiler drops a store it can prove faults.
  volatile int* volatile target = nullptr;
  *target = 1;
  return 0;
}

int RaiseOnThread() {
  SetUpLikeTheRunDriver();
  HANDLE thread = StartThread(FaultingThread, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
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
