#include "match/match_pools.h"

#include <windows.h>

#include "actions/action_counters.h"
#include "base/run_options.h"
#include "compare/kept_opens.h"
#include "console/control.h"
#include "console/output.h"
#include "console/status_line.h"
#include "format/size_format.h"
#include "identity/known_identical.h"
#include "identity/link_groups.h"
#include "identity/record_identity.h"
#include "match/compare_pair.h"
#include "match/file_names.h"
#include "match/reads_ahead.h"
#include "match/size_run_index.h"
#include "match/time_slice.h"
#include "pool/record_changes.h"

namespace {
uint32_t g_indexedRunMinimum = kIndexedRunMinimum;

struct Walk {
  FileRecord* records1 = nullptr;
  uint32_t count1 = 0;
  FileRecord* records2 = nullptr;
  uint32_t count2 = 0;
  bool linkAction = false;
  LinkGroupGathering gathering = LinkGroupGathering::AllNamesNow;
  MatchTotals totals;
  int64_t runStart = -1;
  uint32_t runLength = 0;  // of the run at runStart
  DWORD statusTick = 0;
  SizeRunIndex run;  // of the run at runStart, when it is long enough
  ReadsAhead* ahead = nullptr;
};

void ShowProgress(Walk& walk, uint32_t i) {
  if (Console && Console->redirected) return;
  // Large pools update at most once per clock tick, but every 16th file and the last nine always show.
  bool skip = walk.count1 >= 80 && i % 16 != 0 && GetTickCount() == walk.statusTick && i + 10 <= walk.count1;
  if (skip) return;
  StatusPrint(L"checking file %s of %s...", FormatCount(i + 1), FormatCount(walk.count1));
  walk.statusTick = GetTickCount();
}

enum class Offered { kGoOn, kFirstGone, kCancel };

// The second file's turn in the sorted walk.
Offered OfferPair(Walk& walk, FileRecord* a, FileRecord* b) {
  ResolveLinkGroup(walk.records2, walk.count2, b, walk.gathering);
  NoteFileName(b);
  if (IsLinkMember(b)) return Offered::kGoOn;  // its head stands for it
  if (walk.linkAction && LinkCount(a) + LinkCount(b) > kMaxLinkCount) return Offered::kGoOn;
  if (!RunOptions.FindHardlinks2 && !ChecksumsDiffer(a, b)) {
    if (IsSameFile(a, b)) return Offered::kGoOn;
    if (KnownIdenticalAsFiles(a, b)) return Offered::kGoOn;
  }
  if (!IsGone(b)) ComparePair(a, b, &walk.totals);
  if (CancelRequested) return Offered::kCancel;
  return IsGone(a) ? Offered::kFirstGone : Offered::kGoOn;
}

// Classifies again the pair's two records and every record the link groups or the actions changed.
void RefreshChanged(Walk& walk, FileRecord* a, FileRecord* b) {
  uint32_t count;
  FileRecord* const* changed = ChangedRecords(&count);
  for (uint32_t i = 0; i < count; ++i) walk.run.Refresh(changed[i]);
  ForgetChangedRecords();
  if (a) walk.run.Refresh(a);
  if (b) walk.run.Refresh(b);
}

// Pairs with a plain second file of other content are only counted, so they may be counted in bulk while
// the first file's checksum and keys are known and its link count leaves room for one more name.
bool MayPassOver(const Walk& walk, const FileRecord* a, uint64_t aKey) {
  return a->checksum && aKey != SizeRunIndex::kNoKey &&
         !(walk.linkAction && LinkCount(a) >= kMaxLinkCount);
}

// The first file against a run through its index: in the order of the plain walk, visiting every record
// that can do more than count as tested, and counting the plain records between them as the walk would.
bool WalkIndexedRun(Walk& walk, FileRecord* a) {
  SizeRunIndex& run = walk.run;
  RefreshChanged(walk, a, nullptr);  // resolving the first file may have made members of others
  uint64_t aKey = run.KeyOf(a);
  for (uint32_t position = 0; position < run.Count();) {
    uint32_t next = position;
    if (MayPassOver(walk, a, aKey)) {
      next = run.NextToVisit(a, aKey, position);
      bool counted = !RunOptions.SameNameOnly && !(IsLinkMember(a) && !RunOptions.FindHardlinks1);
      if (counted) walk.totals.pairsTested += run.PlainIn(position, next);
      if (CancelRequested) return false;
      if (next == run.Count()) break;
    }
    FileRecord* b = run.At(next);
    if (b != a) {
      Offered offered = OfferPair(walk, a, b);
      RefreshChanged(walk, a, b);
      if (offered == Offered::kCancel) return false;
      if (offered == Offered::kFirstGone) break;
    }
    if (walk.linkAction && LinkCount(a) == kMaxLinkCount) break;
    position = next + 1;
  }
  return true;
}

// Returns false when the whole walk must end (cancel).
bool WalkSizeRun(Walk& walk, FileRecord* a) {
  if (walk.count2 == 0) return true;
  int64_t j = FindSizeRun(a->size, walk.records2, walk.runStart, int64_t(walk.count2) - 1);
  if (j < 0) return true;
  // Alone in its run, a file meets no other: its identity (an open, under Wine several server round trips)
  // is not needed.
  bool alone = &walk.records2[j] == a && (j + 1 == walk.count2 || walk.records2[j + 1].size != a->size);
  if (alone) return true;
  TakeReadsAhead(walk.ahead, a->size);
  KeepFileNamesOfSize(a->size);
  ResolveLinkGroup(walk.records1, walk.count1, a, walk.gathering);
  NoteFileName(a);
  if (walk.linkAction && LinkCount(a) == kMaxLinkCount) return true;
  if (IsLinkMember(a) && !RunOptions.FindHardlinks1) return true;
  if (j != walk.runStart) {
    walk.runStart = j;
    walk.runLength = 0;
    while (j + walk.runLength < walk.count2 && walk.records2[j + walk.runLength].size == a->size) ++walk.runLength;
    if (walk.runLength >= g_indexedRunMinimum) walk.run.Reset(&walk.records2[j], walk.runLength, walk.linkAction);
  }
  if (walk.runLength >= g_indexedRunMinimum) {
    if (!WalkIndexedRun(walk, a)) return false;
    YieldTimeSlice();
    return true;
  }
  for (; j < walk.count2 && walk.records2[j].size == a->size; ++j) {
    FileRecord* b = &walk.records2[j];
    if (b != a) {
      Offered offered = OfferPair(walk, a, b);
      if (offered == Offered::kCancel) return false;
      if (offered == Offered::kFirstGone) break;
    }
    if (walk.linkAction && LinkCount(a) == kMaxLinkCount) break;
  }
  YieldTimeSlice();
  return true;
}

bool WalkWholePool(Walk& walk, FileRecord* a) {
  for (uint32_t j = 0; j < walk.count2; ++j) {
    FileRecord* b = &walk.records2[j];
    if (b->size != a->size) continue;
    ResolveLinkGroup(walk.records1, walk.count1, a);
    NoteFileName(a);
    ResolveLinkGroup(walk.records2, walk.count2, b);
    NoteFileName(b);
    if (walk.linkAction && LinkCount(a) + LinkCount(b) >= kMaxLinkCount) continue;
    if (IsLinkMember(a) && !RunOptions.FindHardlinks1) continue;
    if (IsLinkMember(b) && !RunOptions.FindHardlinks2 && !RunOptions.SameSearchFolder) continue;
    if (!ChecksumsDiffer(a, b) && KnownIdenticalAsFiles(a, b)) continue;
    if (!IsGone(b)) ComparePair(a, b, &walk.totals);
    if (CancelRequested) return false;
    if (IsGone(a)) break;
  }
  return true;
}

void PrintSummary(const Walk& walk, DWORD startTick) {
  ClearLine(-1);
  const MatchTotals& totals = walk.totals;
  ConsolePrint(L"%s pairs tested\n", FormatCount(totals.pairsTested));
  if (RunOptions.Action != ActionRenameFile1 && RunOptions.Action != ActionRenameFile2) {
    ConsolePrint(L"%s of redundant data found in %s file%s in %s\n", FormatSize1000(totals.redundant),
                 FormatCount(totals.filesFound), PluralSuffix(totals.filesFound),
                 FormatDuration(GetTickCount() - startTick));
    if (ReplacedCount)
      ConsolePrint(L"%s file%s replaced by hardlink saving %s\n", FormatCount(ReplacedCount),
                   PluralSuffix(ReplacedCount), FormatSize1000(SavedBytes));
    if (DeletedCount)
      ConsolePrint(L"%s file%s deleted saving %s\n", FormatCount(DeletedCount), PluralSuffix(DeletedCount),
                   FormatSize1000(SavedBytes));
  }
  if (RenamedCount) ConsolePrint(L"%s file%s renamed\n", FormatCount(RenamedCount), PluralSuffix(RenamedCount));
}
}  // namespace

void SetIndexedRunMinimumForTesting(uint32_t records) { g_indexedRunMinimum = records; }

const wchar_t* PluralSuffix(int64_t count) { return count == 1 ? L"" : L"s"; }

int64_t FindSizeRun(int64_t size, const FileRecord* records, int64_t first, int64_t last) {
  int64_t lo = first < 0 ? 0 : first;
  int64_t hi = last < 0 ? 0 : last;
  // The walk asks again from the start of the run it found last: a long run is not stepped back through.
  if (lo <= hi && records[lo].size == size && (lo == 0 || records[lo - 1].size != size)) return lo;
  while (lo <= hi) {
    int64_t mid = (lo + hi) / 2;
    if (records[mid].size == size) {
      while (mid > 0 && records[mid - 1].size == size) --mid;
      return mid;
    }
    if (records[mid].size > size)
      hi = mid - 1;
    else
      lo = mid + 1;
  }
  return -1;
}

uint32_t MatchPools(FileRecord* records1, uint32_t count1, FileRecord* records2, uint32_t count2, int sorted) {
  DWORD startTick = GetTickCount();
  uint32_t action = RunOptions.Action;
  Walk walk;
  walk.records1 = records1;
  walk.count1 = count1;
  walk.records2 = records2;
  walk.count2 = count2;
  walk.linkAction = action == ActionLinkFile1 || action == ActionLinkFile2 || action == ActionLinkFragmented;
  walk.statusTick = startTick;
  // A sorted report acts on no other name of a file: its names may join their group as the walk meets them,
  // which spares reading every record of a size run ahead of the walk.
  if (sorted && action == ActionReport && !RunOptions.FindHardlinks1 && !RunOptions.FindHardlinks2)
    walk.gathering = LinkGroupGathering::AsMet;
  SetKeepingForChecksum(!RunOptions.ParallelRead);
  // The files of shared sizes are read ahead, several at once. Pairs of two drives are read side by side by the
  // walk, and with -i or -t most files are never read whole anyway.
  if (sorted && !RunOptions.ParallelRead && !RunOptions.SameNameOnly && RunOptions.TestBlockSize == kNoSizeLimit)
    walk.ahead = StartReadsAhead(records1, count1, records2, count2);

  for (uint32_t i = 0; i < count1; ++i) {
    FileRecord* a = &records1[i];
    if (IsGone(a) || a->size == 0 || a->replacedByLink) continue;
    if (IsLinkMember(a) && !RunOptions.FindHardlinks1) continue;
    ShowProgress(walk, i);
    if (!(sorted ? WalkSizeRun(walk, a) : WalkWholePool(walk, a))) break;
    RefreshChanged(walk, nullptr, nullptr);  // a run walked again later must see what this file's walk changed
  }
  // The summary first: after a Ctrl+C the handler's line follows in a tenth of a second, and closing hundreds of
  // kept opens (each a server call under Wine) may take longer.
  PrintSummary(walk, startTick);
  StopReadsAhead(walk.ahead);
  SetKeepingForChecksum(false);
  ForgetFileNames();
  ReleaseChangedRecords();
  ReleaseLinkGroups(records1, count1);
  if (records2 != records1) ReleaseLinkGroups(records2, count2);
  return static_cast<uint32_t>(walk.totals.filesFound);
}
