#include "pool/file_pool.h"

#include "base/memory.h"
#include "pool/linked_folders.h"
#include "pool/ptr_list.h"
#include "seam/system_calls.h"

namespace {
// The pool's byte counters are 32-bit; a 64-bit address space must not reserve more than they can count.
constexpr uint64_t kMaxReservedBytes = 0xFFFF0000u;

void Reserve(FilePool* pool) {
  SYSTEM_INFO info;
  Process.GetSystemInfo(&info);
  pool->commitStep = info.dwAllocationGranularity;
  uint64_t range = reinterpret_cast<uintptr_t>(info.lpMaximumApplicationAddress) -
                   reinterpret_cast<uintptr_t>(info.lpMinimumApplicationAddress);
  uint64_t slots = (range / 4) / sizeof(FileRecord);
  if (slots * sizeof(FileRecord) > kMaxReservedBytes) slots = kMaxReservedBytes / sizeof(FileRecord);
  pool->reservedSlots = static_cast<uint32_t>(slots);
  // Address space may be fragmented: take what there is, halving down. With nothing left the pool stays
  // empty and the scan reports it full.
  while (pool->reservedSlots > 0) {
    pool->records = static_cast<FileRecord*>(
        VirtualAlloc(nullptr, size_t(pool->reservedSlots) * sizeof(FileRecord), MEM_RESERVE, PAGE_NOACCESS));
    if (pool->records) return;
    pool->reservedSlots /= 2;
  }
}
}  // namespace

uint32_t NewVolumeTag() {
  static LONG lastVolumeTag = 0;
  return static_cast<uint32_t>(InterlockedIncrement(&lastVolumeTag));
}

void InitFilePool(FilePool* pool, const ScanRequest& request) {
  pool->rootDir = DupString(request.rootDir);
  pool->pattern = DupString(request.pattern);
  pool->recurse = request.recurse;
  pool->followReparse = request.followReparse;
  pool->volumeTag = request.volumeTag ? request.volumeTag : NewVolumeTag();
  pool->progressPos = request.progressPos;
  pool->errorPos = request.errorPos;
  pool->depth = 0;
  pool->committedBytes = 0;
  pool->count = 0;
  pool->committedSlots = 0;
  Reserve(pool);
  // A first commit that fails leaves nothing committed; the scan's growth then tries again.
  GrowFilePool(pool);
}

int GrowFilePool(FilePool* pool) {
  if (!pool->records) return 0;
  // Only whole steps inside the reservation: committing past its end could take memory that another
  // allocation reserved right behind it. A step that does not fit is the pool-full condition.
  uint64_t reservedBytes = uint64_t(pool->reservedSlots) * sizeof(FileRecord);
  if (uint64_t(pool->committedBytes) + pool->commitStep > reservedBytes) return 0;
  char* next = reinterpret_cast<char*>(pool->records) + pool->committedBytes;
  if (!VirtualAlloc(next, pool->commitStep, MEM_COMMIT, PAGE_READWRITE)) return 0;
  pool->committedBytes += pool->commitStep;
  pool->committedSlots = pool->committedBytes / sizeof(FileRecord);
  return 1;
}

FileRecord* AppendRecord(FilePool* pool) {
  // One step always holds at least one record, so a successful growth makes room.
  if (pool->count == pool->committedSlots && !GrowFilePool(pool)) return nullptr;
  return &pool->records[pool->count++];
}

void RenumberRecords(FilePool* pool) {
  for (uint32_t i = 0; i < pool->count; ++i) pool->records[i].index = i;
}

void ReleaseFilePool(FilePool* pool) {
  for (uint32_t i = 0; i < pool->count; ++i) {
    FileRecord& record = pool->records[i];
    if (record.ownsDir) MemFree(record.dir);
    MemFree(record.name);
    if (record.comparedWith) {
      PtrListClear(record.comparedWith);
      MemFree(record.comparedWith);
    }
  }
  ReleaseLinkedFolders(pool);  // a scan started without its pool's creation keeps its links to the end
  if (pool->records) VirtualFree(pool->records, 0, MEM_RELEASE);
  pool->records = nullptr;
  pool->count = 0;
  MemFree(pool->rootDir);
  MemFree(pool->pattern);
  pool->rootDir = nullptr;
  pool->pattern = nullptr;
}
