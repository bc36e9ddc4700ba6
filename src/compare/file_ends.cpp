#include "compare/test_blocks.h"

#include <windows.h>

#include <cstring>

#include "compare/checksum_buffers.h"
#include "compare/checksum_file.h"
#include "seam/system_calls.h"

namespace {
// Made on first use and kept for the process; only the matching thread compares file ends.
unsigned char* g_endBuffers[2] = {nullptr, nullptr};

HANDLE OpenCached(const wchar_t* path) {
  return FileSystem.Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

bool IsOpen(HANDLE file) { return file && file != INVALID_HANDLE_VALUE; }

int CompareOpenFiles(HANDLE file1, HANDLE file2, int64_t size, uint32_t blockLength) {
  unsigned char* buffer1 = g_endBuffers[0];
  unsigned char* buffer2 = g_endBuffers[1];
  // The end read takes a page more than a block; the buffers bound both.
  uint32_t b = blockLength < kReadPiece - 4096 ? blockLength : kReadPiece - 4096;
  if (size < b) b = static_cast<uint32_t>(size);

  int64_t count1 = ReadAt(file1, 0, buffer1, b);
  int64_t count2 = ReadAt(file2, 0, buffer2, b);
  if (count1 > 0 && count1 == count2 && memcmp(buffer1, buffer2, static_cast<size_t>(count1)) != 0) return 0;
  if (size <= b) return 1;

  int64_t offset = size - b < 4096 ? 0 : ((size - b - 4096 + 4095) & ~static_cast<int64_t>(4095));
  count1 = ReadAt(file1, offset, buffer1, b + 4096);
  count2 = ReadAt(file2, offset, buffer2, b + 4096);
  if (count1 <= 0 || count1 != count2) return 0;
  return memcmp(buffer1, buffer2, static_cast<size_t>(count1)) == 0 ? 1 : 0;
}
}  // namespace

int CompareFileEnds(const wchar_t* path1, const wchar_t* path2, int64_t size, uint32_t blockLength) {
  for (unsigned char*& buffer : g_endBuffers)
    if (!buffer)
      buffer = static_cast<unsigned char*>(VirtualAlloc(nullptr, kReadPiece, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  // Without buffers nothing can be ruled out: let the checksums decide rather than drop a pair unseen.
  if (!g_endBuffers[0] || !g_endBuffers[1]) return 1;

  HANDLE file1 = OpenCached(path1);
  HANDLE file2 = OpenCached(path2);
  int result = IsOpen(file1) && IsOpen(file2) ? CompareOpenFiles(file1, file2, size, blockLength) : 0;
  if (IsOpen(file1)) CloseHandle(file1);
  if (IsOpen(file2)) CloseHandle(file2);
  return result;
}
