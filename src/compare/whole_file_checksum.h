#pragma once
// The CRC-64 of a file's whole content.
#include <cstdint>

// path: full path with its \\?\ prefix; size only chooses the reader mode; *errorCode gets the code of a failed
// open (and only then). Returns the checksum, 0 when the file could not be opened or held nothing readable.
uint64_t ChecksumWholeFile(const wchar_t* path, int64_t size, uint32_t* errorCode);
