#include "match/folder_keys.h"

#include <cstddef>

#include "base/memory.h"
#include "match/name_key.h"

namespace {
uint32_t SlotOf(const wchar_t* folder, uint32_t mask) {
  uint64_t address = reinterpret_cast<uintptr_t>(folder);
  return static_cast<uint32_t>((address * 0x9E3779B97F4A7C15ull) >> 32) & mask;
}
}  // namespace

FolderKeys::~FolderKeys() { MemFree(slots_); }

uint32_t FolderKeys::KeyOf(const wchar_t* folder) {
  if (2 * (count_ + 1) > mask_) Grow();
  uint32_t slot = SlotOf(folder, mask_);
  for (; slots_[slot].folder; slot = (slot + 1) & mask_)
    if (slots_[slot].folder == folder) return slots_[slot].key;
  slots_[slot] = {folder, CaseBlindKey(folder)};
  ++count_;
  return slots_[slot].key;
}

// Twice the slots, so that at most half are taken and a search ends soon at a free one.
void FolderKeys::Grow() {
  uint32_t oldSize = slots_ ? mask_ + 1 : 0;
  Entry* old = slots_;
  mask_ = oldSize ? 2 * oldSize - 1 : 255;
  slots_ = static_cast<Entry*>(MemAlloc(size_t(mask_ + 1) * sizeof(Entry)));
  for (uint32_t i = 0; i < oldSize; ++i) {
    if (!old[i].folder) continue;
    uint32_t slot = SlotOf(old[i].folder, mask_);
    while (slots_[slot].folder) slot = (slot + 1) & mask_;
    slots_[slot] = old[i];
  }
  MemFree(old);
}
