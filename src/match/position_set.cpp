#include "match/position_set.h"

#include "base/memory.h"

PositionSet::~PositionSet() { Release(); }

void PositionSet::Release() {
  MemFree(tree_);
  MemFree(member_);
  tree_ = nullptr;
  member_ = nullptr;
  size_ = 0;
  members_ = 0;
}

void PositionSet::Reset(uint32_t size) {
  Release();
  size_ = size;
  tree_ = static_cast<uint32_t*>(MemAlloc((size_t(size) + 1) * sizeof(uint32_t)));
  member_ = static_cast<uint8_t*>(MemAlloc(size_t(size) + 1));
  for (topBit_ = 1; topBit_ <= size / 2;) topBit_ *= 2;
}

void PositionSet::Add(uint32_t position, int32_t delta) {
  for (uint32_t i = position + 1; i <= size_; i += i & (0 - i)) tree_[i] += uint32_t(delta);
}

void PositionSet::Insert(uint32_t position) {
  if (member_[position]) return;
  member_[position] = 1;
  ++members_;
  Add(position, 1);
}

void PositionSet::Erase(uint32_t position) {
  if (!member_[position]) return;
  member_[position] = 0;
  --members_;
  Add(position, -1);
}

uint32_t PositionSet::CountBefore(uint32_t position) const {
  uint32_t count = 0;
  for (uint32_t i = position; i > 0; i -= i & (0 - i)) count += tree_[i];
  return count;
}

uint32_t PositionSet::CountIn(uint32_t from, uint32_t to) const {
  return to > from && members_ ? CountBefore(to) - CountBefore(from) : 0;
}

uint32_t PositionSet::NextFrom(uint32_t from) const {
  if (from >= size_ || members_ == 0) return size_;
  // Descend to the largest prefix holding no more than the members before from: the next member follows it.
  uint32_t wanted = CountBefore(from) + 1;
  uint32_t position = 0;
  for (uint32_t step = topBit_; step; step /= 2) {
    uint32_t next = position + step;
    if (next <= size_ && tree_[next] < wanted) {
      position = next;
      wanted -= tree_[next];
    }
  }
  return position < size_ ? position : size_;
}
