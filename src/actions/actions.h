#pragma once
// Reporting a duplicate pair and carrying out the action chosen on the command line.
#include <windows.h>

#include <cstdint>

#include "pool/file_record.h"

// Prints the pair and acts on it. path1/path2 are the full paths (a deleted file's path is cut back to its
// folder in place). Returns 1 when handled, 0 when refused. Adds to *redundant as the summary needs.
int ActOnDuplicate(FileRecord* record1, FileRecord* record2, wchar_t* path1, wchar_t* path2, int alreadyLinked,
                   int64_t* redundant);
