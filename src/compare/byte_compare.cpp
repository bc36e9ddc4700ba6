#include "compare/byte_compare.h"

#include <cstring>

#include "compare/checksum_buffers.h"
#include "compare/checksum_file.h"
#include "compare/test_blocks.h"
#include "console/control.h"

namespace {
bool SameRange(HANDLE file1, HANDLE file2, unsigned char* buffer1, unsigned char* buffer2, int64_t start,
               int64_t length) {
  LARGE_INTEGER offset;
  offset.QuadPart = start;
  if (!SetFilePointerEx(file1, offset, nullptr, FILE_BEGIN) || !SetFilePointerEx(file2, offset, nullptr, FILE_BEGIN))
    return false;
  for (int64_t compared = 0; compared < length;) {
    if (CancelRequested) return false;
    uint32_t wanted = length - compared < kReadPiece ? static_cast<uint32_t>(length - compared) : kReadPiece;
    DWORD error1 = 0, error2 = 0;
    uint32_t got1 = ReadPiece(file1, buffer1, wanted, &error1);
    uint32_t got2 = ReadPiece(file2, buffer2, wanted, &error2);
    if (!got1 || got1 != got2 || memcmp(buffer1, buffer2, got1) != 0) return false;
    compared += got1;
  }
  return true;
}
}  // namespace

int OpenFilesMatch(HANDLE file1, HANDLE file2, int64_t size, int64_t testSize) {
  unsigned char* buffers =
      static_cast<unsigned char*>(VirtualAlloc(nullptr, 2 * kReadPiece, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  if (!buffers) return 0;
  bool same;
  if (ChecksumCoversWholeFile(size, testSize)) {
    // One byte more than the size: a file that grew since the scan is not the file that was checked.
    same = SameRange(file1, file2, buffers, buffers + kReadPiece, 0, size);
    DWORD error;
    same = same && ReadPiece(file1, buffers, 1, &error) == 0 && ReadPiece(file2, buffers, 1, &error) == 0;
  } else {
    same = true;
    for (int block = 0; block < 3 && same; ++block) {
      int64_t start, length;
      TestBlockRange(size, testSize, block, &start, &length);
      same = SameRange(file1, file2, buffers, buffers + kReadPiece, start, length);
    }
  }
  VirtualFree(buffers, 0, MEM_RELEASE);
  return same ? 1 : 0;
}
