#include "compare/byte_compare.h"

#include <windows.h>

#include <cstring>

#include "compare/checksum_file.h"
#include "console/control.h"

namespace {
constexpr uint32_t kPiece = 1 << 20;

bool SameContent(HANDLE file1, HANDLE file2, unsigned char* buffer1, unsigned char* buffer2, int64_t size) {
  int64_t compared = 0;
  for (;;) {
    DWORD error1 = 0, error2 = 0;
    uint32_t got1 = ReadPiece(file1, buffer1, kPiece, &error1);
    uint32_t got2 = ReadPiece(file2, buffer2, kPiece, &error2);
    if (error1 || error2 || got1 != got2 || memcmp(buffer1, buffer2, got1) != 0) return false;
    compared += got1;
    if (got1 < kPiece) return compared == size;
    if (CancelRequested) return false;
  }
}
}  // namespace

int FilesAreIdentical(const wchar_t* path1, const wchar_t* path2, int64_t size) {
  // Page-aligned, as the unbuffered reads of the checksum opens need.
  unsigned char* buffers =
      static_cast<unsigned char*>(VirtualAlloc(nullptr, 2 * kPiece, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  if (!buffers) return 0;
  HANDLE file1 = OpenForChecksum(path1);
  HANDLE file2 = file1 == INVALID_HANDLE_VALUE ? INVALID_HANDLE_VALUE : OpenForChecksum(path2);
  bool same = file2 != INVALID_HANDLE_VALUE && SameContent(file1, file2, buffers, buffers + kPiece, size);
  if (file2 != INVALID_HANDLE_VALUE) CloseHandle(file2);
  if (file1 != INVALID_HANDLE_VALUE) CloseHandle(file1);
  VirtualFree(buffers, 0, MEM_RELEASE);
  return same ? 1 : 0;
}
