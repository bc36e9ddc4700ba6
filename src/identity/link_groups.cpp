#include "identity/link_groups.h"

#include <cstring>

#include "base/memory.h"
#include "base/run_options.h"
#include "identity/record_identity.h"
#include "pool/record_changes.h"

namespace {
LinkGroup* NewGroup(FileRecord* head, uint32_t links, uint32_t capacity) {
  auto* group = static_cast<LinkGroup*>(MemAlloc(sizeof(LinkGroup)));
  group->links = links;
  group->capacity = capacity;
  group->members = static_cast<FileRecord**>(MemAlloc(capacity * sizeof(FileRecord*)));
  group->members[0] = head;
  group->count = 1;
  head->linkState = LinkState::Head;
  head->linkGroup = group;
  head->linkCount = 0;  // the group holds the file's count from here
  NoteRecordChanged(head);
  return group;
}

// The group's count covers one file reached through linked folders, which can show more names than links.
void AddMember(LinkGroup* group, FileRecord* record) {
  if (group->count == group->capacity) {
    uint32_t capacity = group->capacity + 4;
    FileRecord** members = static_cast<FileRecord**>(MemAlloc(capacity * sizeof(FileRecord*)));
    memcpy(members, group->members, group->count * sizeof(FileRecord*));
    MemFree(group->members);
    group->members = members;
    group->capacity = capacity;
  }
  group->members[group->count++] = record;
  record->linkState = LinkState::Member;
  record->linkGroup = group;
  record->linkCount = 0;
  NoteRecordChanged(record);
}

void FreeGroup(LinkGroup* group) {
  MemFree(group->members);
  MemFree(group);
}

// A further name leaves its group: its file has one name fewer, which every name left must show.
void LeaveGroup(FileRecord* member) {
  LinkGroup* group = member->linkGroup;
  uint32_t slot = 0;
  while (slot < group->count && group->members[slot] != member) ++slot;
  if (slot < group->count) {
    memmove(group->members + slot, group->members + slot + 1, (group->count - slot - 1) * sizeof(FileRecord*));
    --group->count;
  }
  if (group->links > 1) --group->links;
  for (uint32_t i = 0; i < group->count; ++i) NoteRecordChanged(group->members[i]);
  member->linkState = LinkState::Single;
  member->linkGroup = nullptr;
  member->linkCount = 0;
  NoteRecordChanged(member);
}
}  // namespace

uint32_t ReadLinkCount(FileRecord* record) {
  if (LinkCount(record) == 0 && !record->linkGroup) {
    record->linkCount = ReadRecordIdentity(record);
    NoteRecordChanged(record);
  }
  return LinkCount(record);
}

void RereadIdentity(FileRecord* record) {
  if (record->linkGroup) return;  // a group's names share the count the group keeps
  record->linkCount = ReadRecordIdentity(record);
  NoteRecordChanged(record);
}

void ReadIdentityThrough(FileRecord* record, void* file) {
  if (IsLinkResolved(record) || record->linkCount != 0) return;
  record->linkCount = ReadRecordIdentityThrough(record, file);
  NoteRecordChanged(record);
}

void ResolveLinkGroup(FileRecord* records, uint32_t count, FileRecord* record, LinkGroupGathering gathering) {
  if (IsLinkResolved(record)) return;
  if (record->linkCount == 0) record->linkCount = ReadRecordIdentityForChecksum(record);
  uint32_t links = record->linkCount;
  if (links <= 1 || !HasFileIndex(record)) {
    record->linkState = LinkState::Single;
    NoteRecordChanged(record);
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
      if (head == record || !IsLinkHead(head) || head->size != record->size || !SameFile(head, record)) continue;
      AddMember(head->linkGroup, record);
      return;
    }
    NewGroup(record, links, links);
    return;
  }

  LinkGroup* group = NewGroup(record, links, links);
  for (uint32_t i = first; i < end; ++i) {
    FileRecord* other = &records[i];
    // A deleted record's name is gone; it must not join a group that actions later walk.
    if (other == record || other->size != record->size || IsGone(other)) continue;
    // Through the checksum's open: the walk meets the other names of the run next, and reads them.
    if (!HasFileIndex(other)) ReadRecordIdentityForChecksum(other);
    if (SameFile(other, record)) AddMember(group, other);
  }
}

int HasEqualFileIndex(FileRecord* a, FileRecord* b) {
  ReadLinkCount(a);
  ReadLinkCount(b);
  // An index that could not be read is unknown: two unreadable files are not one file.
  return IsSameFile(a, b);
}

void JoinLinkGroup(FileRecord* head, FileRecord* record) {
  if (IsLinkHead(record)) DissolveLinkGroup(record);
  if (IsLinkMember(record)) LeaveGroup(record);
  // The head joins the group of its own file, whichever name heads it.
  LinkGroup* group = head->linkGroup;
  if (!group) group = NewGroup(head, head->linkCount ? head->linkCount : 1, 4);
  AddMember(group, record);
  ++group->links;
  for (uint32_t i = 0; i < group->count; ++i) NoteRecordChanged(group->members[i]);
  record->fileIndexLow = head->fileIndexLow;
  record->fileIndexHigh = head->fileIndexHigh;
  record->volumeSerial = head->volumeSerial;
  record->serialRead = head->serialRead;
}

void DissolveLinkGroup(FileRecord* head) {
  LinkGroup* group = head->linkGroup;
  if (!group) return;
  for (uint32_t slot = 0; slot < group->count; ++slot) {
    FileRecord* name = group->members[slot];
    name->linkState = LinkState::Single;
    name->linkGroup = nullptr;
    name->linkCount = group->links;
    NoteRecordChanged(name);
  }
  FreeGroup(group);
}

void ReleaseLinkGroups(FileRecord* records, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    FileRecord* record = &records[i];
    LinkGroup* group = record->linkGroup;
    if (IsLinkHead(record) && group && group->members[0] == record) FreeGroup(group);
    record->linkGroup = nullptr;
  }
}
