#pragma once
// Checksumming one file of a pair on a thread of its own, so both files of a pair are read at once.
#include <windows.h>

#include <cstdint>

// What a checksum thread is handed; allocated by StartChecksumThread, released by the thread.
struct ChecksumJob {
  const wchar_t* path;     // full path with the \\?\ prefix; stays valid until the thread has ended
  uint64_t* checksumOut;   // the record's checksum
  int64_t size;            // the record's size
  uint32_t* errorCodeOut;  // the record's openError
};

// Thread storing the file's checksum in *checksumOut (caller waits, closes). Null when no thread could be
// started: the checksum was then computed before returning, so wait only for non-null handles.
HANDLE StartChecksumThread(const wchar_t* path, int64_t size, uint64_t* checksumOut, uint32_t* errorCodeOut);
// The thread: whole file when the test size covers the file, else test blocks; frees the job; returns 0.
DWORD WINAPI ChecksumThreadMain(void* job);
