#include "compare/kept_opens.h"

#include <cstdint>
#include <cwchar>

#include "base/memory.h"
#include "seam/system_calls.h"

namespace {
// Opens whose content is still to be read: the file the walk resolves just before it reads it, and the other
// names of a size run that a link group's search read, which the walk meets next.
constexpr unsigned kMostUnread = 256;
// Opens read already, which the byte proof of a pair reads again: the file whose partners come and go, and
// the files of a group that a later first file pairs with. Two folders of one long run of a small size pair
// every file of one with each of its copies in the other, file after file: a queue shorter than that run
// opened nearly every partner again.
constexpr unsigned kMostRead = 4096;
// Under Wine every kept handle holds a Unix file descriptor in the program and one in the Wine server, and
// either may be allowed as few as 1024. Where an open or its first use finds none left, the older half of
// the kept handles is given back and no more than the rest are kept from then on (GiveBackKept).
constexpr NTSTATUS kNoDescriptorLeft = static_cast<NTSTATUS>(0xC000011F);  // STATUS_TOO_MANY_OPENED_FILES

// Slots are numbered from 1; 0 stands for none. A slot keeps its path buffer from one open to the next, so
// that keeping a file costs no heap block: a block per file, freed soon after, left the heap so broken up
// under Wine that its search for a free block grew with every file.
constexpr uint32_t kSlots = kMostUnread + kMostRead;
constexpr uint32_t kBuckets = 16384;  // a power of two, over twice the slots

struct KeptOpen {
  wchar_t* path;      // the slot's own buffer, grown when a longer path needs it
  uint32_t capacity;  // of path, in units
  uint32_t hash;
  HANDLE file;
  bool read;
  uint32_t newer, older;  // neighbours in the queue of its kind; older also links the free slots
  uint32_t nextInBucket;
};
struct KeptQueue {
  uint32_t newest, oldest, count;
};
KeptOpen g_kept[kSlots + 1];
uint32_t g_buckets[kBuckets];
KeptQueue g_queues[2];  // [read]
uint32_t g_most[2] = {kMostUnread, kMostRead};  // [read]
uint32_t g_freeSlots = 0;
bool g_slotsLinked = false;
bool g_keeping = false;

uint32_t HashPath(const wchar_t* path) {
  uint32_t hash = 2166136261u;
  for (; *path; ++path) hash = (hash ^ static_cast<uint16_t>(*path)) * 16777619u;
  return hash;
}

uint32_t& BucketOf(uint32_t hash) { return g_buckets[hash & (kBuckets - 1)]; }

void Forget(uint32_t slot) {
  KeptOpen& kept = g_kept[slot];
  uint32_t* link = &BucketOf(kept.hash);
  while (*link != slot) link = &g_kept[*link].nextInBucket;
  *link = kept.nextInBucket;
  KeptQueue& queue = g_queues[kept.read];
  (kept.newer ? g_kept[kept.newer].older : queue.newest) = kept.older;
  (kept.older ? g_kept[kept.older].newer : queue.oldest) = kept.newer;
  --queue.count;
  kept.older = g_freeSlots;
  g_freeSlots = slot;
}

// Closes the oldest of a kind until no more than count are left.
void CloseOldestDownTo(KeptQueue& queue, uint32_t count) {
  while (queue.count > count) {
    CloseHandle(g_kept[queue.oldest].file);
    Forget(queue.oldest);
  }
}

uint32_t FreeSlot() {
  if (!g_slotsLinked) {
    for (uint32_t slot = kSlots; slot >= 1; --slot) {
      g_kept[slot].older = g_freeSlots;
      g_freeSlots = slot;
    }
    g_slotsLinked = true;
  }
  uint32_t slot = g_freeSlots;
  g_freeSlots = g_kept[slot].older;
  return slot;
}

// The oldest of a kind makes room: an open the walk skipped past (a file known identical already, another
// name of a file met before) is never read.
void Keep(const wchar_t* path, HANDLE file, bool read) {
  if (!g_keeping) {
    CloseHandle(file);
    return;
  }
  KeptQueue& queue = g_queues[read];
  if (g_most[read] == 0) {
    CloseHandle(file);
    return;
  }
  CloseOldestDownTo(queue, g_most[read] - 1);
  uint32_t slot = FreeSlot();
  KeptOpen& kept = g_kept[slot];
  size_t units = wcslen(path) + 1;
  if (units > kept.capacity) {
    MemFree(kept.path);
    kept.capacity = static_cast<uint32_t>(units < 256 ? 256 : units);
    kept.path = static_cast<wchar_t*>(MemAlloc(kept.capacity * sizeof(wchar_t)));
  }
  wmemcpy(kept.path, path, units);
  kept.hash = HashPath(path);
  kept.file = file;
  kept.read = read;
  kept.nextInBucket = BucketOf(kept.hash);
  BucketOf(kept.hash) = slot;
  kept.newer = 0;
  kept.older = queue.newest;
  (queue.newest ? g_kept[queue.newest].newer : queue.oldest) = slot;
  queue.newest = slot;
  ++queue.count;
}
}  // namespace

void SetKeepingForChecksum(bool keep) {
  if (!keep) CloseKeptForChecksum();
  if (keep && !g_keeping) {
    g_most[0] = kMostUnread;
    g_most[1] = kMostRead;
  }
  g_keeping = keep;
}

void SetMostKeptForTesting(uint32_t unread, uint32_t read) {
  g_most[0] = unread;
  g_most[1] = read;
}

bool IsKeepingForChecksum() { return g_keeping; }

namespace {
HANDLE TakeKept(const wchar_t* path, bool* read) {
  if (!g_keeping) return INVALID_HANDLE_VALUE;
  uint32_t hash = HashPath(path);
  for (uint32_t slot = BucketOf(hash); slot; slot = g_kept[slot].nextInBucket) {
    KeptOpen& kept = g_kept[slot];
    if (kept.hash != hash || wcscmp(kept.path, path) != 0) continue;
    HANDLE file = kept.file;
    *read = kept.read;
    Forget(slot);
    return file;
  }
  return INVALID_HANDLE_VALUE;
}

// The system had no file descriptor left: the older half of each kind of kept handle is closed, and no more
// than the rest are kept from now on, which leaves room for the opens held ahead and those the walk does not
// keep. False when nothing was kept to give back.
bool GiveBackKept() {
  if (g_queues[0].count + g_queues[1].count == 0) return false;
  for (uint32_t read = 0; read < 2; ++read) {
    g_most[read] = g_queues[read].count / 2;
    CloseOldestDownTo(g_queues[read], g_most[read]);
  }
  return true;
}

// Under Wine a handle takes its descriptor from the server at its first read or query, and fails then when
// the program has none left: asked for here, where the open can still be made again, rather than by a read
// that would report the file unreadable.
bool LacksDescriptor(HANDLE file) {
  IO_STATUS_BLOCK status;
  FILE_STANDARD_INFORMATION standard;
  return FileSystem.QueryInformation(file, &status, &standard, sizeof standard, FileStandardInformation) ==
         kNoDescriptorLeft;
}

HANDLE OpenWithRoom(const wchar_t* path) {
  for (;;) {
    HANDLE file = OpenFreshForChecksum(path);
    if (file != INVALID_HANDLE_VALUE && LacksDescriptor(file)) {
      CloseHandle(file);
      file = INVALID_HANDLE_VALUE;
      SetLastError(ERROR_TOO_MANY_OPEN_FILES);
    }
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_TOO_MANY_OPEN_FILES || !GiveBackKept()) return file;
  }
}

HANDLE OpenKeptOrNew(const wchar_t* path, bool atStart) {
  bool read = false;
  HANDLE file = TakeKept(path, &read);
  if (file != INVALID_HANDLE_VALUE) {
    // A handle read already may stand anywhere up to its end; one never read stands at the start.
    LARGE_INTEGER start = {};
    if (!atStart || !read || SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return file;
    CloseHandle(file);
  }
  return OpenWithRoom(path);
}
}  // namespace

HANDLE OpenFreshForChecksum(const wchar_t* path) {
  return FileSystem.Open(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

HANDLE TakeKeptForChecksum(const wchar_t* path) {
  bool read;
  return TakeKept(path, &read);
}

HANDLE OpenForChecksum(const wchar_t* path) { return OpenKeptOrNew(path, true); }

HANDLE OpenForReadingAt(const wchar_t* path) { return OpenKeptOrNew(path, false); }

void KeepUnreadForChecksum(const wchar_t* path, HANDLE file) { Keep(path, file, false); }

void KeepForChecksum(const wchar_t* path, HANDLE file) { Keep(path, file, true); }

void CloseKeptForChecksum() {
  for (KeptQueue& queue : g_queues) CloseOldestDownTo(queue, 0);
}
