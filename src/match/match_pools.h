#pragma once
#include <cstdint>

#include "pool/file_record.h"

// Offers every record of A to the records of equal size in B; returns the number of files found identical.
uint32_t MatchPools(FileRecord* recordsA, uint32_t countA, FileRecord* recordsB, uint32_t countB, int sorted);
