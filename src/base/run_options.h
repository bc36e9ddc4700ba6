#pragma once
// The settings of one run, from the command line: written by the option parser and the run driver before
// the first scan, read by everything after.
#include <cstdint>

constexpr int64_t kNoSizeLimit = 0x7FFFFFFFFFFFFFFFLL;
constexpr int kPathUnits = 32768;  // UTF-16 units of a path buffer

struct RunOptionsRecord {
  int64_t TestBlockSize = kNoSizeLimit;  // the default stands for comparing whole files
  int64_t MinFileSize = 0;
  int64_t MaxFileSize = kNoSizeLimit;
  uint32_t Action = 0;  // DuplicateAction code 0 to 15
  int32_t FindHardlinks1 = 0;
  int32_t FindHardlinks2 = 0;
  int32_t RecurseSpec1 = 0;
  int32_t RecurseSpec2 = 0;
  int32_t ReparseSpec1 = 0;
  int32_t ReparseSpec2 = 0;
  int32_t SameNameOnly = 0;
  int32_t DeleteEmptiedDirs = 0;
  int32_t NoWaitForKey = 0;
  int32_t SortBySize = 1;
  // Settled by the run driver before the first scan.
  int32_t ParallelRead = 1;
  int32_t SameSearchFolder = 0;
  int32_t SameVolume = 0;
};

// The duplicate actions, as held in RunOptions.Action.
enum DuplicateAction : uint32_t {
  ActionReport = 0,
  ActionDeleteFile1 = 1,
  ActionDeleteFile2 = 2,
  ActionDeleteAny = 3,
  ActionDeleteFragmented = 4,
  ActionLinkFile1 = 5,
  ActionLinkFile2 = 6,
  ActionLinkFragmented = 7,
  ActionDeleteShorterName = 8,
  ActionDeleteLongerName = 9,
  ActionDeleteShorterPath = 10,
  ActionDeleteLongerPath = 11,
  ActionDeleteOlder = 12,
  ActionDeleteNewer = 13,
  ActionRenameFile1 = 14,
  ActionRenameFile2 = 15,
};

extern RunOptionsRecord RunOptions;
extern wchar_t FileSpec1[kPathUnits];
extern wchar_t FileSpec2[kPathUnits];
// The folders the scans start in (with a trailing backslash) and their name patterns. Report lines show
// paths relative to these folders.
extern wchar_t SearchFolder1[kPathUnits];
extern wchar_t SearchFolder2[kPathUnits];
extern wchar_t Pattern1[kPathUnits];
extern wchar_t Pattern2[kPathUnits];

// Back to the defaults; for tests that parse several command lines in one process.
void ResetRunOptions();
