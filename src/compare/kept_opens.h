#pragma once
// The opens for unbuffered sequential reading that identity, the checksums, the byte proof and the actions
// share, and the cache of such opens kept for the next use of the same file.
#include <windows.h>

#include <cstdint>

// The file opened for unbuffered sequential reading, others may only read it, at its start;
// INVALID_HANDLE_VALUE on failure. A handle kept for the path (below) is handed over instead of opening again.
HANDLE OpenForChecksum(const wchar_t* path);
// The same for a reader that says where every read starts (ReadAt): a kept handle comes as it was left.
HANDLE OpenForReadingAt(const wchar_t* path);
// A new open of the same kind, never a kept one: for a thread other than the walk's, which may not touch the
// cache below.
HANDLE OpenFreshForChecksum(const wchar_t* path);

// Under Wine every open is several server round trips, and the matching thread meets a file several times:
// its identity, its checksum, the byte proof of each pair it makes. So the matching thread keeps its opens and
// hands them out again for the same path: the 256 newest whose content is still to be read (an identity read
// just before the content, or the other names of a size run read for a link group) and the 4096 most recently
// used of those read already; fewer once the system has had no file descriptor left for an open. A kept
// handle lets others only read the file: every one is closed before any action on a duplicate and at the end
// of matching. Never on the checksum threads of parallel reading, which open their own.
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
// Sets how many of each kind are kept, until keeping is turned on again.
void SetMostKeptForTesting(uint32_t unread, uint32_t read);
