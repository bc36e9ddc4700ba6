#pragma once
// What the checksum routines share: opening a file for unbuffered sequential reading and reading one piece.
#include <windows.h>

#include <cstdint>

// The file opened for unbuffered sequential reading, others may only read it; INVALID_HANDLE_VALUE on failure.
HANDLE OpenForChecksum(const wchar_t* path);
// Reads up to bytes into buffer and returns the count delivered; 0 ends the loop, with *error the failure's
// code (0 at the end of the file). A missing buffer fails like a read that found no memory.
uint32_t ReadPiece(HANDLE file, unsigned char* buffer, uint32_t bytes, DWORD* error);
