#include "actions/action_counters.h"

uint32_t DeletedCount = 0;
uint32_t RenamedCount = 0;
uint32_t ReplacedCount = 0;
int64_t SavedBytes = 0;
