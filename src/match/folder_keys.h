#pragma once
#include <cstdint>

// The case-blind keys of folder paths, made once per folder string. The records of a long size run come from
// many folders, and under Wine a folder's key (a sort key of the whole path) costs more than the rest of a
// record's indexing. Keyed by the string's address: the records of one folder share one string, and every
// string asked for must outlive the cache.
class FolderKeys {
 public:
  FolderKeys() = default;
  ~FolderKeys();
  FolderKeys(const FolderKeys&) = delete;
  FolderKeys& operator=(const FolderKeys&) = delete;

  uint32_t KeyOf(const wchar_t* folder);

 private:
  struct Entry {
    const wchar_t* folder;  // null: a free slot
    uint32_t key;
  };
  void Grow();

  Entry* slots_ = nullptr;
  uint32_t mask_ = 0;
  uint32_t count_ = 0;
};
