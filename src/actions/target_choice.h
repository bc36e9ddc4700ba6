#pragma once
// Which file of a duplicate pair an action works on.
#include <cstdint>

#include "identity/file_identity.h"
#include "pool/file_record.h"

// One file of a pair as the actions see it: its record, full path and number in messages.
struct DuplicateFile {
  FileRecord* record;
  const wchar_t* path;
  uint32_t number;  // 1 or 2
  OpenFileIdentity* held;  // the file held open since its bytes were compared
};

// The number (1 or 2) of the file the action code works on, or 0 when the pair is refused.
// Used for the delete and hard-link codes; the rename codes choose no target.
uint32_t ChooseTarget(uint32_t action, const DuplicateFile& file1, const DuplicateFile& file2, int alreadyLinked);
// Settles a policy tie, or the codes that leave the choice open: 0 when two names of one file are paired.
uint32_t FallbackTarget(const DuplicateFile& file1, const DuplicateFile& file2, int alreadyLinked);
