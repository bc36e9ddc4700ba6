#include "match/match_pools.h"

// No comparison yet: nothing is reported identical.
uint32_t MatchPools(FileRecord*, uint32_t, FileRecord*, uint32_t, int) { return 0; }
