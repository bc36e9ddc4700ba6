#pragma once
// The program's memory rules: one process heap, zero-filled blocks, no failure handed back to callers.
#include <windows.h>
#include <cstddef>

// Zero-filled block from the process heap. Never returns null: on failure it waits, beeps and raises a
// breakpoint (which reaches the crash-dump writer, or a debugger that may continue and let it retry).
void* MemAlloc(size_t size);
void MemFree(void* block);
// Heap copy of a NUL-terminated UTF-16 text.
wchar_t* DupString(const wchar_t* text);

// A new thread running at once, with the same view of the file system as the main thread; the caller owns
// (waits for and closes) the handle.
HANDLE StartThread(LPTHREAD_START_ROUTINE routine, void* parameter);
