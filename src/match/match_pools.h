#pragma once
#include <cstdint>

#include "pool/file_record.h"

// Offers every record of the first pool to the records of equal size in the second (the same pool again when
// there is only one), prints the summary, and returns the number of files found identical.
uint32_t MatchPools(FileRecord* records1, uint32_t count1, FileRecord* records2, uint32_t count2, int sorted);
// The first position in [first, last] (-1 read as 0) of a record of that size in a range sorted by size; -1 if none.
int64_t FindSizeRun(int64_t size, const FileRecord* records, int64_t first, int64_t last);
// "" for one, "s" for any other count.
const wchar_t* PluralSuffix(int64_t count);
// Runs of at least this many records are walked through an index (kIndexedRunMinimum unless set; shorter runs
// cost less walked one by one); UINT32_MAX walks every run one pair at a time. For tests that compare the two.
constexpr uint32_t kIndexedRunMinimum = 64;
void SetIndexedRunMinimumForTesting(uint32_t records);
