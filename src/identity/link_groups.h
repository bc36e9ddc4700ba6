#pragma once
// A file's link group: the records that are names of one file, headed by the first name resolved, and the
// file's link count. This module alone reads identity into a record's link state and edits its group; the
// rest of the program asks it.
#include <cstdint>

#include "pool/file_record.h"

constexpr uint32_t kMaxLinkCount = 1024;  // the most names one NTFS file can have

// The storage the names of one file share; the head owns it.
struct LinkGroup {
  uint32_t links;          // the file's link count
  uint32_t count;          // slots used in members
  uint32_t capacity;
  FileRecord** members;    // head first
};

inline bool IsLinkHead(const FileRecord* record) { return record->linkState == LinkState::Head; }
inline bool IsLinkMember(const FileRecord* record) { return record->linkState == LinkState::Member; }
// A resolved file of its own (whatever its link count): no group of this run holds it.
inline bool IsSingleName(const FileRecord* record) { return record->linkState == LinkState::Single; }
inline bool IsLinkResolved(const FileRecord* record) { return record->linkState != LinkState::Unknown; }

// The file's link count as last read; 0 while not read, or when it could not be.
inline uint32_t LinkCount(const FileRecord* record) {
  return record->linkGroup ? record->linkGroup->links : record->linkCount;
}
// The link count, read from the file (with its index) when still 0.
uint32_t ReadLinkCount(FileRecord* record);
// 1 when both records name one file: equal indexes on one volume (an unread index never matches). Reads a
// missing index, and the link count with it, first.
int HasEqualFileIndex(FileRecord* a, FileRecord* b);
// The link count and file index of a record not resolved yet, read through an open the caller holds (a void*
// HANDLE with read access), which spares the walk an open of its own.
void ReadIdentityThrough(FileRecord* record, void* file);
// Reads the index and link count of a file of its own again, after an action changed its file.
void RereadIdentity(FileRecord* record);

// Names in the record's group, head included; 0 for a record in none.
inline uint32_t LinkGroupSize(const FileRecord* record) {
  return record->linkGroup ? record->linkGroup->count : 0;
}
inline FileRecord* LinkGroupMember(const FileRecord* record, uint32_t slot) {
  return record->linkGroup->members[slot];
}

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
// After record's name became a hard link to head's file: record leaves any group it was in and joins head's
// (head becomes its head if it headed none), takes the file's index and volume, and the file's link count
// rises by one.
void JoinLinkGroup(FileRecord* head, FileRecord* record);
// Every name leaves the head's group as a file of its own, its identity read again; the group is freed.
void DissolveLinkGroup(FileRecord* head);
// Frees the groups the records head, at the end of the run.
void ReleaseLinkGroups(FileRecord* records, uint32_t count);
