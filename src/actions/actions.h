#pragma once
// Reporting a duplicate pair and carrying out the action chosen on the command line.
#include <windows.h>

#include <cstdint>

#include "pool/file_record.h"

// Counters of the run, read by the summary.
extern uint32_t DeletedCount;
extern uint32_t RenamedCount;
extern uint32_t ReplacedCount;
extern int64_t SavedBytes;

// Prints the pair and acts on it. path1/path2 are the full paths (a deleted file's path is cut back to its
// folder in place). Returns 1 when handled, 0 when refused. Adds to *redundant as the summary needs.
int ActOnDuplicate(FileRecord* record1, FileRecord* record2, wchar_t* path1, wchar_t* path2, int alreadyLinked,
                   int64_t* redundant);
// A new heap string of dir followed by name; the caller frees it with MemFree.
wchar_t* JoinPath(const wchar_t* dir, const wchar_t* name);
// -1, 0 or 1 as a has fewer, as many or more UTF-16 units than b.
int CompareLength(const wchar_t* a, const wchar_t* b);
// Fails (returns 0) without touching *time when the attributes cannot be read.
int GetLastWriteTime(const wchar_t* path, FILETIME* time);
