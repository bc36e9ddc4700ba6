#pragma once
// Reporting a duplicate pair and carrying out the action chosen on the command line.
#include <windows.h>

#include <cstdint>

#include "actions/held_pair.h"
#include "pool/file_record.h"

// Set when a pair's line could not be written: its action was not carried out, and the run has failed.
extern int32_t ReportWriteFailed;

// Prints the pair and acts on it through the files held by its proof (HoldPair); a file that could not be
// held (held->number) is named and nothing is done. path1/path2 are the full paths (a deleted file's path is
// cut back to its folder in place). Returns 1 when handled, 0 when refused. Adds to *redundant as the summary
// needs. Closes the held files it acts on; the caller releases the rest.
int ActOnDuplicate(FileRecord* record1, FileRecord* record2, wchar_t* path1, wchar_t* path2, int alreadyLinked,
                   int64_t* redundant, HeldPair* held);
