#include "compare/byte_compare.h"

#include <cstring>

#include "compare/checksum_buffers.h"
#include "compare/checksum_file.h"
#include "compare/test_blocks.h"
#include "console/control.h"

namespace {
// The two open files of a pair and a read buffer for each.
struct ComparedFiles {
  HANDLE file[2];
  unsigned char* buffer[2];
};

// Compares length bytes from start. A range that runs to the end of the file is read in whole sectors, the
// last read reaching past the expected end and cut short by it: an unbuffered handle reads only whole
// sectors, a small file costs one read, and a file grown since the checksum differs. Every other range the
// checksums read is made of whole pieces.
bool SameRange(const ComparedFiles& files, int64_t start, int64_t length, bool toEnd) {
  unsigned char* buffer1 = files.buffer[0];
  unsigned char* buffer2 = files.buffer[1];
  for (int64_t compared = 0;;) {
    if (CancelRequested) return false;
    int64_t left = length - compared;
    uint32_t wanted = toEnd ? PieceToAsk(left) : left >= kReadPiece ? kReadPiece : static_cast<uint32_t>(left);
    int64_t got1 = ReadAt(files.file[0], start + compared, buffer1, wanted);
    int64_t got2 = ReadAt(files.file[1], start + compared, buffer2, wanted);
    if (got1 < 0 || got1 != got2 || memcmp(buffer1, buffer2, static_cast<size_t>(got1)) != 0) return false;
    compared += got1;
    if (got1 < wanted || compared >= length) return compared == length;
  }
}
}  // namespace

int OpenFilesMatch(HANDLE file1, HANDLE file2, int64_t size, int64_t testSize) {
  // The checksum buffers are free while a pair is compared: no checksum runs then.
  unsigned char* buffer1 = TakeReadBuffer();
  unsigned char* buffer2 = TakeReadBuffer();
  unsigned char* own = nullptr;
  if (!buffer1 || buffer1 == buffer2) {
    own = static_cast<unsigned char*>(VirtualAlloc(nullptr, 2 * kReadPiece, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!own) return 0;
    buffer1 = own;
    buffer2 = own + kReadPiece;
  }
  const ComparedFiles files = {{file1, file2}, {buffer1, buffer2}};
  bool same = true;
  if (ChecksumCoversWholeFile(size, testSize)) {
    same = SameRange(files, 0, size, true);
  } else {
    for (int block = 0; block < 3 && same; ++block) {
      int64_t start, length;
      TestBlockRange(size, testSize, block, &start, &length);
      same = SameRange(files, start, length, start + length == size);
    }
  }
  if (own) VirtualFree(own, 0, MEM_RELEASE);
  return same ? 1 : 0;
}
