#include "match/position_lists.h"

#include <cstring>

#include "base/memory.h"

namespace {
constexpr uint32_t kFirstSlots = 64;

uint32_t SlotOf(uint64_t key, uint32_t mask) {
  key ^= key >> 33;
  key *= 0xff51afd7ed558ccdull;  // a 64-bit mixer: checksums and name hashes are spread already, but not both halves
  key ^= key >> 33;
  return uint32_t(key) & mask;
}

// The first item not below position.
uint32_t LowerBound(const uint32_t* items, uint32_t count, uint32_t position) {
  uint32_t lo = 0, hi = count;
  while (lo < hi) {
    uint32_t mid = lo + (hi - lo) / 2;
    if (items[mid] < position)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}
}  // namespace

PositionLists::~PositionLists() { Release(); }

void PositionLists::Release() {
  if (slots_)
    for (uint32_t i = 0; i <= mask_; ++i) MemFree(slots_[i].items);
  MemFree(slots_);
  slots_ = nullptr;
  used_ = 0;
}

void PositionLists::Reset(uint32_t expectedKeys) {
  Release();
  uint32_t slots = kFirstSlots;
  while (slots / 2 < expectedKeys && slots < 0x80000000u) slots *= 2;
  slots_ = static_cast<Entry*>(MemAlloc(size_t(slots) * sizeof(Entry)));
  mask_ = slots - 1;
}

PositionLists::Entry* PositionLists::Find(uint64_t key) const {
  for (uint32_t slot = SlotOf(key, mask_);; slot = (slot + 1) & mask_) {
    Entry* entry = &slots_[slot];
    if (entry->count == 0 || entry->key == key) return entry;
  }
}

// Keeps the table at most half full.
void PositionLists::Grow() {
  Entry* old = slots_;
  uint32_t oldSlots = mask_ + 1;
  mask_ = oldSlots * 2 - 1;
  slots_ = static_cast<Entry*>(MemAlloc(size_t(mask_ + 1) * sizeof(Entry)));
  for (uint32_t i = 0; i < oldSlots; ++i)
    if (old[i].count) *Find(old[i].key) = old[i];
  MemFree(old);
}

bool PositionLists::Add(uint64_t key, uint32_t position, uint32_t* loner) {
  *loner = kNone;
  Entry* entry = Find(key);
  if (entry->count == 0) {
    if ((used_ + 1) * 2 > mask_ + 1) {
      Grow();
      entry = Find(key);
    }
    *entry = {key, 1, position, nullptr};
    ++used_;
    return false;
  }
  if (entry->count == 1) {
    if (entry->single == position) return false;
    *loner = entry->single;
    entry->items = static_cast<uint32_t*>(MemAlloc(4 * sizeof(uint32_t)));
    entry->items[0] = entry->single;
  }
  uint32_t at = LowerBound(entry->items, entry->count, position);
  if (at < entry->count && entry->items[at] == position) return true;
  uint32_t count = entry->count;
  if (count >= 4 && (count & (count - 1)) == 0) {  // full: room doubles at every power of two
    uint32_t* larger = static_cast<uint32_t*>(MemAlloc(size_t(count) * 2 * sizeof(uint32_t)));
    memcpy(larger, entry->items, count * sizeof(uint32_t));
    MemFree(entry->items);
    entry->items = larger;
  }
  memmove(entry->items + at + 1, entry->items + at, (count - at) * sizeof(uint32_t));
  entry->items[at] = position;
  ++entry->count;
  return true;
}

uint32_t PositionLists::NextFrom(uint64_t key, uint32_t from) const {
  const Entry* entry = Find(key);
  if (entry->count == 0) return kNone;
  if (entry->count == 1) return entry->single >= from ? entry->single : kNone;
  uint32_t at = LowerBound(entry->items, entry->count, from);
  return at < entry->count ? entry->items[at] : kNone;
}
