#pragma once
// Before the walk: the checksums of the files that share their size with a file they may pair with, read in
// the order of their paths, which is mostly the order they lie in on the disk, rather than in the walk's order
// of sizes, which sends a cold disk back and forth.
#include <cstdint>

#include "pool/file_record.h"

// A large file is first read by its pieces; one whose pieces no other file of its size has is never read whole
// and gets a checksum that no other file of its size can have. A file that cannot be read quietly keeps no
// checksum: the walk reads it when it meets it and names what failed, where it always did. One pool matched
// against itself is passed twice.
void ChecksumAhead(FileRecord* records1, uint32_t count1, FileRecord* records2, uint32_t count2);
