#include "actions/target_choice.h"

#include <windows.h>

#include "base/run_options.h"
#include "identity/fragmentation.h"
#include "identity/link_groups.h"

namespace {
// -1, 0 or 1 as a has fewer, as many or more UTF-16 units than b.
int CompareLength(const wchar_t* a, const wchar_t* b) {
  size_t la = wcslen(a), lb = wcslen(b);
  return la < lb ? -1 : la > lb ? 1 : 0;
}

// Fails (returns 0) without touching *time when the attributes cannot be read.
int GetLastWriteTime(const wchar_t* path, FILETIME* time) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return 0;
  *time = data.ftLastWriteTime;
  return 1;
}

// A rule that acts on the smaller (or the larger) of two compared values; a tie goes to the fallback choice.
uint32_t PickBySign(int sign, bool pickSmaller, const DuplicateFile& file1, const DuplicateFile& file2,
                    int alreadyLinked) {
  if (sign == 0) return FallbackTarget(file1, file2, alreadyLinked);
  bool firstIsSmaller = sign < 0;
  return firstIsSmaller == pickSmaller ? 1 : 2;
}

int CompareWriteTimes(const DuplicateFile& file1, const DuplicateFile& file2) {
  FILETIME time1 = {}, time2 = {};
  GetLastWriteTime(file1.path, &time1);
  GetLastWriteTime(file2.path, &time2);
  return CompareFileTime(&time1, &time2);
}

// -h1 and -h2 relink only a file that has no other names.
bool HasSingleLink(const DuplicateFile& file, int alreadyLinked) {
  return !alreadyLinked && IsSingleName(file.record);
}
}  // namespace

uint32_t FallbackTarget(const DuplicateFile& file1, const DuplicateFile& file2, int alreadyLinked) {
  if (alreadyLinked) return 0;
  FileRecord* record1 = file1.record;
  FileRecord* record2 = file2.record;
  bool heads1 = IsLinkHead(record1), heads2 = IsLinkHead(record2);
  if (heads1 != heads2) return heads1 ? 2 : 1;

  uint32_t links1 = ReadLinkCount(record1);
  uint32_t links2 = ReadLinkCount(record2);
  if (links1 != links2) return links1 < links2 ? 1 : 2;

  if (record1->allocSize != record2->allocSize) return record1->allocSize > record2->allocSize ? 1 : 2;

  uint32_t fragments2 = CountFragments(file2.path);
  uint32_t fragments1 = CountFragments(file1.path);
  return fragments1 > fragments2 ? 1 : 2;
}

uint32_t ChooseTarget(uint32_t action, const DuplicateFile& file1, const DuplicateFile& file2, int alreadyLinked) {
  switch (action) {
    case ActionDeleteFile1:
      return 1;
    case ActionDeleteFile2:
      return 2;
    case ActionDeleteAny:
    case ActionDeleteFragmented:
    case ActionLinkFragmented:
      return FallbackTarget(file1, file2, alreadyLinked);
    case ActionLinkFile1:
      return HasSingleLink(file1, alreadyLinked) ? 1 : 0;
    case ActionLinkFile2:
      return HasSingleLink(file2, alreadyLinked) ? 2 : 0;
    case ActionDeleteShorterName:
    case ActionDeleteLongerName:
      return PickBySign(CompareLength(file1.record->name, file2.record->name), action == ActionDeleteShorterName,
                        file1, file2, alreadyLinked);
    case ActionDeleteShorterPath:
    case ActionDeleteLongerPath:
      return PickBySign(CompareLength(file1.record->dir, file2.record->dir), action == ActionDeleteShorterPath,
                        file1, file2, alreadyLinked);
    case ActionDeleteOlder:
    case ActionDeleteNewer:
      return PickBySign(CompareWriteTimes(file1, file2), action == ActionDeleteOlder, file1, file2, alreadyLinked);
    default:
      return 0;
  }
}
