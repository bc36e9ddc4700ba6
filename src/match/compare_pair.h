#pragma once
#include <cstdint>

#include "pool/file_record.h"

// Decides one candidate pair of equal size: drops pairs that are one file, gone, excluded or already known;
// recognises hard links; compares content; hands every duplicate to the action. Counts into the totals.
void ComparePair(FileRecord* a, FileRecord* b, int64_t* pairsTested, int32_t* filesFound, int64_t* redundant);
