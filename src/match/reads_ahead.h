#pragma once
// While the walk runs, the files of shared sizes are opened and read on a few threads of their own, a bounded
// stretch ahead of it, each part of the stretch in the order of the listing: a cold disk answers several reads
// at once nearly as fast as one, and the walk then finds each file's checksum ready and its open kept for the
// byte proof.
// A small file gets its whole-file checksum. A large one is read by its first and last pieces: one whose
// pieces no other file of its size has cannot be a duplicate and is never read whole.
// An open held here lets others only read the file: the walk takes a size's opens before it acts on a pair of
// that size, and closes every kept open before an action, so an action never meets one.
#include <cstdint>

#include "pool/file_record.h"

// Opens held ahead of the walk at most. Under Wine each holds a Unix file descriptor, which a process may
// have as few as 1024 of, and the walk keeps thousands of opens itself until it finds none left.
constexpr uint32_t kReadsAheadMost = 128;

struct ReadsAhead;

// Starts reading the records of every size both sides have (one pool matched against itself is passed
// twice); null when there is nothing to read or no thread could start, and the walk reads as it meets files.
// The readers touch no record: what they read becomes the records' only when the walk takes it.
ReadsAhead* StartReadsAhead(FileRecord* records1, uint32_t count1, FileRecord* records2, uint32_t count2,
                            uint32_t most = kReadsAheadMost);
// On the walk's thread, before it meets a size: what was read of every file up to that size becomes the
// records' (identity, checksum, or a large file ruled out), and each open is kept for the walk. Waits for
// reads still running. A file that could not be read here is left as it was: the walk reads it when it meets
// it and names what failed, where it always did.
void TakeReadsAhead(ReadsAhead* ahead, int64_t size);
// Ends the readers and closes every open not taken.
void StopReadsAhead(ReadsAhead* ahead);
