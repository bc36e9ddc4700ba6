#pragma once
#include <cstdint>

// Sorted lists of positions, one per 64-bit key, in an open-addressing table: finds the next position held
// under a key. Most keys hold one position, kept in the table itself.
class PositionLists {
 public:
  static constexpr uint32_t kNone = UINT32_MAX;

  PositionLists() = default;
  ~PositionLists();
  PositionLists(const PositionLists&) = delete;
  PositionLists& operator=(const PositionLists&) = delete;

  // Drops every list; room for about that many keys without growing.
  void Reset(uint32_t expectedKeys);
  // Adds the position under the key (a position already held is not added again). True when the key holds
  // more than one position; *loner is then the position that held the key alone until now, else kNone.
  bool Add(uint64_t key, uint32_t position, uint32_t* loner);
  // The smallest position at or after from held under the key; kNone when there is none.
  uint32_t NextFrom(uint64_t key, uint32_t from) const;

 private:
  struct Entry {
    uint64_t key;
    uint32_t count;     // 0: a free slot
    uint32_t single;    // the position while count is 1
    uint32_t* items;    // the sorted positions once count is 2 or more; room for max(4, 2^k >= count)
  };
  Entry* Find(uint64_t key) const;
  void Grow();
  void Release();

  Entry* slots_ = nullptr;
  uint32_t mask_ = 0;  // slot count - 1, a power of two minus one
  uint32_t used_ = 0;
};
