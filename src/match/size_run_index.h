#pragma once
#include <cstdint>

#include "match/folder_keys.h"
#include "match/position_lists.h"
#include "match/position_set.h"
#include "pool/file_record.h"

// What the matching walk knows about one run of equal size in the second pool, so that it can pass over, in
// bulk, the second files whose pair with the first file can only be counted as tested and found different.
// Such a "plain" record is resolved, not gone, no member of another's group, has its checksum, carries
// name keys and, with a hard-link action, a file of one name. Every other record that can still take part is
// visited one by one, and so is every record that shares the first file's checksum or name keys. The walk
// refreshes a record whenever a pair may have changed it.
class SizeRunIndex {
 public:
  static constexpr uint64_t kNoKey = 0;

  SizeRunIndex() = default;
  ~SizeRunIndex();
  SizeRunIndex(const SizeRunIndex&) = delete;
  SizeRunIndex& operator=(const SizeRunIndex&) = delete;

  void Reset(FileRecord* first, uint32_t count, bool linkAction);
  FileRecord* First() const { return first_; }
  uint32_t Count() const { return count_; }
  FileRecord* At(uint32_t position) const { return first_ + position; }
  bool Holds(const FileRecord* record) const { return record >= first_ && record < first_ + count_; }

  // The key under which a record meets the records that may carry its name in its folder (or, with -i, its
  // name anywhere): name and folder hashes; kNoKey when one could not be made.
  uint64_t KeyOf(FileRecord* record);
  // Classifies a record of the run again after a pair may have changed it; others are left alone.
  void Refresh(FileRecord* record);
  // Plain records in [from, to).
  uint32_t PlainIn(uint32_t from, uint32_t to) const { return plain_.CountIn(from, to); }
  // The first position at or after from that the first file (with its key) must visit one by one: a record
  // that is not plain, one with its checksum or its key, or the first file itself. Count() when there is none.
  uint32_t NextToVisit(const FileRecord* a, uint64_t aKey, uint32_t from) const;

 private:
  enum : uint8_t { kChecksumShared = 1, kKeyShared = 2 };
  void MarkShared(uint32_t position, uint32_t loner, uint8_t flag);

  FileRecord* first_ = nullptr;
  uint32_t count_ = 0;
  bool linkAction_ = false;
  uint64_t* keys_ = nullptr;
  uint64_t* listed_ = nullptr;   // the checksum each position is listed under (0: none yet)
  uint8_t* shared_ = nullptr;    // which of its lists a position shares with another: most share none
  PositionSet plain_;
  PositionSet visit_;
  PositionLists byChecksum_;
  PositionLists byKey_;
  FolderKeys folderKeys_;  // kept from run to run: a folder's files come in many sizes
};
