#pragma once
// What is cheap to read of a large file, and tells most files of one size apart: its first 64 KiB and its
// last sectors.
#include <windows.h>

#include <cstdint>

// Files from this size on take more than one read to checksum whole: their pieces are worth reading first.
constexpr int64_t kPiecesWorthReadingFrom = 1048576 - 4096;

// The CRC-64 of the file's first 64 KiB followed by its last sectors (size at least kPiecesWorthReadingFrom),
// read through an open from OpenForChecksum. Two files of one size whose digests differ hold different bytes.
// Quiet: false when the file cannot be read or no longer has that size; its checksum's own read says why.
bool ReadPiecesDigest(HANDLE file, int64_t size, uint64_t* digest);
