#pragma once
// Seam entries that fail on purpose, for one chosen path or for all.
#include <windows.h>

#include <string>

// Calls whose path ends with this text fail (empty: every call fails), with FailError as the last error.
extern std::wstring FailPathSuffix;
extern DWORD FailError;

BOOL WINAPI FailingDelete(LPCWSTR path);
BOOL WINAPI FailingSetAttributes(LPCWSTR path, DWORD attributes);
BOOL WINAPI FailingCreateHardLink(LPCWSTR link, LPCWSTR existing, LPSECURITY_ATTRIBUTES security);
BOOL WINAPI FailingCopy(LPCWSTR from, LPCWSTR to, BOOL failIfExists);
BOOL WINAPI FailingRemoveFolder(LPCWSTR path);
HANDLE WINAPI FailingOpen(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE templateFile);
