#include "run/run_main.h"

#include <windows.h>

#include <initializer_list>

#include "actions/actions.h"
#include "base/long_path.h"
#include "base/memory.h"
#include "compare/checksum_buffers.h"
#include "console/control.h"
#include "console/output.h"
#include "console/status_line.h"
#include "console/window_size.h"
#include "crashdump/crash_dump.h"
#include "format/size_format.h"
#include "identity/file_identity.h"
#include "match/match_pools.h"
#include "match/sort.h"
#include "pool/file_pool.h"
#include "pool/scanner.h"
#include "run/options.h"
#include "run/process_setup.h"
#include "run/source_paths.h"
#include "run/usage.h"
#include "topology/drive_identity.h"

namespace {
constexpr uint32_t kSortMessageThreshold = 500000;
// Volume paths as long as the folders: a long folder is still on a valid volume.
constexpr int kVolumePathUnits = kPathUnits;

// An abort that the user should see before a standalone window closes.
int AbortWithKeyWait(int exitCode) {
  WaitForKeyIfStandalone(Console);
  return exitCode;
}

int EndAfterScan(int exitCode) {
  if (exitCode == 9) WaitForKeyIfStandalone(Console);
  SetCursorVisible(1);
  return exitCode;
}

void SetUpProcess() {
  HardenDllSearch();
  SetUnhandledExceptionFilter(CrashDumpFilter);
  CreateConsoleContext();
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
  wchar_t programPath[260];
  DWORD length = GetModuleFileNameW(nullptr, programPath, 260);
  if (length >= 260) length = 0;
  programPath[length] = 0;
  GetProgramFolder(programPath);
  ReadProgramVersion(programPath);
  LookupNtQueryObject();
  if (IsStandalone(Console)) SizeConsoleWindow(260, 1000);
}

// Checks that the volume behind a specification can be opened; fills its volume path.
bool ResolveVolume(const wchar_t* spec, wchar_t* volumePath) {
  wchar_t* lookup = static_cast<wchar_t*>(MemAlloc(kPathUnits * sizeof(wchar_t)));
  GetVolumeLookupPath(spec, lookup, kPathUnits);
  bool ok = GetVolumePath(lookup, volumePath, kVolumePathUnits) != 0;
  MemFree(lookup);
  return ok;
}

// Each source must lie on a valid volume; the hard-link actions also need both on one volume.
int CheckSourceVolumes() {
  wchar_t* volumePath1 = static_cast<wchar_t*>(MemAlloc(kVolumePathUnits * sizeof(wchar_t)));
  wchar_t* volumePath2 = static_cast<wchar_t*>(MemAlloc(kVolumePathUnits * sizeof(wchar_t)));
  int exitCode = 0;
  if (!ResolveVolume(FileSpec1, volumePath1))
    exitCode = 7;
  else if (!ResolveVolume(FileSpec2, volumePath2))
    exitCode = 8;
  if (exitCode) {
    ConsolePrint(L"source volume is invalid\n");
  } else {
    uint32_t action = RunOptions.Action;
    if (action == ActionLinkFile1 || action == ActionLinkFile2 || action == ActionLinkFragmented)
      exitCode = CheckHardlinkVolumes(volumePath1, volumePath2);
  }
  MemFree(volumePath2);
  MemFree(volumePath1);
  return exitCode ? AbortWithKeyWait(exitCode) : 0;
}

void MarkFolderSpec(wchar_t* spec, int32_t* recurse) {
  if (!IsExistingFolder(spec)) return;
  AppendCharIfMissing(spec, L'\\');
  AppendCharIfMissing(spec, L'*');
  *recurse = 1;
}

// Quotes, absolute paths, volumes, folders, prefixes, existence. Returns 0 or the exit code.
int PrepareSources() {
  StripQuotes(FileSpec1);
  StripQuotes(FileSpec2);
  if (FileSpec1[0] == 0) {
    ConsolePrint(L"no source file or folder -> abort\n");
    return 4;
  }
  MakeAbsolute(FileSpec1, FileSpec2);

  if (int exitCode = CheckSourceVolumes()) return exitCode;

  MarkFolderSpec(FileSpec1, &RunOptions.RecurseSpec1);
  MarkFolderSpec(FileSpec2, &RunOptions.RecurseSpec2);
  PrefixCurrentFolder(FileSpec1);
  AddLongPathPrefix(FileSpec1);
  AddLongPathPrefix(FileSpec2);
  SplitSpec(FileSpec1, SearchFolder1, Pattern1);
  SplitSpec(FileSpec2, SearchFolder2, Pattern2);

  if (!PathExists(SearchFolder1)) {
    ConsolePrint(L"%s not found -> abort\n\n", DisplayPath(SearchFolder1));
    return AbortWithKeyWait(9);
  }
  if (!PathExists(SearchFolder2)) {
    ConsolePrint(L"%s not found -> abort\n\n", DisplayPath(SearchFolder2));
    return AbortWithKeyWait(9);
  }
  if (!HasWildcard(Pattern1) && !PathExists(FileSpec1) && !RunOptions.RecurseSpec1) {
    ConsolePrint(L"File not found -> abort\n\n");
    return AbortWithKeyWait(9);
  }
  return 0;
}

void PrintLimits() {
  if (RunOptions.TestBlockSize < kNoSizeLimit)
    ConsolePrint(L"testing max 3x %s per file\n", FormatSize1024(RunOptions.TestBlockSize));
  if (RunOptions.MinFileSize > 0) ConsolePrint(L"testing files > %s\n", FormatSize1024(RunOptions.MinFileSize));
  if (RunOptions.MaxFileSize < kNoSizeLimit)
    ConsolePrint(L"testing files < %s\n", FormatSize1024(RunOptions.MaxFileSize));
}

// Prints a pool label; its count goes right behind it on the same row.
uint32_t PrintPoolLabel(const wchar_t* format, unsigned number) {
  int printed = ConsolePrint(format, number);
  return MakeCell(printed > 0 ? printed : 0, GetCursorRow());
}

void SortPools(FilePool* pool1, FilePool* pool2, uint32_t totalCount) {
  if (!RunOptions.SortBySize) return;
  DWORD start = GetTickCount();
  bool announce = totalCount > kSortMessageThreshold;
  if (announce) {
    StartCleanLine();
    ClearLine(-1);
    ConsolePrint(L"sorting files by size...");
  }
  for (FilePool* pool : {pool1, pool2}) {
    if (!pool) continue;
    SortPool(pool);
  }
  if (announce) {
    ClearLine(-1);
    ConsolePrint(L"sorted in %u ms", GetTickCount() - start);
  }
}

FilePool* NewPool() { return static_cast<FilePool*>(MemAlloc(sizeof(FilePool))); }

void WaitAndClose(HANDLE thread) {
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}

// The volume tags of the two pools, decided before their scans: one for both when their roots lie on one
// volume, so that a file of each with one index (two names of one file, as in a copy made of hard links)
// is told as one file without a volume query, which under Wine is a round trip to the mount manager.
uint32_t g_poolTags[2] = {};

// What file specification 1 or 2 asks its scan for.
ScanRequest RequestOf(int spec, uint32_t progressPos, uint32_t errorPos) {
  if (spec == 1)
    return {SearchFolder1, Pattern1, RunOptions.RecurseSpec1, RunOptions.ReparseSpec1, progressPos, errorPos,
            g_poolTags[0]};
  return {SearchFolder2, Pattern2, RunOptions.RecurseSpec2, RunOptions.ReparseSpec2, progressPos, errorPos,
          g_poolTags[1]};
}

// Two pools read at once from two drives: both labels first, then both scans on their own threads.
int ScanInParallel(FilePool* pool1, FilePool* pool2) {
  uint32_t progress1 = PrintPoolLabel(L"scanning file pool %u: ", 1);
  // The coming line feed scrolls a full buffer by one row.
  if (int(CellRow(progress1)) == GetScreenHeight() - 1) progress1 = MakeCell(CellColumn(progress1), CellRow(progress1) - 1);
  ConsolePrint(L"\n");
  uint32_t progress2 = PrintPoolLabel(L"scanning file pool %u: ", 2);
  uint32_t errorPos = MakeCell(0, CellRow(progress2) + 1);
  HANDLE thread1 = nullptr, thread2 = nullptr;
  CreateFilePool(pool1, RequestOf(1, progress1, errorPos), &thread1);
  CreateFilePool(pool2, RequestOf(2, progress2, errorPos), &thread2);
  WaitAndClose(thread1);
  WaitAndClose(thread2);
  if (pool1->count == 0 || pool2->count == 0) {
    ConsolePrint(L"\n");
    return 9;
  }
  return 0;
}

int ScanInSequence(FilePool* pool1, FilePool* pool2) {
  uint32_t progress1 = PrintPoolLabel(L"scanning file pool %u: ", 1);
  HANDLE thread = nullptr;
  CreateFilePool(pool1, RequestOf(1, progress1, MakeCell(0, CellRow(progress1) + 1)), &thread);
  WaitAndClose(thread);
  if (pool1->count == 0) return 9;
  if (CancelRequested) return 1;
  ConsolePrint(L"\n");
  uint32_t progress2 = PrintPoolLabel(L"scanning file pool %u: ", 2);
  CreateFilePool(pool2, RequestOf(2, progress2, MakeCell(0, CellRow(progress2) + 1)), &thread);
  WaitAndClose(thread);
  return pool2->count == 0 ? 9 : 0;
}

// One folder matched against itself. Returns 0, or the exit code of a cancel.
int ScanOnePool(FilePool* pool) {
  // The hard-link rule of file1 applies to the only pool.
  if (RunOptions.FindHardlinks1) {
    RunOptions.FindHardlinks1 = 0;
    RunOptions.FindHardlinks2 = 1;
  }
  RunOptions.ParallelRead = 0;
  uint32_t progress = PrintPoolLabel(L"scanning file pool: ", 0);
  CreateFilePool(pool, RequestOf(1, progress, MakeCell(0, CellRow(progress) + 1)), nullptr);
  SortPools(pool, nullptr, pool->count);
  if (CancelRequested) return 1;
  ConsolePrint(L"\n");
  ClearLine(-1);
  ConsolePrint(L"Matching %u files...\n", pool->count);
  return 0;
}

// The files of the first folder matched with those of the second. Returns 0, or the exit code of an empty
// pool or a cancel.
int ScanTwoPools(FilePool* pool1, FilePool* pool2) {
  if (!RunOptions.SameVolume && IsSamePhysicalDrive(SearchFolder1, SearchFolder2)) RunOptions.ParallelRead = 0;
  g_poolTags[0] = NewVolumeTag();
  g_poolTags[1] = FoldersShareVolume(SearchFolder1, SearchFolder2) ? g_poolTags[0] : NewVolumeTag();
  if (int exitCode = RunOptions.ParallelRead ? ScanInParallel(pool1, pool2) : ScanInSequence(pool1, pool2))
    return exitCode;
  SortPools(pool1, pool2, pool1->count + pool2->count);
  if (CancelRequested) return 1;
  ConsolePrint(L"\n");
  ClearLine(-1);
  ConsolePrint(L"Matching %u with %u file%s...\n", pool1->count, pool2->count, pool2->count == 1 ? L"" : L"s");
  return 0;
}

void ReleasePool(FilePool* pool) {
  if (!pool) return;
  ReleaseFilePool(pool);
  MemFree(pool);
}
}  // namespace

int RunMain(int argc, wchar_t** argv) {
  SetUpProcess();
  PrintBanner();
  if (argc < 2) {
    PrintUsage();
    return AbortWithKeyWait(3);
  }
  ReadSystemVersion();
  if (int exitCode = ParseArguments(argc, argv)) return AbortWithKeyWait(exitCode);
  DisableWow64Redirection();
  if (int exitCode = PrepareSources()) return exitCode;

  InitChecksumBuffers();
  SetCursorVisible(0);
  PrintLimits();

  RunOptions.SameSearchFolder = lstrcmpW(SearchFolder1, SearchFolder2) == 0;
  RunOptions.SameVolume = IsSameVolume(SearchFolder1, SearchFolder2);
  if (RunOptions.SameVolume) RunOptions.ParallelRead = 0;

  FilePool* pool1 = NewPool();
  FilePool* pool2 = RunOptions.SameSearchFolder ? nullptr : NewPool();
  if (int exitCode = pool2 ? ScanTwoPools(pool1, pool2) : ScanOnePool(pool1)) return EndAfterScan(exitCode);

  FilePool* second = pool2 ? pool2 : pool1;
  uint32_t identical = MatchPools(pool1->records, pool1->count, second->records, second->count, RunOptions.SortBySize);

  ReleasePool(pool1);
  ReleasePool(pool2);
  FreeChecksumBuffers();
  if (!RunOptions.NoWaitForKey) WaitForKeyIfStandalone(Console);
  ReleaseConsoleContext(Console);
  SetCursorVisible(1);
  // A pair whose line was lost was left alone: the run did not do what it was asked, as after a cancel.
  if (PairLineWriteFailed()) return 1;
  return identical ? 0 : 2;
}
