#include "base/memory.h"

#include <cwchar>

namespace {
HANDLE ProcessHeap() {
  // GetProcessHeap always answers the same handle, so a race on first use is harmless.
  static HANDLE heap = GetProcessHeap();
  return heap;
}
}  // namespace

LPVOID(WINAPI* HeapAllocCall)(HANDLE heap, DWORD flags, SIZE_T bytes) = HeapAlloc;

void* MemAlloc(size_t size) {
  for (;;) {
    void* block = HeapAllocCall(ProcessHeap(), HEAP_ZERO_MEMORY, size);
    if (block) return block;
    // Out of memory is not recoverable here: make it audible, then stop in the debugger or the crash dump.
    // A debugger that continues the breakpoint gets the allocation tried again.
    Sleep(500);
    Beep(1000, 3000);
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

HANDLE StartThread(LPTHREAD_START_ROUTINE routine, void* parameter) {
  return CreateThread(nullptr, 0, routine, parameter, 0, nullptr);
}
