#pragma once
// What is cheap to read of a file ahead of the walk, on any thread: a small file whole, in one read, and of a
// large one its first 64 KiB and its last sectors, which tell most files of one size apart.
#include <windows.h>

#include <cstdint>

// Files from this size on take more than one read to checksum whole: their pieces are worth reading first.
constexpr int64_t kPiecesWorthReadingFrom = 1048576 - 4096;

// Both read through an open from OpenFreshForChecksum into the caller's buffer of kReadPiece bytes, and are
// quiet: false when the file cannot be read or no longer has that size; the walk's own read then says why.

// The CRC-64 of the file's first 64 KiB followed by its last sectors (size at least kPiecesWorthReadingFrom).
// Two files of one size whose digests differ hold different bytes.
bool ReadPiecesDigest(HANDLE file, int64_t size, unsigned char* buffer, uint64_t* digest);
// The whole-file checksum of a file smaller than kPiecesWorthReadingFrom, as the walk computes it.
bool ReadSmallFileChecksum(HANDLE file, int64_t size, unsigned char* buffer, uint64_t* checksum);
