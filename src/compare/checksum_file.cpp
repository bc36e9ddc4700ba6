#include "compare/checksum_file.h"

#include <cwchar>

#include "base/memory.h"
#include "seam/file_system.h"

namespace {
// The first and the second file of the pair in hand.
struct KeptOpen {
  wchar_t* path;
  HANDLE file;
};
KeptOpen g_kept[2];
unsigned g_keptNext = 0;  // the slot the next keep replaces: the older one

void CloseKept(KeptOpen& kept) {
  if (!kept.path) return;
  CloseHandle(kept.file);
  MemFree(kept.path);
  kept = {};
}
}  // namespace

HANDLE OpenForChecksum(const wchar_t* path) {
  for (KeptOpen& kept : g_kept) {
    if (!kept.path || wcscmp(kept.path, path) != 0) continue;
    HANDLE file = kept.file;
    MemFree(kept.path);
    kept = {};
    return file;
  }
  return FileSystem.Open(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

void KeepForChecksum(wchar_t* path, HANDLE file) {
  KeptOpen& slot = g_kept[g_keptNext];
  g_keptNext ^= 1;
  CloseKept(slot);
  slot = {path, file};
}

void CloseKeptForChecksum() {
  for (KeptOpen& kept : g_kept) CloseKept(kept);
}

uint32_t ReadPiece(HANDLE file, unsigned char* buffer, uint32_t bytes, DWORD* error) {
  *error = 0;
  if (!buffer) {
    *error = ERROR_NOT_ENOUGH_MEMORY;
    return 0;
  }
  SetLastError(0);
  DWORD delivered = 0;
  if (FileSystem.Read(file, buffer, bytes, &delivered, nullptr) && delivered) return delivered;
  *error = GetLastError();
  return 0;
}
