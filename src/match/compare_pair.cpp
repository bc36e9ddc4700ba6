#include "match/compare_pair.h"

#include <windows.h>

#include "actions/actions.h"
#include "actions/held_pair.h"
#include "base/run_options.h"
#include "compare/checksum_thread.h"
#include "compare/test_blocks.h"
#include "compare/whole_file_checksum.h"
#include "identity/fragmentation.h"
#include "identity/known_identical.h"
#include "identity/link_groups.h"
#include "match/file_names.h"
#include "match/name_key.h"
#include "match/time_slice.h"

namespace {
constexpr int64_t kQuickCheckAbove = 4096000;  // large pairs first compare their ends
constexpr uint32_t kEndBlock = 4096;
constexpr int64_t kSmallestTestBlock = 8192;

// lstrcmpiW takes about 240 ns under Wine, and a large run of one size meets it once for every pair: only
// the rare pair with equal name keys pays for the real comparison.
bool SameNameIgnoringCase(FileRecord* a, FileRecord* b) {
  uint32_t keyA = NameKey(a), keyB = NameKey(b);
  if (keyA != keyB && keyA != kNoNameKey && keyB != kNoNameKey) return false;
  return lstrcmpiW(a->name, b->name) == 0;
}

// One entry reached through both specifications, a record already deleted, or a name -i does not pair.
bool IsNoPair(FileRecord* a, FileRecord* b) {
  if (a == b) return true;
  // Names first: they are short and mostly differ.
  bool sameName = SameNameIgnoringCase(a, b);
  if (sameName && (a->dir == b->dir || lstrcmpiW(a->dir, b->dir) == 0)) return true;
  if (IsGone(a) || IsGone(b)) return true;
  return RunOptions.SameNameOnly && !sameName;
}

uint64_t Checksum(const wchar_t* path, FileRecord* record) {
  if (RunOptions.TestBlockSize >= record->size) return ChecksumWholeFile(path, record->size, &record->openError);
  return ChecksumTestBlocks(path, record->size, RunOptions.TestBlockSize, &record->openError);
}

// Both files of the pair at once when they lie on different drives, else one after the other.
void ChecksumMissing(DuplicatePair* pair) {
  if (!RunOptions.ParallelRead) {
    for (uint32_t i = 0; i < 2; ++i)
      if (!pair->record[i]->checksum) pair->record[i]->checksum = Checksum(pair->Path(i), pair->record[i]);
    return;
  }
  HANDLE threads[2];
  DWORD started = 0;
  for (uint32_t i = 0; i < 2; ++i) {
    FileRecord* record = pair->record[i];
    if (record->checksum) continue;
    if (HANDLE t = StartChecksumThread(pair->Path(i), record->size, &record->checksum, &record->openError))
      threads[started++] = t;
  }
  if (started == 0) return;
  WaitForMultipleObjects(started, threads, TRUE, INFINITE);
  for (DWORD i = 0; i < started; ++i) CloseHandle(threads[i]);
}

// Large pairs whose checksums are still unknown first compare their ends, which tells most of them apart.
bool EndsDiffer(DuplicatePair* pair) {
  FileRecord* a = pair->record[0];
  FileRecord* b = pair->record[1];
  return !a->checksum && !b->checksum && a->size > kQuickCheckAbove && RunOptions.TestBlockSize <= kSmallestTestBlock &&
         !CompareFileEnds(pair->Path(0), pair->Path(1), a->size, kEndBlock);
}


void ReadAllocations(DuplicatePair* pair) {
  for (uint32_t i = 0; i < 2; ++i)
    if (!pair->record[i]->allocSize) pair->record[i]->allocSize = GetAllocationSize(pair->Path(i));
}

// Proves a pair and acts on it; 0 when it is no proven pair or the action refused it.
int ProveAndAct(DuplicatePair* pair, int64_t* redundant) {
  if (!ProvePair(pair)) return 0;
  return ActOnDuplicate(pair, redundant);
}

// Two names of one file, told by their index: reported as such, and acted on only as -h1/-h2 ask.
void DecideNamesOfOneFile(FileRecord* a, FileRecord* b, MatchTotals* totals) {
  ++totals->pairsTested;
  DuplicatePair pair(a, b, true);
  if (!ProveAndAct(&pair, &totals->redundant)) return;
  ++totals->filesFound;
  if (!IsLinkMember(b)) totals->redundant += b->allocSize;
  LinkIdentical(a, b);
}

// The group slot to visit after the one that held visited: the same slot when the pair's action took visited
// out of the group (a hard link made of it) and the names after it moved down.
uint32_t NextSlot(const FileRecord* head, uint32_t slot, const FileRecord* visited) {
  return slot < LinkGroupSize(head) && LinkGroupMember(head, slot) != visited ? slot : slot + 1;
}

// Hands the pair's verdict on to the other names of a file in its link group. The group's size is read again
// before each round: a pair's action may change it.
void ActOnOtherNamesOfA(FileRecord* a, FileRecord* b, int64_t* redundant) {
  for (uint32_t slot = 1; IsLinkHead(a) && !IsGone(b) && slot + 2 <= LinkGroupSize(a);) {
    FileRecord* member = LinkGroupMember(a, slot);
    // Skipped: a name deleted earlier in the run, or one already known identical with b.
    if (!IsGone(member) && !(member->comparedWith && IsKnownIdentical(member->comparedWith, b, 1))) {
      DuplicatePair pair(member, b, false);
      ProveAndAct(&pair, redundant);
      LinkIdentical(b, member);
    }
    slot = NextSlot(a, slot, member);
  }
}

void ActOnOtherNamesOfB(FileRecord* a, FileRecord* b, int64_t* redundant) {
  for (uint32_t slot = 1; IsLinkHead(b) && !IsGone(a) && slot + 2 <= LinkGroupSize(b);) {
    FileRecord* member = LinkGroupMember(b, slot);
    if (!IsGone(member)) {
      DuplicatePair pair(a, member, false);
      ProveAndAct(&pair, redundant);
      LinkIdentical(member, a);
    }
    slot = NextSlot(b, slot, member);
  }
}
}  // namespace

void ComparePair(FileRecord* a, FileRecord* b, MatchTotals* totals) {
  if (IsNoPair(a, b)) return;
  bool differ = ChecksumsDiffer(a, b);
  if (!differ) {
    if (KnownIdenticalAsFiles(a, b)) return;
    if (HasEqualFileIndex(a, b)) {
      if (RunOptions.FindHardlinks1 || RunOptions.FindHardlinks2) DecideNamesOfOneFile(a, b, totals);
      return;
    }
  }
  if (IsLinkMember(a) && !RunOptions.FindHardlinks1) return;
  if (IsLinkMember(b) && !RunOptions.FindHardlinks2) return;
  ++totals->pairsTested;
  if (differ) return;  // nothing to read, nothing to yield for

  DuplicatePair pair(a, b, false);
  if (EndsDiffer(&pair)) {
    YieldTimeSlice();
    return;
  }
  ChecksumMissing(&pair);
  if (!a->checksum || !b->checksum) return;  // unreadable; the reader has said why
  if (a->checksum != b->checksum) {
    YieldTimeSlice();
    return;
  }
  ReadAllocations(&pair);
  if (!ProvePair(&pair)) {
    YieldTimeSlice();
    return;
  }
  if (!IsLinkMember(a) && !IsLinkMember(b)) ++totals->filesFound;
  if (!ActOnDuplicate(&pair, &totals->redundant)) return;
  ReleasePair(&pair);
  LinkIdenticalAsFiles(a, b);
  if (RunOptions.FindHardlinks1) ActOnOtherNamesOfA(a, b, &totals->redundant);
  if (RunOptions.FindHardlinks2) ActOnOtherNamesOfB(a, b, &totals->redundant);
}
