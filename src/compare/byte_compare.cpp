#include "compare/byte_compare.h"

#include <windows.h>

#include <cstring>

#include "console/control.h"
#include "seam/file_system.h"

namespace {
constexpr DWORD kPiece = 1 << 20;

HANDLE OpenForCompare(const wchar_t* path) {
  return FileSystem.Open(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                         nullptr);
}

// Fills the buffer with up to bytes, reading on until the file ends; false on a read error.
bool ReadFull(HANDLE file, unsigned char* buffer, DWORD bytes, DWORD* got) {
  *got = 0;
  while (*got < bytes) {
    DWORD read = 0;
    if (!FileSystem.Read(file, buffer + *got, bytes - *got, &read, nullptr)) return false;
    if (read == 0) break;
    *got += read;
  }
  return true;
}

bool SameContent(HANDLE file1, HANDLE file2, unsigned char* buffer1, unsigned char* buffer2, int64_t size) {
  int64_t compared = 0;
  for (;;) {
    DWORD got1 = 0, got2 = 0;
    if (!ReadFull(file1, buffer1, kPiece, &got1) || !ReadFull(file2, buffer2, kPiece, &got2)) return false;
    if (got1 != got2 || memcmp(buffer1, buffer2, got1) != 0) return false;
    compared += got1;
    if (got1 < kPiece) return compared == size;
    if (CancelRequested) return false;
  }
}
}  // namespace

int FilesAreIdentical(const wchar_t* path1, const wchar_t* path2, int64_t size) {
  unsigned char* buffers =
      static_cast<unsigned char*>(VirtualAlloc(nullptr, 2 * kPiece, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  if (!buffers) return 0;
  HANDLE file1 = OpenForCompare(path1);
  HANDLE file2 = file1 == INVALID_HANDLE_VALUE ? INVALID_HANDLE_VALUE : OpenForCompare(path2);
  bool same = file2 != INVALID_HANDLE_VALUE && SameContent(file1, file2, buffers, buffers + kPiece, size);
  if (file2 != INVALID_HANDLE_VALUE) CloseHandle(file2);
  if (file1 != INVALID_HANDLE_VALUE) CloseHandle(file1);
  VirtualFree(buffers, 0, MEM_RELEASE);
  return same ? 1 : 0;
}
