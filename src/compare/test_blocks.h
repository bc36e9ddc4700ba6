#pragma once
// Quick content comparison of large files: three test blocks instead of the whole file, and a byte
// comparison of the two ends of a pair.
#include <cstdint>

// CRC-64 of the blocks of testSize bytes at the start, middle and end of the file (the whole file when
// testSize >= size / 4); path, size and *errorCode as for ChecksumWholeFile. 0 when the file cannot be opened.
uint64_t ChecksumTestBlocks(const wchar_t* path, int64_t size, int64_t testSize, uint32_t* errorCode);
// True when the checksum of a file of this size covers all of it rather than three blocks.
bool ChecksumCoversWholeFile(int64_t size, int64_t testSize);
// Where test block 0, 1 or 2 starts and how many bytes of the file the checksum takes from it: pieces of at
// most 1 MiB until testSize bytes are reached, cut at the end of the file.
void TestBlockRange(int64_t size, int64_t testSize, int block, int64_t* start, int64_t* length);
// 1 when the first and last blockLength bytes of two files of one size are equal, 0 when they differ or a
// file cannot be opened or its end read. Matching thread only (its two buffers are not shared).
int CompareFileEnds(const wchar_t* path1, const wchar_t* path2, int64_t size, uint32_t blockLength);
