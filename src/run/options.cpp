#include "run/options.h"

#include <windows.h>
#include <shlwapi.h>

#include "console/output.h"

namespace {
enum Effect { kNone, kFindLinks1, kFindLinks2, kRecurse, kRecurse1, kRecurse2, kSameName, kReparse,
              kReparse1, kReparse2, kUnsorted, kDeleteEmptied, kNoWait, kAction };

struct OptionWord {
  const wchar_t* word;
  Effect effect;
  uint32_t action;
};

const OptionWord kOptionWords[] = {
    {L"-v", kNone, 0},          {L"-fh", kFindLinks2, 0},     {L"-fh1", kFindLinks1, 0},
    {L"-fh2", kFindLinks2, 0},  {L"-d1", kAction, 1},         {L"-d2", kAction, 2},
    {L"-da", kAction, 3},       {L"-d", kAction, 4},          {L"-h1", kAction, 5},
    {L"-h2", kAction, 6},       {L"-h", kAction, 7},          {L"-dsn", kAction, 8},
    {L"-dln", kAction, 9},      {L"-dsp", kAction, 10},       {L"-dlp", kAction, 11},
    {L"-do", kAction, 12},      {L"-dn", kAction, 13},        {L"-e1", kAction, 14},
    {L"-e2", kAction, 15},      {L"-s", kRecurse, 0},         {L"-s1", kRecurse1, 0},
    {L"-s2", kRecurse2, 0},     {L"-i", kSameName, 0},        {L"-r", kReparse, 0},
    {L"-r1", kReparse1, 0},     {L"-r2", kReparse2, 0},       {L"-p", kNone, 0},
    {L"-u", kUnsorted, 0},      {L"-ded", kDeleteEmptied, 0}, {L"-def", kDeleteEmptied, 0},
    {L"-n", kNoWait, 0},
};

void ApplyOption(const OptionWord& option, int* actionCount) {
  RunOptionsRecord& o = RunOptions;
  switch (option.effect) {
    case kNone: break;
    case kFindLinks1: o.FindHardlinks1 = 1; break;
    case kFindLinks2: o.FindHardlinks2 = 1; break;
    case kRecurse: o.RecurseSpec1 = o.RecurseSpec2 = 1; break;
    case kRecurse1: o.RecurseSpec1 = 1; break;
    case kRecurse2: o.RecurseSpec2 = 1; break;
    case kSameName: o.SameNameOnly = 1; break;
    case kReparse: o.ReparseSpec1 = o.ReparseSpec2 = 1; break;
    case kReparse1: o.ReparseSpec1 = 1; break;
    case kReparse2: o.ReparseSpec2 = 1; break;
    case kUnsorted: o.SortBySize = 0; break;
    case kDeleteEmptied: o.DeleteEmptiedDirs = 1; break;
    case kNoWait: o.NoWaitForKey = 1; break;
    case kAction:
      ++*actionCount;
      o.Action = option.action;
      // Deleting file1 or file2 must see hard links of that file, or it could delete the last copy.
      if (option.action == ActionDeleteFile1) o.FindHardlinks1 = 1;
      if (option.action == ActionDeleteFile2) o.FindHardlinks2 = 1;
      break;
  }
}

bool ApplyOptionWord(wchar_t* arg, int* actionCount) {
  if (lstrlenW(arg) > 4 || (arg[0] != L'-' && arg[0] != L'/')) return false;
  arg[0] = L'-';
  for (const OptionWord& option : kOptionWords) {
    if (lstrcmpiW(arg, option.word) == 0) {
      ApplyOption(option, actionCount);
      return true;
    }
  }
  return false;
}

// "/t:1M" is what a Windows user writes for -t:1M, and no path can be spelt that way (a colon cannot follow
// a name at the root). Without the colon the slash form stays a path: "/t1M" may name a folder at the root.
void SlashSizeOptionToDash(wchar_t* arg) {
  if (arg[0] != L'/' || arg[1] == 0 || arg[2] != L':') return;
  wchar_t letter = arg[1] | 0x20;
  if (letter == L't' || letter == L'm' || letter == L'x') arg[0] = L'-';
}

// -t:size, -m:size, -x:size. A digit right after the letter makes the argument a no-op (-t1M does nothing);
// an argument too short for its option falls through to become a file specification (-t:8).
bool ApplySizeOption(wchar_t* arg) {
  SlashSizeOptionToDash(arg);
  struct SizeOption {
    const wchar_t* prefix;
    int minLength;
    int64_t* target;
  };
  const SizeOption options[] = {{L"-t", 5, &RunOptions.TestBlockSize},
                                {L"-m", 4, &RunOptions.MinFileSize},
                                {L"-x", 4, &RunOptions.MaxFileSize}};
  int length = lstrlenW(arg);
  for (const SizeOption& option : options) {
    if (StrCmpNIW(arg, option.prefix, 2) != 0) continue;
    if (arg[2] >= L'0' && arg[2] <= L'9') return true;
    if (length < option.minLength) continue;
    int64_t value = ParseSizeText(arg + 3);
    if (option.target == &RunOptions.TestBlockSize)
      value = ClampToRange(value, 8192, kNoSizeLimit) & ~int64_t(0xFFF);
    *option.target = value;
    return true;
  }
  return false;
}
}  // namespace

int64_t ClampToRange(int64_t value, int64_t lower, int64_t upper) {
  if (value < lower) return lower;
  if (value > upper) return upper;
  return value;
}

int64_t ParseSizeText(const wchar_t* text) {
  if (lstrlenW(text) > 63) return 0;
  LONGLONG number = 0;
  DWORD flags = (text[0] == L'0' && text[1] == L'x') ? STIF_SUPPORT_HEX : STIF_DEFAULT;
  if (!StrToInt64ExW(text, flags, &number)) number = 0;

  wchar_t upper[64];
  lstrcpynW(upper, text, 64);
  CharUpperW(upper);
  for (const wchar_t* p = upper; *p; ++p) {
    if (*p < L'A' || *p > L'Z') continue;
    // Only the first letter counts: 1KB is 1024, 0x10K is 16. Overflow wraps, as 64-bit arithmetic does.
    int shift = *p == L'K' ? 10 : *p == L'M' ? 20 : *p == L'G' ? 30 : *p == L'T' ? 40 : 0;
    return static_cast<int64_t>(static_cast<uint64_t>(number) << shift);
  }
  return number;
}

int ParseArguments(int argc, wchar_t** argv) {
  int actionCount = 0;
  for (int i = 1; i < argc; ++i) {
    wchar_t* arg = argv[i];
    if (ApplyOptionWord(arg, &actionCount)) continue;
    if (ApplySizeOption(arg)) continue;
    if (FileSpec1[0] == 0) {
      lstrcpynW(FileSpec1, arg, kPathUnits);
    } else if (FileSpec2[0] == 0) {
      lstrcpynW(FileSpec2, arg, kPathUnits);
    } else {
      ConsolePrint(L"invalid parameter %s\n", arg);
      return 4;
    }
  }
  if (actionCount > 1) {
    ConsolePrint(L"only one action makes sense -> abort\n");
    return 4;
  }
  return 0;
}
