#pragma once
// The two files of a duplicate pair, held open from the proof that they are two files with equal bytes to
// the action on them: nobody can write, delete or rename them in between.
#include <windows.h>

#include <cstdint>

#include "identity/file_identity.h"

enum class PairProof {
  Duplicate,  // two files (or, for two names of one file, two entries) with equal bytes, held
  Differ,     // the bytes differ, or two supposed names of one file are not
  OneFile,    // one name reached twice: never a pair
  NotHeld,    // a file could not be held; error and number say which and why
};

// What an action's hold asks: reading for the proof, deleting and renaming for the action, and the attributes.
constexpr DWORD kHoldAccess = GENERIC_READ | DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;

struct HeldPair {
  OpenFileIdentity file[2];  // file1 and file2 of the pair; INVALID_HANDLE_VALUE once closed
  uint32_t number;           // the file that could not be held (1 or 2)
  DWORD error;
  // A report's proof reads the opens the checksums keep and hands them back when released (the paths must
  // outlive the hold); an action's holds are its own and closed.
  const wchar_t* keptPath[2];
};

// Opens both files and proves what they are. With forAction the opens may delete and deny others writing,
// deleting and renaming; otherwise they only read, denying writes. A pair of two names of one file (linked)
// is not read but must be two entries of a file with another name; any other pair must be two files whose
// bytes are equal wherever their checksums looked (testSize as for the checksums). twoFiles: the records'
// indexes already tell two files apart, which is proof enough for a report.
PairProof HoldPair(const wchar_t* path1, const wchar_t* path2, int64_t size, int64_t testSize, bool forAction,
                   bool linked, bool twoFiles, HeldPair* held);
// Closes what is still open, or hands it back to be kept.
void ReleasePair(HeldPair* held);
// True when an open file still has the size the scan listed.
bool HasListedSize(HANDLE file, int64_t size);
// Closes one held file.
void ReleaseHeldFile(OpenFileIdentity* file);
