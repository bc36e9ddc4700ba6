#include "identity/link_groups.h"

#include <windows.h>
#include <winternl.h>

#include <cstring>
#include <initializer_list>

#include "base/memory.h"
#include "base/run_options.h"
#include "compare/kept_opens.h"
#include "identity/file_identity.h"
#include "identity/fragmentation.h"
#include "pool/ptr_list.h"
#include "pool/record_path.h"
#include "seam/system_calls.h"

namespace {
uint32_t* NewCell(uint32_t value) {
  uint32_t* cell = static_cast<uint32_t*>(MemAlloc(sizeof(uint32_t)));
  *cell = value;
  return cell;
}

bool HasFileIndex(const FileRecord* record) { return record->fileIndexLow != 0 || record->fileIndexHigh != 0; }

// The serial of the record's volume, read on first need: only a record that shares its index with another
// pays for the volume query.
bool ReadRecordSerial(FileRecord* record) {
  if (record->serialRead == kSerialRead) return true;
  JoinedPath path(record->dir, record->name);
  HANDLE file = OpenForIdentity(path.Text());
  if (file == INVALID_HANDLE_VALUE) return false;
  uint32_t serial = 0;
  bool read = ReadVolumeSerial(file, &serial);
  CloseHandle(file);
  if (!read) return false;
  record->volumeSerial = serial;
  record->serialRead = kSerialRead;
  return true;
}

// Equal indexes name one file only on one volume. A serial that cannot be read counts as the same volume:
// records taken for one file are never compared by content, so nothing is acted on by mistake.
bool SameFile(FileRecord* a, FileRecord* b) {
  if (a->fileIndexLow != b->fileIndexLow || a->fileIndexHigh != b->fileIndexHigh) return false;
  if (a->serialRead == kOnPoolVolume && b->serialRead == kOnPoolVolume && a->volumeSerial == b->volumeSerial)
    return true;
  bool known = ReadRecordSerial(a) & ReadRecordSerial(b);
  return !known || a->volumeSerial == b->volumeSerial;
}

uint32_t ReadIdentity(FileRecord* record) {
  JoinedPath path(record->dir, record->name);
  return GetFileIdentity(path.Text(), &record->fileIndexLow, &record->fileIndexHigh);
}

// A member sees the head's group storage and the file's link count.
void ShareGroupOf(const FileRecord* head, FileRecord* member) {
  member->linkState = 3;
  member->linkCount = head->linkCount;
  member->groupMembers = head->groupMembers;
  member->groupCapacity = head->groupCapacity;
  member->groupCount = head->groupCount;
}

// Moves a group's members to a larger array. Every member holds the array's address, so all are updated.
void GrowMembers(FileRecord* head, uint32_t capacity) {
  FileRecord** members = static_cast<FileRecord**>(MemAlloc(capacity * sizeof(FileRecord*)));
  uint32_t used = *head->groupCount;
  memcpy(members, head->groupMembers, used * sizeof(FileRecord*));
  FileRecord** old = head->groupMembers;
  for (uint32_t i = 0; i < used; ++i)
    if (members[i]) members[i]->groupMembers = members;
  head->groupMembers = members;
  *head->groupCapacity = capacity;
  MemFree(old);
}

// The link count and the file index come from two file-information queries rather than from
// GetFileInformationByHandle, which also asks for the volume's serial number: under Wine that one volume
// query costs three times the open itself, and this runs for nearly every file of a run.
// The standard information holds the allocation size too: where that is the measure GetAllocationSize
// takes, it is kept (allocation, when not null), which spares a duplicate its own open later. Only for a file
// of one name: a pair of two names of one file counts an allocation only when content comparison read it.
uint32_t QueryIdentity(HANDLE file, uint32_t* indexLow, uint32_t* indexHigh, int64_t* allocation = nullptr) {
  IO_STATUS_BLOCK status;
  FILE_STANDARD_INFORMATION standard;
  FILE_INTERNAL_INFORMATION internal;
  if (NT_SUCCESS(FileSystem.QueryInformation(file, &status, &standard, sizeof standard, FileStandardInformation)) &&
      NT_SUCCESS(FileSystem.QueryInformation(file, &status, &internal, sizeof internal, FileInternalInformation))) {
    *indexLow = internal.IndexNumber.LowPart;
    *indexHigh = static_cast<uint32_t>(internal.IndexNumber.HighPart);
    if (allocation && standard.NumberOfLinks <= 1 && AllocationSizeIsStandard())
      *allocation = standard.AllocationSize.QuadPart;
    return standard.NumberOfLinks;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) return 0;
  *indexLow = info.nFileIndexLow;
  *indexHigh = info.nFileIndexHigh;
  return info.nNumberOfLinks;
}

// The record met by the matching walk is read for its checksum next, mostly: its identity is read through
// the checksum's own open, which is kept for it. A file others may not share for reading gets the plain
// identity open, and its checksum reports the failure as it would have.
uint32_t ReadIdentityForChecksum(FileRecord* record) {
  if (!IsKeepingForChecksum()) return ReadIdentity(record);
  JoinedPath path(record->dir, record->name);
  HANDLE file = OpenForChecksum(path.Text());
  if (file == INVALID_HANDLE_VALUE) return GetFileIdentity(path.Text(), &record->fileIndexLow, &record->fileIndexHigh);
  uint32_t links = QueryIdentity(file, &record->fileIndexLow, &record->fileIndexHigh, &record->allocSize);
  KeepUnreadForChecksum(path.Text(), file);
  return links;
}
}  // namespace

uint32_t GetFileIdentity(const wchar_t* path, uint32_t* indexLow, uint32_t* indexHigh) {
  HANDLE file = OpenForIdentity(path);
  if (file == INVALID_HANDLE_VALUE) return 0;
  uint32_t links = QueryIdentity(file, indexLow, indexHigh);
  CloseHandle(file);
  return links;
}

uint32_t GetLinkCount(const wchar_t* path) {
  uint32_t low = 0, high = 0;
  return GetFileIdentity(path, &low, &high);
}

void ResolveLinkGroup(FileRecord* records, uint32_t count, FileRecord* record, LinkGroupGathering gathering) {
  if (record->linkState > 0) return;
  if (!record->linkCount) record->linkCount = NewCell(ReadIdentityForChecksum(record));
  uint32_t links = *record->linkCount;
  if (links <= 1 || !HasFileIndex(record)) {
    record->linkState = 1;
    return;
  }

  // Other names of the file have its size: only the run of that size is searched when the pool is sorted.
  uint32_t first = 0, end = count;
  if (RunOptions.SortBySize) {
    first = record->index;
    while (first > 0 && records[first - 1].size == record->size) --first;
    end = record->index;
    while (end < count && records[end].size == record->size) ++end;
  }
  if (gathering == LinkGroupGathering::AsMet) {
    for (uint32_t i = first; i < end; ++i) {
      FileRecord* head = &records[i];
      if (head == record || head->linkState != 2 || head->size != record->size || !SameFile(head, record)) continue;
      MemFree(record->linkCount);
      record->linkCount = nullptr;
      if (*head->groupCount == *head->groupCapacity) GrowMembers(head, *head->groupCount + 4);
      head->groupMembers[(*head->groupCount)++] = record;
      ShareGroupOf(head, record);
      return;
    }
  }

  record->linkState = 2;
  MemFree(record->groupMembers);
  record->groupMembers = static_cast<FileRecord**>(MemAlloc(links * sizeof(FileRecord*)));
  if (!record->groupCapacity) record->groupCapacity = NewCell(0);
  if (!record->groupCount) record->groupCount = NewCell(0);
  *record->groupCapacity = links;
  record->groupMembers[0] = record;
  uint32_t used = 1;
  if (gathering == LinkGroupGathering::AsMet) {
    *record->groupCount = used;
    return;
  }

  for (uint32_t i = first; i < end; ++i) {
    FileRecord* other = &records[i];
    // A deleted record's name is gone; it must not join a group that actions later walk.
    if (other == record || other->size != record->size || !other->name || !other->name[0]) continue;
    // Through the checksum's open: the walk meets the other names of the run next, and reads them.
    if (!HasFileIndex(other)) ReadIdentityForChecksum(other);
    if (!SameFile(other, record)) continue;
    // One file reached through linked folders can show more names than its link count.
    if (used == *record->groupCapacity) {
      *record->groupCount = used;
      GrowMembers(record, used + 4);
    }
    record->groupMembers[used++] = other;
  }
  *record->groupCount = used;
  for (uint32_t i = 1; i < used; ++i) ShareGroupOf(record, record->groupMembers[i]);
}

int HasEqualFileIndex(FileRecord* a, FileRecord* b) {
  for (FileRecord* record : {a, b}) {
    if (!record->linkCount) record->linkCount = NewCell(0);
    if (*record->linkCount == 0) *record->linkCount = ReadIdentity(record);
  }
  // An index that could not be read is unknown: two unreadable files are not one file.
  return IsSameFile(a, b);
}

int IsSameFile(FileRecord* a, FileRecord* b) { return HasFileIndex(a) && SameFile(a, b); }

int IsKnownIdentical(const PtrList* list, FileRecord* record, int deep) {
  if (!list) return 0;
  for (int32_t i = 0; i < list->count; ++i)
    if (list->items[i] == record) return 1;
  if (HasFileIndex(record))
    for (int32_t i = 0; i < list->count; ++i)
      if (SameFile(list->items[i], record)) return 1;
  if (deep)
    for (int32_t i = 0; i < list->count; ++i)
      if (IsKnownIdentical(record->comparedWith, list->items[i], 0)) return 1;
  return 0;
}

void LinkIdentical(FileRecord* a, FileRecord* b) {
  for (FileRecord* record : {a, b}) {
    if (record->comparedWith) continue;
    record->comparedWith = static_cast<PtrList*>(MemAlloc(sizeof(PtrList)));
    PtrListInit(record->comparedWith);
  }
  PtrListAdd(a->comparedWith, b);
  PtrListAdd(b->comparedWith, a);
}

void AddToLinkGroup(FileRecord* head, FileRecord* record) {
  if (head->groupMembers) {
    if (*head->groupCount >= *head->groupCapacity) GrowMembers(head, *head->groupCapacity + 4);
  } else {
    head->groupMembers = static_cast<FileRecord**>(MemAlloc(4 * sizeof(FileRecord*)));
    if (!head->groupCapacity) head->groupCapacity = NewCell(0);
    if (!head->groupCount) head->groupCount = NewCell(0);
    *head->groupCapacity = 4;
    head->groupMembers[0] = head;
    *head->groupCount = 1;
  }
  head->groupMembers[(*head->groupCount)++] = record;
  if (!head->linkCount) head->linkCount = NewCell(1);
  ShareGroupOf(head, record);
  ++*head->linkCount;
}
