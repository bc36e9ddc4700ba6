#pragma once
// The few file-system calls whose failures matter to checksums and duplicate actions. They go through this
// one process-wide record, which holds the Win32 calls; tests replace an entry to make it fail on purpose.
#include <windows.h>

struct FileSystemCalls {
  HANDLE(WINAPI* Open)(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                       DWORD flags, HANDLE templateFile);
  BOOL(WINAPI* Read)(HANDLE file, LPVOID buffer, DWORD bytes, LPDWORD bytesRead, LPOVERLAPPED overlapped);
  BOOL(WINAPI* Delete)(LPCWSTR path);
  BOOL(WINAPI* SetAttributes)(LPCWSTR path, DWORD attributes);
  BOOL(WINAPI* CreateHardLink)(LPCWSTR link, LPCWSTR existing, LPSECURITY_ATTRIBUTES security);
  BOOL(WINAPI* Copy)(LPCWSTR from, LPCWSTR to, BOOL failIfExists);
  BOOL(WINAPI* Move)(LPCWSTR from, LPCWSTR to);
  BOOL(WINAPI* RemoveFolder)(LPCWSTR path);
};

extern FileSystemCalls FileSystem;

// Puts every entry back to its Win32 call.
void RestoreFileSystemCalls();
