#include "compare/file_pieces.h"

#include "compare/checksum_buffers.h"
#include "compare/checksum_file.h"
#include "compare/crc64.h"

namespace {
constexpr uint32_t kFirstPiece = 65536;
constexpr int64_t kSector = 4096;  // a multiple of every sector size in use: the unbuffered reads ask whole ones
}  // namespace

bool ReadPiecesDigest(HANDLE file, int64_t size, uint64_t* digest) {
  unsigned char* buffer = TakeReadBuffer();
  if (!buffer || size < kPiecesWorthReadingFrom) return false;
  uint64_t crc = kCrc64AllOnes;
  bool read = ReadAt(file, 0, buffer, kFirstPiece) == kFirstPiece;
  if (read) crc = Crc64Update(crc, buffer, kFirstPiece);
  // From the last whole sector before the final one: a read of two sectors that must come short at the end.
  int64_t lastStart = (size - kSector) / kSector * kSector;
  int64_t last = read ? ReadAt(file, lastStart, buffer, 2 * kSector) : -1;
  if (last != size - lastStart) return false;
  *digest = Crc64Update(crc, buffer, static_cast<size_t>(last)) ^ kCrc64AllOnes;
  return true;
}
