#pragma once
// The records whose state the link groups or the actions changed since the matching walk last looked: the
// walk classifies the records of a size run once, and refreshes only these (and the pair in hand).
#include <cstdint>

#include "pool/file_record.h"

void NoteRecordChanged(FileRecord* record);
// The records noted since the last ForgetChangedRecords, in the order noted (a record may come twice).
FileRecord* const* ChangedRecords(uint32_t* count);
void ForgetChangedRecords();
// Frees the list's storage, at the end of the walk.
void ReleaseChangedRecords();
