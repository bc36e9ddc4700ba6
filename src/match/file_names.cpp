#include "match/file_names.h"

#include <cstring>

#include "base/memory.h"
#include "identity/known_identical.h"
#include "identity/record_identity.h"

namespace {
// An open-addressing table from file index to the first record met with it; a null record marks a free slot.
struct Slot {
  uint64_t index;
  FileRecord* record;
};

constexpr uint32_t kFirstCapacity = 16;
// A table grown for one long run is let go rather than cleared slot by slot for each small run after it.
constexpr uint32_t kClearedCapacity = 64;

// The walk runs on the matching thread only.
Slot* g_slots = nullptr;
uint32_t g_capacity = 0;  // a power of two
uint32_t g_count = 0;
int64_t g_size = -1;

uint64_t IndexOf(const FileRecord* record) { return (uint64_t(record->fileIndexHigh) << 32) | record->fileIndexLow; }

uint32_t SlotOf(uint64_t index) {
  return static_cast<uint32_t>((index * 0x9E3779B97F4A7C15ull) >> 32) & (g_capacity - 1);
}

void Place(FileRecord* record) {
  uint64_t index = IndexOf(record);
  uint32_t slot = SlotOf(index);
  while (g_slots[slot].record) slot = (slot + 1) & (g_capacity - 1);
  g_slots[slot] = {index, record};
  ++g_count;
}

void Grow() {
  Slot* old = g_slots;
  uint32_t oldCapacity = g_capacity;
  g_capacity = oldCapacity ? oldCapacity * 2 : kFirstCapacity;
  g_slots = static_cast<Slot*>(MemAlloc(g_capacity * sizeof(Slot)));
  g_count = 0;
  for (uint32_t i = 0; i < oldCapacity; ++i)
    if (old[i].record) Place(old[i].record);
  MemFree(old);
}

// The first record met of the record's file; null when none. An action that relinked a record changed its
// index, so a record is taken only when its index still is the one it was placed under.
FileRecord* Find(FileRecord* record) {
  if (!g_count) return nullptr;
  uint64_t index = IndexOf(record);
  for (uint32_t slot = SlotOf(index); g_slots[slot].record; slot = (slot + 1) & (g_capacity - 1)) {
    FileRecord* met = g_slots[slot].record;
    if (g_slots[slot].index == index && (met == record || (IndexOf(met) == index && IsSameFile(met, record))))
      return met;
  }
  return nullptr;
}
}  // namespace

void KeepFileNamesOfSize(int64_t size) {
  if (size == g_size) return;
  g_size = size;
  if (!g_count) return;
  if (g_capacity > kClearedCapacity) {
    ForgetFileNames();
    g_size = size;
    return;
  }
  memset(g_slots, 0, g_capacity * sizeof(Slot));
  g_count = 0;
}

void NoteFileName(FileRecord* record) {
  if (!record->fileIndexLow && !record->fileIndexHigh) return;  // unread: it stands for nothing else
  if (Find(record)) return;
  if (2 * (g_count + 1) > g_capacity) Grow();
  Place(record);
}

FileRecord* FirstNameOf(FileRecord* record) {
  if (!record->fileIndexLow && !record->fileIndexHigh) return record;
  FileRecord* first = Find(record);
  return first ? first : record;
}

void ForgetFileNames() {
  MemFree(g_slots);
  g_slots = nullptr;
  g_capacity = 0;
  g_count = 0;
  g_size = -1;
}

bool KnownIdenticalAsFiles(FileRecord* a, FileRecord* b) {
  if (KnownIdenticalEitherWay(a, b)) return true;
  FileRecord* firstA = FirstNameOf(a);
  FileRecord* firstB = FirstNameOf(b);
  if (firstA == a && firstB == b) return false;
  return KnownIdenticalEitherWay(firstA, firstB);
}

void LinkIdenticalAsFiles(FileRecord* a, FileRecord* b) {
  LinkIdentical(a, b);
  FileRecord* firstA = FirstNameOf(a);
  FileRecord* firstB = FirstNameOf(b);
  if ((firstA != a || firstB != b) && firstA != firstB) LinkIdentical(firstA, firstB);
}
