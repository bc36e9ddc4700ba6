#include "match/size_run_index.h"

#include "base/memory.h"
#include "base/run_options.h"
#include "identity/link_groups.h"
#include "match/name_key.h"

SizeRunIndex::~SizeRunIndex() {
  MemFree(keys_);
  MemFree(listed_);
  MemFree(shared_);
}

void SizeRunIndex::Reset(FileRecord* first, uint32_t count, bool linkAction) {
  first_ = first;
  count_ = count;
  linkAction_ = linkAction;
  MemFree(keys_);
  MemFree(listed_);
  MemFree(shared_);
  keys_ = static_cast<uint64_t*>(MemAlloc(size_t(count) * sizeof(uint64_t) + 1));
  listed_ = static_cast<uint64_t*>(MemAlloc(size_t(count) * sizeof(uint64_t) + 1));
  shared_ = static_cast<uint8_t*>(MemAlloc(size_t(count) + 1));
  plain_.Reset(count);
  visit_.Reset(count);
  byChecksum_.Reset(count);
  byKey_.Reset(count);
  for (uint32_t position = 0; position < count; ++position) {
    FileRecord* record = At(position);
    keys_[position] = IsGone(record) ? kNoKey : KeyOf(record);
    uint32_t loner;
    if (keys_[position] != kNoKey && byKey_.Add(keys_[position], position, &loner))
      MarkShared(position, loner, kKeyShared);
    Refresh(record);
  }
}

void SizeRunIndex::MarkShared(uint32_t position, uint32_t loner, uint8_t flag) {
  shared_[position] |= flag;
  if (loner != PositionLists::kNone) shared_[loner] |= flag;
}

uint64_t SizeRunIndex::KeyOf(FileRecord* record) {
  if (Holds(record) && keys_[record - first_] != kNoKey) return keys_[record - first_];
  uint32_t name = NameKey(record);
  if (name == kNoNameKey) return kNoKey;
  if (RunOptions.SameNameOnly) return name;
  uint32_t dir = folderKeys_.KeyOf(record->dir);
  return dir == kNoNameKey ? kNoKey : uint64_t(name) << 32 | dir;
}

void SizeRunIndex::Refresh(FileRecord* record) {
  if (!Holds(record)) return;
  uint32_t position = uint32_t(record - first_);
  bool dead = IsLinkMember(record) || (IsLinkResolved(record) && IsGone(record));
  bool plain = !dead && IsLinkResolved(record) && record->checksum && keys_[position] != kNoKey &&
               !(linkAction_ && LinkCount(record) > 1);
  if (plain)
    plain_.Insert(position);
  else
    plain_.Erase(position);
  if (dead || plain)
    visit_.Erase(position);
  else
    visit_.Insert(position);
  if (!record->checksum || listed_[position] == record->checksum) return;
  listed_[position] = record->checksum;
  uint32_t loner;
  if (byChecksum_.Add(record->checksum, position, &loner)) MarkShared(position, loner, kChecksumShared);
}

uint32_t SizeRunIndex::NextToVisit(const FileRecord* a, uint64_t aKey, uint32_t from) const {
  uint32_t next = visit_.NextFrom(from);
  // A record of the run is listed under its own checksum and key: unless it shares one, its lists hold itself.
  uint8_t shared = kChecksumShared | kKeyShared;
  if (Holds(a)) {
    uint32_t self = uint32_t(a - first_);
    if (self >= from && self < next) next = self;
    if (listed_[self] == a->checksum) shared = shared_[self];
  }
  if (shared & kChecksumShared) {
    uint32_t sameChecksum = byChecksum_.NextFrom(a->checksum, from);
    if (sameChecksum < next) next = sameChecksum;
  }
  if (shared & kKeyShared) {
    uint32_t sameKey = byKey_.NextFrom(aKey, from);
    if (sameKey < next) next = sameKey;
  }
  return next;
}
