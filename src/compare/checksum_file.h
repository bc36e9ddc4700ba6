#pragma once
// What the checksum routines share: opening a file for unbuffered sequential reading and reading one piece.
#include <windows.h>

#include <cstdint>

// The file opened for unbuffered sequential reading, others may only read it; INVALID_HANDLE_VALUE on failure.
// A handle kept for the path (below) is handed over instead of opening again.
HANDLE OpenForChecksum(const wchar_t* path);

// The matching thread reads a file's identity through such an open just before it reads the content, and
// keeps the handle for that: under Wine every open is several server round trips, and most files of a size
// run are opened for nothing else. Takes the heap path (MemAlloc) and the handle; the two kept last stay
// open. Not for the checksum threads of parallel reading.
void KeepForChecksum(wchar_t* path, HANDLE file);
// Closes every kept handle. Called before any action on a duplicate and at the end of matching: a kept
// handle lets others only read.
void CloseKeptForChecksum();
// Reads up to bytes into buffer and returns the count delivered; 0 ends the loop, with *error the failure's
// code (0 at the end of the file). A missing buffer fails like a read that found no memory.
uint32_t ReadPiece(HANDLE file, unsigned char* buffer, uint32_t bytes, DWORD* error);
