#pragma once
#include <cstdint>

// A set of positions 0 to size - 1 that counts its members in a range and finds the next member, both in
// logarithmic time (a Fenwick tree over membership bits).
class PositionSet {
 public:
  PositionSet() = default;
  ~PositionSet();
  PositionSet(const PositionSet&) = delete;
  PositionSet& operator=(const PositionSet&) = delete;

  // Empties the set and sizes it for positions 0 to size - 1.
  void Reset(uint32_t size);
  void Insert(uint32_t position);
  void Erase(uint32_t position);
  // Members in [from, to).
  uint32_t CountIn(uint32_t from, uint32_t to) const;
  // The smallest member at or after from; size when there is none.
  uint32_t NextFrom(uint32_t from) const;

 private:
  void Add(uint32_t position, int32_t delta);
  uint32_t CountBefore(uint32_t position) const;

  void Release();

  uint32_t size_ = 0;
  uint32_t members_ = 0;
  uint32_t topBit_ = 1;           // the highest power of two not above size
  uint32_t* tree_ = nullptr;      // tree_[i] counts the members in (i - lowbit(i), i], 1-based
  uint8_t* member_ = nullptr;
};
