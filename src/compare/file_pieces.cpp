#include "compare/file_pieces.h"

#include "compare/checksum_buffers.h"
#include "compare/checksum_file.h"
#include "compare/crc64.h"

namespace {
constexpr uint32_t kFirstPiece = 65536;
constexpr int64_t kSector = 4096;  // a multiple of every sector size in use: the unbuffered reads ask whole ones
}  // namespace

bool ReadPiecesDigest(HANDLE file, int64_t size, unsigned char* buffer, uint64_t* digest) {
  if (size < kPiecesWorthReadingFrom) return false;
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

bool ReadSmallFileChecksum(HANDLE file, int64_t size, unsigned char* buffer, uint64_t* checksum) {
  if (size <= 0 || size >= kPiecesWorthReadingFrom) return false;
  // The read reaches past the end, so a file grown since the scan comes back too long.
  if (ReadAt(file, 0, buffer, PieceToAsk(size)) != size) return false;
  *checksum = Crc64Of(buffer, static_cast<size_t>(size));
  // 0 stands for "not read yet": the walk reads such a file again and says so.
  return *checksum != 0;
}
