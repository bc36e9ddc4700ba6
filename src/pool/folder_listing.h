#pragma once
// Listing one folder, shared by the scanner and the removal of emptied folders.
#include <windows.h>

// Opens a folder listing with the fastest information level the system has (basic, large fetches from
// Windows 7 on); INVALID_HANDLE_VALUE with the reason in GetLastError.
HANDLE FindFirstEntry(const wchar_t* searchPattern, WIN32_FIND_DATAW* entry);
// "." or "..", which every listing holds and nobody takes.
bool IsDotEntry(const wchar_t* name);
