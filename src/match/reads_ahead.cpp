#include "match/reads_ahead.h"

#include <windows.h>

#include <algorithm>

#include "base/memory.h"
#include "compare/checksum_buffers.h"
#include "compare/file_pieces.h"
#include "compare/kept_opens.h"
#include "console/control.h"
#include "identity/link_groups.h"
#include "pool/record_path.h"

namespace {
// Reads in flight at once. A cold disk (or a virtual one, or a share) serves a few small reads nearly in the
// time of one; under Wine the server's opens run one at a time, so more readers gained nothing there.
constexpr uint32_t kReaders = 4;

enum class Got : LONG { Nothing, Checksum, Digest };

struct Entry {
  FileRecord* record;
  HANDLE file;     // INVALID_HANDLE_VALUE when it could not be opened
  uint64_t value;  // the checksum of a small file, or the pieces' digest of a large one
  Got got;
  volatile LONG done;
};
}  // namespace

struct ReadsAhead {
  Entry* entries;  // in the walk's order: by size, the first pool's run of a size before the second's
  uint32_t* order;  // the entries in the order the readers take them
  uint32_t count;
  uint32_t most;
  volatile LONG next;   // the next place in order that a reader claims
  volatile LONG taken;  // the entries before it are the walk's
  volatile LONG stop;
  volatile LONG walkWaits;  // set by the walk before it waits for an entry
  HANDLE readDone;  // auto-reset; only the walk waits on it
  HANDLE readers[kReaders];
  uint32_t started;
};

namespace {
// The records of every size that both sides have, in the walk's order; returns how many, and fills out when
// it is given.
uint32_t Collect(FileRecord* records1, uint32_t count1, FileRecord* records2, uint32_t count2, Entry* out) {
  uint32_t found = 0;
  auto add = [&](FileRecord* first, FileRecord* end) {
    for (FileRecord* record = first; record < end; ++record)
      if (record->name && record->name[0]) {
        if (out) out[found] = {record, INVALID_HANDLE_VALUE, 0, Got::Nothing, 0};
        ++found;
      }
  };
  bool onePool = records1 == records2;
  for (uint32_t i = 0, j = 0; i < count1 && j < count2;) {
    int64_t size = records1[i].size;
    if (!onePool && records2[j].size != size) {
      (records2[j].size < size ? j : i)++;
      continue;
    }
    uint32_t end1 = i, end2 = onePool ? i : j;
    while (end1 < count1 && records1[end1].size == size) ++end1;
    while (!onePool && end2 < count2 && records2[end2].size == size) ++end2;
    if (size > 0 && (onePool ? end1 - i >= 2 : true)) {
      add(&records1[i], &records1[end1]);
      if (!onePool) add(&records2[j], &records2[end2]);
    }
    i = end1;
    j = onePool ? end1 : end2;
  }
  return found;
}

// In the order of the listing, which on most volumes is near the order of the files on the disk: a folder's
// files were mostly written together.
bool ListedBefore(const FileRecord* a, const FileRecord* b) {
  int byFolder = a->dir == b->dir ? 0 : wcscmp(a->dir, b->dir);
  return byFolder != 0 ? byFolder < 0 : wcscmp(a->name, b->name) < 0;
}

// The walk meets the files by size, which scatters them over the disk. The readers take them in stretches of
// half the opens allowed ahead, each stretch in the order of the listing, so that a disk that seeks sweeps
// across each stretch once. A stretch spans at most half the room ahead: the file the walk waits for is
// never behind one a reader waits to have room for.
void PutInListingOrder(ReadsAhead* ahead) {
  uint32_t stretch = ahead->most > 1 ? ahead->most / 2 : 1;
  for (uint32_t k = 0; k < ahead->count; ++k) ahead->order[k] = k;
  for (uint32_t start = 0; start < ahead->count; start += stretch)
    std::sort(ahead->order + start, ahead->order + std::min(start + stretch, ahead->count),
              [&](uint32_t a, uint32_t b) { return ListedBefore(ahead->entries[a].record, ahead->entries[b].record); });
}

void ReadQuietly(Entry& entry, unsigned char* buffer) {
  FileRecord* record = entry.record;
  JoinedPath path(record->dir, record->name);
  entry.file = OpenFreshForChecksum(path.Text());
  if (entry.file == INVALID_HANDLE_VALUE) return;
  if (record->size >= kPiecesWorthReadingFrom) {
    if (ReadPiecesDigest(entry.file, record->size, buffer, &entry.value)) entry.got = Got::Digest;
  } else if (ReadSmallFileChecksum(entry.file, record->size, buffer, &entry.value)) {
    entry.got = Got::Checksum;
  }
  // A handle that could not be read is of no use to the walk, which opens the file again and says why; one
  // that found no file descriptor left would fail the walk's reads and queries too.
  if (entry.got == Got::Nothing) {
    CloseHandle(entry.file);
    entry.file = INVALID_HANDLE_VALUE;
  }
}

DWORD WINAPI Reader(void* parameter) {
  ReadsAhead* ahead = static_cast<ReadsAhead*>(parameter);
  auto* buffer =
      static_cast<unsigned char*>(VirtualAlloc(nullptr, kReadPiece, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  for (LONG claimed; (claimed = InterlockedIncrement(&ahead->next) - 1) < LONG(ahead->count) && !CancelRequested;) {
    LONG k = LONG(ahead->order[claimed]);
    while (!ahead->stop && !CancelRequested && k >= ahead->taken + LONG(ahead->most)) Sleep(1);
    if (ahead->stop || CancelRequested) break;
    // Without a buffer an entry is passed on unread: the walk must never wait for it.
    if (buffer) ReadQuietly(ahead->entries[k], buffer);
    InterlockedExchange(&ahead->entries[k].done, 1);
    // Under Wine an event is a server call: signalled only for a walk that waits, which mostly it does not.
    if (InterlockedExchange(&ahead->walkWaits, 0)) SetEvent(ahead->readDone);
  }
  if (buffer) VirtualFree(buffer, 0, MEM_RELEASE);
  return 0;
}

// A large file whose pieces no other file of its size shares takes its digest for a checksum: no other file of
// its size has that digest, nor, as its checksum, the whole-file CRC of other bytes but by a chance the byte
// proof of a pair still catches.
void RuleOutByPieces(Entry* first, Entry* last) {
  auto digested = [](const Entry& entry) { return entry.got == Got::Digest; };
  std::sort(first, last, [&](const Entry& a, const Entry& b) {
    if (a.record->size != b.record->size) return a.record->size < b.record->size;
    if (digested(a) != digested(b)) return !digested(a);
    return a.value < b.value;
  });
  for (Entry *start = first, *end; start < last; start = end) {
    end = start;
    while (end < last && end->record->size == start->record->size) ++end;
    // A large file that could not be read might hold anything: with one in the group, none is ruled out.
    // Small files are never digested.
    if (!digested(*start)) continue;
    for (Entry* entry = start; entry < end; ++entry) {
      bool shared = (entry > start && entry[-1].value == entry->value) ||
                    (entry + 1 < end && entry[1].value == entry->value);
      if (!shared) entry->record->checksum = entry->value ? entry->value : 1;
    }
  }
}

void Release(ReadsAhead* ahead) {
  for (uint32_t k = uint32_t(ahead->taken); k < ahead->count; ++k)
    if (ahead->entries[k].file != INVALID_HANDLE_VALUE) CloseHandle(ahead->entries[k].file);
  if (ahead->readDone) CloseHandle(ahead->readDone);
  HeapFree(GetProcessHeap(), 0, ahead->entries);
  MemFree(ahead);
}
}  // namespace

ReadsAhead* StartReadsAhead(FileRecord* records1, uint32_t count1, FileRecord* records2, uint32_t count2,
                            uint32_t most) {
  uint32_t count = Collect(records1, count1, records2, count2, nullptr);
  if (count == 0) return nullptr;
  // An aid, not a need: without room for it, the walk reads as it meets the files.
  auto* entries = static_cast<Entry*>(HeapAlloc(GetProcessHeap(), 0, count * (sizeof(Entry) + sizeof(uint32_t))));
  if (!entries) return nullptr;
  auto* ahead = static_cast<ReadsAhead*>(MemAlloc(sizeof(ReadsAhead)));
  ahead->entries = entries;
  ahead->order = reinterpret_cast<uint32_t*>(entries + count);
  ahead->count = Collect(records1, count1, records2, count2, ahead->entries);
  ahead->most = most < 1 ? 1 : most;
  PutInListingOrder(ahead);
  ahead->readDone = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  while (ahead->readDone && ahead->started < kReaders)
    if (HANDLE reader = StartThread(Reader, ahead))
      ahead->readers[ahead->started++] = reader;
    else
      break;
  if (ahead->started == 0) {
    Release(ahead);
    return nullptr;
  }
  return ahead;
}

void TakeReadsAhead(ReadsAhead* ahead, int64_t size) {
  if (!ahead) return;
  uint32_t first = uint32_t(ahead->taken), k = first;
  // Once cancelled the walk ends soon, and the summary must follow the key at once: nothing more is waited for.
  for (; k < ahead->count && ahead->entries[k].record->size <= size && !CancelRequested; ++k) {
    Entry& entry = ahead->entries[k];
    // A signal lost between the test and the wait costs one timeout at most.
    while (!InterlockedCompareExchange(&entry.done, 0, 0) && !CancelRequested) {
      InterlockedExchange(&ahead->walkWaits, 1);
      if (!InterlockedCompareExchange(&entry.done, 0, 0)) WaitForSingleObject(ahead->readDone, 10);
    }
    if (!InterlockedCompareExchange(&entry.done, 0, 0)) break;
    if (entry.file != INVALID_HANDLE_VALUE) {
      FileRecord* record = entry.record;
      ReadIdentityThrough(record, entry.file);
      if (entry.got == Got::Checksum && !record->checksum) record->checksum = entry.value;
      JoinedPath path(record->dir, record->name);
      KeepForChecksum(path.Text(), entry.file);
      entry.file = INVALID_HANDLE_VALUE;
    }
    InterlockedExchange(&ahead->taken, LONG(k + 1));
  }
  // Only a size taken whole may rule a file out.
  if (!CancelRequested) RuleOutByPieces(ahead->entries + first, ahead->entries + k);
}

void StopReadsAhead(ReadsAhead* ahead) {
  if (!ahead) return;
  InterlockedExchange(&ahead->stop, 1);
  WaitForMultipleObjects(ahead->started, ahead->readers, TRUE, INFINITE);
  for (uint32_t i = 0; i < ahead->started; ++i) CloseHandle(ahead->readers[i]);
  Release(ahead);
}
