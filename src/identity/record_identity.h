#pragma once
// What file a record names: its file index and, when two indexes are equal, its volume's serial number.
#include <cstdint>

#include "pool/file_record.h"

// nNumberOfLinks of the file, filling its file index; 0 when it cannot be opened or queried (outputs untouched).
uint32_t GetFileIdentity(const wchar_t* path, uint32_t* indexLow, uint32_t* indexHigh);
// The same for a record's file, into the record's index; the record's allocation size too when the query
// gives it for free.
uint32_t ReadRecordIdentity(FileRecord* record);
// The same, through the open the record's checksum will read next, which is kept for it while the walk keeps
// opens.
uint32_t ReadRecordIdentityForChecksum(FileRecord* record);
// The same through an open the caller holds (a void* HANDLE with read access).
uint32_t ReadRecordIdentityThrough(FileRecord* record, void* file);

inline bool HasFileIndex(const FileRecord* record) { return record->fileIndexLow != 0 || record->fileIndexHigh != 0; }
// Equal indexes on one volume. A serial that cannot be read counts as the same volume: records taken for one
// file are never compared by content, so nothing is acted on by mistake.
bool SameFile(FileRecord* a, FileRecord* b);
// The same test on indexes already read; an unread index never matches.
int IsSameFile(FileRecord* a, FileRecord* b);
// True when both indexes were read and differ: two files, whatever their volumes.
inline bool HaveDifferentIndexes(const FileRecord* a, const FileRecord* b) {
  return HasFileIndex(a) && HasFileIndex(b) &&
         (a->fileIndexLow != b->fileIndexLow || a->fileIndexHigh != b->fileIndexHigh);
}
