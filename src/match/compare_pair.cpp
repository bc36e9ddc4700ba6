#include "match/compare_pair.h"

#include <windows.h>

#include "actions/actions.h"
#include "base/memory.h"
#include "base/run_options.h"
#include "compare/checksum_thread.h"
#include "compare/kept_opens.h"
#include "compare/test_blocks.h"
#include "compare/whole_file_checksum.h"
#include "identity/fragmentation.h"
#include "identity/link_groups.h"
#include "match/file_names.h"
#include "match/name_key.h"
#include "match/time_slice.h"
#include "pool/record_path.h"

namespace {
constexpr int64_t kQuickCheckAbove = 4096000;  // large pairs first compare their ends
constexpr uint32_t kEndBlock = 4096;
constexpr int64_t kSmallestTestBlock = 8192;

// The two full paths of the pair in hand; the matching runs on one thread only.
wchar_t Path1[kPathUnits];
wchar_t Path2[kPathUnits];

// lstrcmpiW takes about 240 ns under Wine, and a large run of one size meets it once for every pair: only
// the rare pair with equal name keys pays for the real comparison.
bool SameNameIgnoringCase(FileRecord* a, FileRecord* b) {
  uint32_t keyA = NameKey(a), keyB = NameKey(b);
  if (keyA != keyB && keyA != kNoNameKey && keyB != kNoNameKey) return false;
  return lstrcmpiW(a->name, b->name) == 0;
}

void BuildPath(wchar_t* out, const FileRecord* record) {
  lstrcpynW(out, record->dir, kPathUnits);
  int length = lstrlenW(out);
  lstrcpynW(out + length, record->name, kPathUnits - length);
}

void BuildPaths(const FileRecord* a, const FileRecord* b) {
  BuildPath(Path1, a);
  BuildPath(Path2, b);
}

uint64_t Checksum(const wchar_t* path, FileRecord* record) {
  if (RunOptions.TestBlockSize >= record->size) return ChecksumWholeFile(path, record->size, &record->openError);
  return ChecksumTestBlocks(path, record->size, RunOptions.TestBlockSize, &record->openError);
}

// Both files of the pair at once when they lie on different drives, else one after the other.
void ChecksumMissing(FileRecord* a, FileRecord* b) {
  if (!RunOptions.ParallelRead) {
    if (!a->checksum) a->checksum = Checksum(Path1, a);
    if (!b->checksum) b->checksum = Checksum(Path2, b);
    return;
  }
  HANDLE threads[2];
  DWORD started = 0;
  if (!a->checksum)
    if (HANDLE t = StartChecksumThread(Path1, a->size, &a->checksum, &a->openError)) threads[started++] = t;
  if (!b->checksum)
    if (HANDLE t = StartChecksumThread(Path2, b->size, &b->checksum, &b->openError)) threads[started++] = t;
  if (started == 0) return;
  WaitForMultipleObjects(started, threads, TRUE, INFINITE);
  for (DWORD i = 0; i < started; ++i) CloseHandle(threads[i]);
}

// A pair is reported or acted on only when proven: two files (two entries for two names of one file) with
// equal bytes, held until the action. A file that cannot be held for an action is still reported when its
// bytes prove equal, and named as the reason nothing was done.
bool ProvePair(const FileRecord* a, const FileRecord* b, const wchar_t* path1, const wchar_t* path2, int linked,
               HeldPair* held) {
  bool forAction = RunOptions.Action != ActionReport;
  if (forAction) CloseKeptForChecksum();  // a handle kept for a checksum lets others only read
  bool twoFiles = HaveDifferentIndexes(a, b);
  int64_t testSize = RunOptions.TestBlockSize;
  PairProof proof = HoldPair(path1, path2, a->size, testSize, forAction, linked != 0, twoFiles, held);
  if (proof != PairProof::NotHeld || !forAction) return proof == PairProof::Duplicate;
  uint32_t number = held->number;
  DWORD error = held->error;
  if (HoldPair(path1, path2, a->size, testSize, false, linked != 0, false, held) != PairProof::Duplicate)
    return false;
  held->number = number;
  held->error = error;
  return true;
}

// Proves a pair and acts on it; 0 when it is no proven pair or the action refused it.
int ProveAndAct(FileRecord* record1, FileRecord* record2, wchar_t* path1, wchar_t* path2, int linked,
                int64_t* redundant) {
  HeldPair held;
  if (!ProvePair(record1, record2, path1, path2, linked, &held)) return 0;
  int handled = ActOnDuplicate(record1, record2, path1, path2, linked, redundant, &held);
  ReleasePair(&held);
  return handled;
}

// Hands the pair's verdict on to the other names of a file in its link group.
void ActOnOtherNamesOfA(FileRecord* a, FileRecord* b, int64_t* redundant) {
  for (uint32_t slot = 1; a->linkState == 2 && a->groupCount && slot + 2 <= *a->groupCount; ++slot) {
    FileRecord* member = a->groupMembers[slot];
    if (!member->name[0]) continue;  // deleted earlier in the run
    if (member->comparedWith && IsKnownIdentical(member->comparedWith, b, 1)) continue;
    JoinedPath memberPath(member->dir, member->name);
    ProveAndAct(member, b, memberPath.Text(), Path2, 0, redundant);
    LinkIdentical(b, member);
  }
}

void ActOnOtherNamesOfB(FileRecord* a, FileRecord* b, int64_t* redundant) {
  for (uint32_t slot = 1; b->linkState == 2 && b->groupCount && slot + 2 <= *b->groupCount; ++slot) {
    FileRecord* member = b->groupMembers[slot];
    if (!member->name[0]) continue;
    JoinedPath memberPath(member->dir, member->name);
    ProveAndAct(a, member, Path1, memberPath.Text(), 0, redundant);
    LinkIdentical(member, a);
  }
}
}  // namespace

void ComparePair(FileRecord* a, FileRecord* b, int64_t* pairsTested, int32_t* filesFound, int64_t* redundant) {
  if (a == b) return;
  // One file reached through both specifications. Names first: they are short and mostly differ.
  bool sameName = SameNameIgnoringCase(a, b);
  if (sameName && (a->dir == b->dir || lstrcmpiW(a->dir, b->dir) == 0)) return;
  if (!a->name[0] || !b->name[0]) return;
  if (RunOptions.SameNameOnly && !sameName) return;
  bool differ = ChecksumsDiffer(a, b);
  if (!differ) {
    if (KnownIdenticalAsFiles(a, b)) return;
    if (HasEqualFileIndex(a, b)) {
      if (!RunOptions.FindHardlinks1 && !RunOptions.FindHardlinks2) return;
      ++*pairsTested;
      BuildPaths(a, b);
      if (ProveAndAct(a, b, Path1, Path2, 1, redundant)) {
        ++*filesFound;
        if (b->linkState != 3) *redundant += b->allocSize;
        LinkIdentical(a, b);
      }
      return;
    }
  }

  if (a->linkState == 3 && !RunOptions.FindHardlinks1) return;
  if (b->linkState == 3 && !RunOptions.FindHardlinks2) return;
  ++*pairsTested;
  if (differ) return;  // nothing to read, nothing to yield for
  BuildPaths(a, b);

  if (!a->checksum && !b->checksum && a->size > kQuickCheckAbove && RunOptions.TestBlockSize <= kSmallestTestBlock &&
      !CompareFileEnds(Path1, Path2, a->size, kEndBlock)) {
    YieldTimeSlice();
    return;
  }
  ChecksumMissing(a, b);
  if (!a->checksum || !b->checksum) return;  // unreadable; the reader has said why
  if (a->checksum != b->checksum) {
    YieldTimeSlice();
    return;
  }

  if (!a->allocSize) a->allocSize = GetAllocationSize(Path1);
  if (!b->allocSize) b->allocSize = GetAllocationSize(Path2);
  HeldPair held;
  if (!ProvePair(a, b, Path1, Path2, 0, &held)) {
    YieldTimeSlice();
    return;
  }
  if (a->linkState != 3 && b->linkState != 3) ++*filesFound;
  int handled = ActOnDuplicate(a, b, Path1, Path2, 0, redundant, &held);
  ReleasePair(&held);
  if (!handled) return;
  LinkIdenticalAsFiles(a, b);
  if (RunOptions.FindHardlinks1) ActOnOtherNamesOfA(a, b, redundant);
  if (RunOptions.FindHardlinks2) ActOnOtherNamesOfB(a, b, redundant);
}
