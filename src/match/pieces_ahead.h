#pragma once
// Before the walk: the large files that share their size are read by their first and last pieces, in the
// order of their paths, which is mostly the order they lie in on the disk. One whose pieces no other file of
// its size has cannot be a duplicate: it is never read whole.
#include <cstdint>

#include "pool/file_record.h"

// A file ruled out gets a checksum that no other file of its size can have. A file that cannot be read
// quietly here is left as it was: the walk reads it when it meets it and names what failed, where it always
// did. One pool matched against itself is passed twice.
void RuleOutLargeFilesByPieces(FileRecord* records1, uint32_t count1, FileRecord* records2, uint32_t count2);
