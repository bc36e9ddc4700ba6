#include "match/match_pools.h"

#include <windows.h>

#include "actions/action_counters.h"
#include "base/run_options.h"
#include "compare/checksum_file.h"
#include "console/control.h"
#include "console/output.h"
#include "console/status_line.h"
#include "format/size_format.h"
#include "identity/link_groups.h"
#include "match/compare_pair.h"
#include "match/time_slice.h"

namespace {
constexpr uint32_t kMostLinks = 1024;  // the most hard links one NTFS file can have

struct Walk {
  FileRecord* records1;
  uint32_t count1;
  FileRecord* records2;
  uint32_t count2;
  bool linkAction;
  int64_t pairsTested = 0;  // a run of 46,341 files of one size already makes 2^31 pairs
  int32_t filesFound = 0;
  int64_t redundant = 0;
  int64_t runStart = -1;
  DWORD statusTick = 0;
};

bool IsGone(const FileRecord* record) { return !record->name || !record->name[0]; }

void ShowProgress(Walk& walk, uint32_t i) {
  if (Console && Console->redirected) return;
  // Large pools update at most once per clock tick, but every 16th file and the last nine always show.
  bool skip = walk.count1 >= 80 && i % 16 != 0 && GetTickCount() == walk.statusTick && i + 10 <= walk.count1;
  if (skip) return;
  StatusPrint(L"checking file %s of %s...", FormatCount(i + 1), FormatCount(walk.count1));
  walk.statusTick = GetTickCount();
}

// Returns false when the whole walk must end (cancel).
bool WalkSizeRun(Walk& walk, FileRecord* a) {
  if (walk.count2 == 0) return true;
  int64_t j = FindSizeRun(a->size, walk.records2, walk.runStart, int64_t(walk.count2) - 1);
  if (j < 0) return true;
  ResolveLinkGroup(walk.records1, walk.count1, a);
  if (walk.linkAction && *a->linkCount == kMostLinks) return true;
  if (a->linkState == 3 && !RunOptions.FindHardlinks1) return true;
  walk.runStart = j;
  for (; j < walk.count2 && walk.records2[j].size == a->size; ++j) {
    FileRecord* b = &walk.records2[j];
    if (b != a) {
      ResolveLinkGroup(walk.records2, walk.count2, b);
      if (b->linkState == 3) continue;  // its head stands for it
      if (walk.linkAction && *a->linkCount + *b->linkCount > kMostLinks) continue;
      if (!RunOptions.FindHardlinks2 && !ChecksumsDiffer(a, b)) {
        if (IsSameFile(a, b)) continue;
        if (KnownIdenticalEitherWay(a, b)) continue;
      }
      if (!IsGone(b)) ComparePair(a, b, &walk.pairsTested, &walk.filesFound, &walk.redundant);
      if (CancelRequested) return false;
      if (IsGone(a)) break;
    }
    if (walk.linkAction && *a->linkCount == kMostLinks) break;
  }
  YieldTimeSlice();
  return true;
}

bool WalkWholePool(Walk& walk, FileRecord* a) {
  for (uint32_t j = 0; j < walk.count2; ++j) {
    FileRecord* b = &walk.records2[j];
    if (b->size != a->size) continue;
    ResolveLinkGroup(walk.records1, walk.count1, a);
    ResolveLinkGroup(walk.records2, walk.count2, b);
    if (walk.linkAction && *a->linkCount + *b->linkCount >= kMostLinks) continue;
    if (a->linkState == 3 && !RunOptions.FindHardlinks1) continue;
    if (b->linkState == 3 && !RunOptions.FindHardlinks2 && !RunOptions.SameSearchFolder) continue;
    if (!ChecksumsDiffer(a, b) && KnownIdenticalEitherWay(a, b)) continue;
    if (!IsGone(b)) ComparePair(a, b, &walk.pairsTested, &walk.filesFound, &walk.redundant);
    if (CancelRequested) return false;
    if (IsGone(a)) break;
  }
  return true;
}

void PrintSummary(const Walk& walk, DWORD startTick) {
  ClearLine(-1);
  ConsolePrint(L"%s pairs tested\n", FormatCount(walk.pairsTested));
  if (RunOptions.Action != ActionRenameFile1 && RunOptions.Action != ActionRenameFile2) {
    ConsolePrint(L"%s of redundant data found in %s file%s in %s\n", FormatSize1000(walk.redundant),
                 FormatCount(walk.filesFound), PluralSuffix(walk.filesFound), FormatDuration(GetTickCount() - startTick));
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

const wchar_t* PluralSuffix(int64_t count) { return count == 1 ? L"" : L"s"; }

int64_t FindSizeRun(int64_t size, const FileRecord* records, int64_t first, int64_t last) {
  int64_t lo = first < 0 ? 0 : first;
  int64_t hi = last < 0 ? 0 : last;
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
  Walk walk{records1, count1, records2, count2,
            action == ActionLinkFile1 || action == ActionLinkFile2 || action == ActionLinkFragmented};
  walk.statusTick = startTick;

  for (uint32_t i = 0; i < count1; ++i) {
    FileRecord* a = &records1[i];
    if (IsGone(a) || a->size == 0 || a->replacedByLink) continue;
    if (a->linkState == 3 && !RunOptions.FindHardlinks1) continue;
    ShowProgress(walk, i);
    if (!(sorted ? WalkSizeRun(walk, a) : WalkWholePool(walk, a))) break;
  }
  CloseKeptForChecksum();
  PrintSummary(walk, startTick);
  return static_cast<uint32_t>(walk.filesFound);
}
