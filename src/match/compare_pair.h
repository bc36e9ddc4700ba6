#pragma once
#include <cstdint>

#include "pool/file_record.h"

// What the summary counts.
struct MatchTotals {
  int64_t pairsTested = 0;  // a run of 46,341 files of one size already makes 2^31 pairs
  int32_t filesFound = 0;
  int64_t redundant = 0;    // bytes the duplicates found take
};

// Decides one candidate pair of equal size: drops pairs that are one file, gone, excluded or already known;
// recognises hard links; compares content; hands every duplicate to the action. Counts into the totals.
void ComparePair(FileRecord* a, FileRecord* b, MatchTotals* totals);
