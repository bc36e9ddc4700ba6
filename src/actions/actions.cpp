#include "actions/actions.h"

#include <cwchar>

#include "console/output.h"
#include "pool/memory.h"
#include "run/options.h"

uint32_t DeletedCount = 0;
uint32_t RenamedCount = 0;
uint32_t ReplacedCount = 0;
int64_t SavedBytes = 0;

// First cut: the pair is reported; no action is carried out yet.
int ActOnDuplicate(FileRecord* record1, FileRecord* record2, wchar_t* path1, wchar_t* path2, int alreadyLinked,
                   int64_t* redundant) {
  if (record1->size == 0 || record2->size == 0 || record2->replacedByLink) return 0;
  const wchar_t* name1 = path1 + wcslen(SearchFolder1);
  const wchar_t* name2 = path2 + wcslen(SearchFolder2);
  if (alreadyLinked) {
    ConsolePrint(L"%s =hardlink= %s\n", name1, name2);
  } else {
    ConsoleWriteText(name1);
    ConsolePrint(L" %s ", record1->linkState == 3 ? (record2->linkState == 3 ? L"++" : L"+=")
                                                  : (record2->linkState == 3 ? L"=+" : L"=="));
    ConsoleWriteText(name2);
    ConsoleWriteText(L"\n");
  }
  if (record2->linkState != 3) *redundant += record2->allocSize;
  return 1;
}

wchar_t* JoinPath(const wchar_t* dir, const wchar_t* name) {
  size_t dirLength = wcslen(dir), nameLength = wcslen(name);
  wchar_t* path = static_cast<wchar_t*>(MemAlloc((dirLength + nameLength + 2) * sizeof(wchar_t)));
  wmemcpy(path, dir, dirLength);
  wmemcpy(path + dirLength, name, nameLength + 1);
  return path;
}

int CompareLength(const wchar_t* a, const wchar_t* b) {
  size_t la = wcslen(a), lb = wcslen(b);
  return la < lb ? -1 : la > lb ? 1 : 0;
}

int GetLastWriteTime(const wchar_t* path, FILETIME* time) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return 0;
  *time = data.ftLastWriteTime;
  return 1;
}
