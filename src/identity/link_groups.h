#pragma once
// Identity bookkeeping: hard links of one file (link groups) and pairs already known identical.
#include <cstdint>

#include "pool/file_record.h"

// nNumberOfLinks of the file, filling its file index; 0 when it cannot be opened or queried (outputs untouched).
uint32_t GetFileIdentity(const wchar_t* path, uint32_t* indexLow, uint32_t* indexHigh);
uint32_t GetLinkCount(const wchar_t* path);
// How the other names of a file join its link group.
enum class LinkGroupGathering {
  AllNamesNow,  // the first name resolved reads the identity of every record of its size and gathers them
  AsMet,        // each name joins the group of the first when it is resolved itself: no identity is read
                // before the walk reads the file anyway. For a sorted report, which acts on no other name.
};
// Gives the record its link count and file index and, for a file with several links, gathers the other
// names of the file from the record's own pool (records, count) into a link group headed by the first name
// resolved.
void ResolveLinkGroup(FileRecord* records, uint32_t count, FileRecord* record,
                      LinkGroupGathering gathering = LinkGroupGathering::AllNamesNow);
// 1 when both records name one file: equal indexes on one volume (an unread index never matches). Reads
// a missing index first.
int HasEqualFileIndex(FileRecord* a, FileRecord* b);
// The same test on indexes already read.
int IsSameFile(FileRecord* a, FileRecord* b);
// True when both indexes were read and differ: two files, whatever their volumes.
inline bool HaveDifferentIndexes(const FileRecord* a, const FileRecord* b) {
  return (a->fileIndexLow || a->fileIndexHigh) && (b->fileIndexLow || b->fileIndexHigh) &&
         (a->fileIndexLow != b->fileIndexLow || a->fileIndexHigh != b->fileIndexHigh);
}
// 1 when the record is already known identical with the owner of the list; deep also follows common partners.
int IsKnownIdentical(const PtrList* list, FileRecord* record, int deep);
// Already known identical, seen from either record.
inline bool KnownIdenticalEitherWay(FileRecord* a, FileRecord* b) {
  return IsKnownIdentical(a->comparedWith, b, 1) || IsKnownIdentical(b->comparedWith, a, 1);
}
// Enters each record in the other's list of identical records.
void LinkIdentical(FileRecord* a, FileRecord* b);
// Both checksums known and different: the contents differ, so the two are neither known identical nor two
// names of one file, and the bookkeeping need not be asked. Long runs of equal sizes meet this most often.
inline bool ChecksumsDiffer(const FileRecord* a, const FileRecord* b) {
  return a->checksum && b->checksum && a->checksum != b->checksum;
}
// After record's file became a hard link to head's file: record joins head's group.
void AddToLinkGroup(FileRecord* head, FileRecord* record);
