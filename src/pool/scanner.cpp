#include "pool/scanner.h"

#include <windows.h>

#include <cwchar>

#include "base/long_path.h"
#include "base/memory.h"
#include "base/run_options.h"
#include "console/control.h"
#include "console/output.h"
#include "console/status_line.h"
#include "pool/file_pool.h"
#include "pool/folder_listing.h"
#include "pool/linked_folders.h"

namespace {
constexpr DWORD kProgressIntervalMs = 40;
constexpr DWORD kLinkedFolderTags = 0xA000000F;
// Room behind the folder path for an entry name (up to 259 units), a backslash or '*', and the terminator.
constexpr size_t kNameRoom = 262;

// One folder level: its listing state lives on the heap so that 1024 nested levels stay light on the stack.
struct ScanLevel {
  WIN32_FIND_DATAW entry;
  wchar_t path[1];  // the folder with its trailing backslash, then room for a name
};

void ShowProgressIfDue(FilePool* pool, bool force) {
  DWORD now = GetTickCount();
  if (!force && now - pool->lastProgressTick <= kProgressIntervalMs) return;
  PrintAt(pool->progressPos, L"%u", pool->count);
  pool->lastProgressTick = now;
}

// Warnings about a refused folder stand right of the running count.
uint32_t WarningCell(const FilePool* pool) {
  unsigned digits = 1;
  for (uint32_t rest = pool->count; rest >= 10; rest /= 10) ++digits;
  return MakeCell(CellColumn(pool->progressPos) + digits + 4, CellRow(pool->progressPos));
}

bool PassesFilters(const FilePool* pool, const WIN32_FIND_DATAW& entry, int64_t size) {
  if (lstrcmpW(pool->pattern, L"*") != 0 && !MatchWildcard(entry.cFileName, pool->pattern)) return false;
  return size >= RunOptions.MinFileSize && size <= RunOptions.MaxFileSize;
}

HANDLE OpenListing(const wchar_t* searchPattern, WIN32_FIND_DATAW* entry) {
  HANDLE listing = FindFirstEntry(searchPattern, entry);
  if (listing == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PATH_NOT_FOUND)
    listing = FindFirstFileW(searchPattern, entry);
  return listing;
}

// Stores one file; false when the pool is full.
bool StoreFile(FilePool* pool, ScanLevel* level, size_t folderLength, wchar_t** dirString, int64_t size) {
  FileRecord* record = AppendRecord(pool);
  if (!record) {
    PrintAt(pool->progressPos, L"%u files -> out of memory -> cancel", pool->count);
    // Redirected output has no console cell to show it in, yet a cut-short scan must never pass unsaid.
    if (GetOutputMode() == OutputMode::Redirected)
      ConsolePrint(L"%u files -> out of memory -> cancel\n", pool->count);
    return false;
  }
  record->name = DupString(level->entry.cFileName);
  // The folder's records share one copy of its path, made with its first file.
  if (!*dirString) {
    *dirString = static_cast<wchar_t*>(MemAlloc((folderLength + 1) * sizeof(wchar_t)));
    wmemcpy(*dirString, level->path, folderLength);
    record->ownsDir = 1;
  }
  record->dir = *dirString;
  record->size = size;
  // Without linked folders followed, every folder lies on the root's volume; a file link may lead elsewhere,
  // and so may a folder link that shows no link tag, as under Wine.
  if (!pool->followReparse && !(level->entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
      !IsListingLink(pool)) {
    record->serialRead = kOnPoolVolume;
    record->volumeSerial = pool->volumeTag;
  }
  ShowProgressIfDue(pool, false);
  return true;
}

// Lists the entries of one open folder; false when the scan has to stop.
bool ListEntries(FilePool* pool, ScanLevel* level, size_t folderLength, HANDLE listing) {
  wchar_t* dirString = nullptr;
  bool goOn = true;
  do {
    const WIN32_FIND_DATAW& entry = level->entry;
    if (IsDotEntry(entry.cFileName)) {
      // nothing to take
    } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (pool->recurse && (pool->followReparse || !IsLinkedFolder(entry.dwFileAttributes, entry.dwReserved0))) {
        lstrcpynW(level->path + folderLength, entry.cFileName, int(kNameRoom - 2));
        // A linked folder may lead to a folder listed anyway: it waits until the rest of the tree is listed.
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
          DeferLinkedFolder(pool, level->path, pool->depth);
        else if (!IsListedElsewhere(pool, level->path))
          goOn = ScanFolder(pool, level->path) != 0;
      }
    } else {
      int64_t size = int64_t((uint64_t(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow);
      if (PassesFilters(pool, entry, size)) goOn = StoreFile(pool, level, folderLength, &dirString, size);
    }
    if (!goOn || CancelRequested) break;
  } while (FindNextFileW(listing, &level->entry));
  return goOn;
}
}  // namespace

int ScanFolder(FilePool* pool, const wchar_t* folder) {
  if (pool->depth++ >= kMaxScanDepth) {
    PrintAt(WarningCell(pool), L"path nested too deep (max %i) -> ignore", kMaxScanDepth);
    --pool->depth;
    return 1;
  }
  size_t folderLength = wcslen(folder);
  if (folderLength >= size_t(kMaxScanPathLength)) {
    PrintAt(WarningCell(pool), L"path too long (max %i) -> ignore", kPathUnits);
    --pool->depth;
    return 1;
  }

  ScanLevel* level = static_cast<ScanLevel*>(MemAlloc(sizeof(ScanLevel) + (folderLength + kNameRoom) * sizeof(wchar_t)));
  wmemcpy(level->path, folder, folderLength);
  if (folderLength == 0 || level->path[folderLength - 1] != L'\\') level->path[folderLength++] = L'\\';
  // List every entry: subfolders must be found whatever the name pattern, which is applied here.
  level->path[folderLength] = L'*';
  level->path[folderLength + 1] = 0;

  bool goOn = true;
  HANDLE listing = OpenListing(level->path, &level->entry);
  if (listing == INVALID_HANDLE_VALUE) {
    // An empty drive root answers "file not found": nothing to list, nothing to report.
    if (GetLastError() != ERROR_FILE_NOT_FOUND) PrintAt(pool->errorPos, L"cannot open '%s'", DisplayPath(level->path));
  } else {
    goOn = ListEntries(pool, level, folderLength, listing);
    FindClose(listing);
    ShowProgressIfDue(pool, false);
  }

  MemFree(level);
  --pool->depth;
  // The final count is always shown.
  ShowProgressIfDue(pool, pool->depth == 0);
  return goOn ? 1 : 0;
}

bool IsLinkedFolder(uint32_t attributes, uint32_t reparseTag) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) && (reparseTag & kLinkedFolderTags) != 0;
}

int MatchWildcard(const wchar_t* name, const wchar_t* pattern) {
  if (!*name || !*pattern) return 0;
  // Case folding by the 0x20 bit covers ASCII and Latin-1 letters; the pattern's end matches nothing.
  auto same = [](wchar_t n, wchar_t p) { return p != 0 && (p == L'?' || (n & ~0x20) == (p & ~0x20)); };
  while (*name && *pattern != L'*') {
    if (!same(*name, *pattern)) return 0;
    ++name;
    ++pattern;
  }
  const wchar_t* retryPattern = nullptr;
  const wchar_t* retryName = nullptr;
  while (*name) {
    if (*pattern == L'*') {
      if (!*++pattern) return 1;
      retryPattern = pattern;
      retryName = name + 1;
    } else if (same(*name, *pattern)) {
      ++name;
      ++pattern;
    } else {
      if (!retryPattern) return 0;
      pattern = retryPattern;
      name = retryName++;
    }
  }
  while (*pattern == L'*') ++pattern;
  return *pattern == 0 ? 1 : 0;
}

namespace {
void ScanRoot(FilePool* pool) {
  if (ScanFolder(pool, pool->rootDir) && ListLinkedFolders(pool, ScanFolder)) ShowProgressIfDue(pool, true);
  ReleaseLinkedFolders(pool);
}

DWORD WINAPI ScanThread(void* parameter) {
  ScanRoot(static_cast<FilePool*>(parameter));
  return 1;
}
}  // namespace

FilePool* CreateFilePool(FilePool* pool, const ScanRequest& request, HANDLE* threadHandle) {
  InitFilePool(pool, request);
  if (threadHandle)
    *threadHandle = StartThread(ScanThread, pool);
  else
    ScanRoot(pool);
  ClearLine(static_cast<int>(CellRow(request.errorPos)));
  return pool;
}
