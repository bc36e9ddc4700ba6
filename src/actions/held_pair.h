#pragma once
// The two files of a duplicate pair, held open from the proof that they are two files with equal bytes to
// the action on them: nobody can write, delete or rename them in between.
#include <windows.h>

#include <cstdint>

#include "actions/duplicate_pair.h"

enum class PairProof {
  Duplicate,  // two files (or, for two names of one file, two entries) with equal bytes, held
  Differ,     // the bytes differ, or two supposed names of one file are not
  OneFile,    // one name reached twice: never a pair
  NotHeld,    // a file could not be held; held.error and held.number say which and why
};

// What a hold is for.
enum class HoldFor {
  Report,          // reading only, denying writes; the records' indexes may tell two files apart
  Action,          // also deleting, denying others writing, deleting and renaming
  RefusedAction,   // reading only, for a pair that could not be held for its action: the files alone prove it
};

// What an action's hold asks: reading for the proof, deleting and renaming for the action, and the attributes.
constexpr DWORD kHoldAccess = GENERIC_READ | DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;

// Opens both files and proves what they are. A pair of two names of one file is not read but must be two
// entries of a file with another name; any other pair must be two files whose bytes are equal wherever their
// checksums looked. On Duplicate the files stay held in pair.held; otherwise nothing is held.
PairProof HoldPair(DuplicatePair* pair, HoldFor purpose);
// A pair is reported or acted on only when proven and held for the run's action. A pair that cannot be held
// for the action is still reported when its bytes prove equal, and held.number names the file that stopped
// the action. False when the pair is no duplicate.
bool ProvePair(DuplicatePair* pair);
// True when an open file still has the size the scan listed.
bool HasListedSize(HANDLE file, int64_t size);
