// Both pools of a two-folder run, reserved as the run reserves them, then filled until each is full, every
// record with its own name as the scanner stores it. Prints what each pool holds and what is left of the
// address space, so that the figures are those of the build it runs in (the 32-bit one: a 2 GiB space).
#include <windows.h>

#include <cstdio>

#include "base/memory.h"
#include "pool/file_pool.h"

namespace {
constexpr double MiB = 1048576.0;

// The largest block that can still be reserved, to the MiB: what is left for the heap and everything else.
SIZE_T LargestReservable() {
  SIZE_T low = 0, high = SIZE_T(1) << (sizeof(void*) == 4 ? 31 : 40);
  while (high - low > 1048576) {
    SIZE_T size = low + (high - low) / 2;
    void* block = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
    if (block) {
      VirtualFree(block, 0, MEM_RELEASE);
      low = size;
    } else {
      high = size;
    }
  }
  return low;
}

void PrintRoomLeft(const char* when) { printf("%-42s largest block still free: %5.0f MiB\n", when, LargestReservable() / MiB); }

// Names as the scale corpus has them (f0000000.dat): the heap holds one copy per record.
uint32_t FillUntilFull(FilePool* pool) {
  wchar_t* dir = DupString(L"\\\\?\\Z:\\scale\\a\\d0000\\");
  wchar_t name[16];
  DWORD start = GetTickCount();
  for (;;) {
    FileRecord* record = AppendRecord(pool);
    if (!record) break;
    wsprintfW(name, L"f%07u.dat", pool->count - 1);
    record->name = DupString(name);
    record->dir = dir;
    record->ownsDir = pool->count == 1;
    record->size = pool->count;
  }
  printf("  filled with %u records (%u reserved) in %lu ms: %.0f MiB committed\n", pool->count, pool->reservedSlots,
         GetTickCount() - start, pool->committedBytes / MiB);
  return pool->count;
}
}  // namespace

int main() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  printf("build: %u-bit, record %u bytes, user address range %.0f MiB, commit step %lu KiB\n",
         unsigned(sizeof(void*) * 8), unsigned(sizeof(FileRecord)),
         (static_cast<char*>(info.lpMaximumApplicationAddress) - static_cast<char*>(info.lpMinimumApplicationAddress)) /
             MiB,
         info.dwAllocationGranularity / 1024);
  PrintRoomLeft("at start:");
  FilePool pools[2] = {};
  for (FilePool& pool : pools) {
    InitFilePool(&pool, {L"\\\\?\\Z:\\scale\\", L"*", 1, 0, 0, 0, 0});
    printf("pool %d reserved %.0f MiB: room for %u records\n", int(&pool - pools) + 1,
           double(pool.reservedSlots) * sizeof(FileRecord) / MiB, pool.reservedSlots);
  }
  PrintRoomLeft("both pools reserved:");
  for (FilePool& pool : pools) {
    printf("pool %d:\n", int(&pool - pools) + 1);
    FillUntilFull(&pool);
  }
  PrintRoomLeft("both pools full, every name on the heap:");
  for (FilePool& pool : pools) ReleaseFilePool(&pool);
  return 0;
}
