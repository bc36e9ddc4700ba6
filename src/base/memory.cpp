#include "base/memory.h"

#include <cwchar>

#include "base/file_system_view.h"
#include "seam/system_calls.h"

namespace {
HANDLE ProcessHeap() {
  // GetProcessHeap always answers the same handle, so a race on first use is harmless.
  static HANDLE heap = GetProcessHeap();
  return heap;
}
}  // namespace

void* MemAlloc(size_t size) {
  for (;;) {
    void* block = Process.HeapAlloc(ProcessHeap(), HEAP_ZERO_MEMORY, size);
    if (block) return block;
    // Out of memory is not recoverable here: make it audible, then stop in the debugger or the crash dump.
    // A debugger that continues the breakpoint gets the allocation tried again.
    Sleep(500);
    Process.Beep(1000, 3000);
    DebugBreak();
  }
}

void MemFree(void* block) {
  if (block) HeapFree(ProcessHeap(), 0, block);
}

wchar_t* DupString(const wchar_t* text) {
  size_t units = wcslen(text) + 1;
  wchar_t* copy = static_cast<wchar_t*>(MemAlloc(units * sizeof(wchar_t)));
  wmemcpy(copy, text, units);
  return copy;
}

namespace {
struct ThreadStart {
  LPTHREAD_START_ROUTINE routine;
  void* parameter;
};

DWORD WINAPI RunWithProgramView(void* block) {
  ThreadStart start = *static_cast<ThreadStart*>(block);
  MemFree(block);
  TakeProgramFileSystemView();
  return start.routine(start.parameter);
}
}  // namespace

HANDLE StartThread(LPTHREAD_START_ROUTINE routine, void* parameter) {
  ThreadStart* start = static_cast<ThreadStart*>(MemAlloc(sizeof(ThreadStart)));
  *start = {routine, parameter};
  HANDLE thread = CreateThread(nullptr, 0, RunWithProgramView, start, 0, nullptr);
  if (!thread) MemFree(start);
  return thread;
}
