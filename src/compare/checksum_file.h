#pragma once
// What the checksum routines share: opening a file for unbuffered sequential reading, keeping such opens for
// the next use of the same file, and reading one piece.
#include <windows.h>

#include <cstdint>

// The file opened for unbuffered sequential reading, others may only read it, at its start;
// INVALID_HANDLE_VALUE on failure. A handle kept for the path (below) is handed over instead of opening again.
HANDLE OpenForChecksum(const wchar_t* path);
// The same for a reader that says where every read starts (ReadAt): a kept handle comes as it was left.
HANDLE OpenForReadingAt(const wchar_t* path);

// Under Wine every open is several server round trips, and the matching thread meets a file several times:
// its identity, its checksum, the byte proof of each pair it makes. So the matching thread keeps its opens and
// hands them out again for the same path: the 256 newest whose content is still to be read (an identity read
// just before the content, or the other names of a size run read for a link group) and the 512 most recently
// used of those read already. A kept handle lets others only read the file: every one is closed before any
// action on a duplicate and at the end of matching. Never on the checksum threads of parallel reading, which
// open their own.
void KeepUnreadForChecksum(const wchar_t* path, HANDLE file);
void KeepForChecksum(const wchar_t* path, HANDLE file);
// The handle kept for the path, no longer kept; INVALID_HANDLE_VALUE when there is none.
HANDLE TakeKeptForChecksum(const wchar_t* path);
// Closes every kept handle.
void CloseKeptForChecksum();
// Whether opens are kept at all: on for sequential reading, off (the default) for parallel reading, whose
// checksums run on threads of their own.
void SetKeepingForChecksum(bool keep);
bool IsKeepingForChecksum();
// Reads up to bytes into buffer and returns the count delivered; 0 ends the loop, with *error the failure's
// code (0 at the end of the file). A missing buffer fails like a read that found no memory.
uint32_t ReadPiece(HANDLE file, unsigned char* buffer, uint32_t bytes, DWORD* error);
// Reads up to bytes from offset: the count delivered (0 at the end of the file), or -1 when the read failed.
// A seek and a plain read: a read given its offset in an OVERLAPPED costs a server round trip under Wine for
// the completion it posts, a seek on a synchronous handle does not.
int64_t ReadAt(HANDLE file, int64_t offset, unsigned char* buffer, uint32_t bytes);
