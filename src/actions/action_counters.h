#pragma once
// What the actions of a run did, added up for the summary.
#include <cstdint>

// Counters of the run, read by the summary.
extern uint32_t DeletedCount;
extern uint32_t RenamedCount;
extern uint32_t ReplacedCount;
extern int64_t SavedBytes;
