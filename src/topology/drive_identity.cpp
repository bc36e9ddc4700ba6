#include "topology/drive_identity.h"

#include <windows.h>

#include "console/output.h"

// First cut until drives are resolved: every pair of folders counts as one physical drive, so scans and
// reads run one after the other (always correct, only slower).
int IsSamePhysicalDrive(const wchar_t*, const wchar_t*) {
  ConsolePrint(L"Files are located on ");
  ConsolePrint(L"the same physical drive -> sequential operation\n");
  return 1;
}

// First cut: a folder that can be opened is valid and is its own volume path.
int GetVolumePath(const wchar_t* folder, wchar_t* out, int capacity) {
  HANDLE handle = CreateFileW(folder, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return 0;
  CloseHandle(handle);
  lstrcpynW(out, folder, capacity);
  return 1;
}

int ResolveSubstDrive(const wchar_t*, wchar_t*) { return 0; }
