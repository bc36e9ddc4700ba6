#pragma once
// Reading the pieces of a file that the checksums and the byte proof take.
#include <windows.h>

#include <cstdint>

// Reads up to bytes into buffer and returns the count delivered; 0 ends the loop, with *error the failure's
// code (0 at the end of the file). A missing buffer fails like a read that found no memory.
uint32_t ReadPiece(HANDLE file, unsigned char* buffer, uint32_t bytes, DWORD* error);
// Reads up to bytes from offset: the count delivered (0 at the end of the file), or -1 when the read failed.
// A seek and a plain read: a read given its offset in an OVERLAPPED costs a server round trip under Wine for
// the completion it posts, a seek on a synchronous handle does not.
int64_t ReadAt(HANDLE file, int64_t offset, unsigned char* buffer, uint32_t bytes);
