#include "pool/linked_folders.h"

#include <windows.h>

#include <cstring>
#include <cwchar>

#include "base/memory.h"
#include "base/run_options.h"
#include "console/console_state.h"

struct LinkedFolders {
  struct Deferred {
    wchar_t* path;      // as listed
    wchar_t* expected;  // its final path if it were no link: its parent's final path and its name; null if unknown
    int32_t depth;
  };
  Deferred* deferred;
  uint32_t deferredCount;
  uint32_t deferredCapacity;
  uint32_t nextDeferred;
  // Final paths of the folders whose subtrees are listed: the root first, then each link's target entered.
  wchar_t** listed;
  uint32_t listedCount;
  uint32_t listedCapacity;
  // The subtree being listed: listed[current] is the final path of the folder whose path as listed has
  // listedLength characters. Below it, a folder's final path is listed[current] followed by the rest of its path.
  uint32_t current;
  size_t listedLength;
  bool listingLink;
};

namespace {
using FinalPathFunction = DWORD(WINAPI*)(HANDLE file, LPWSTR path, DWORD units, DWORD flags);

// Looked up, not imported: where the system lacks it, links are entered where they stand.
FinalPathFunction FinalPathCall() {
  static FinalPathFunction call = reinterpret_cast<FinalPathFunction>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetFinalPathNameByHandleW")));
  return call;
}

// The folder's path with every link on it resolved, without a trailing backslash; null when unknown.
wchar_t* FinalPathOf(const wchar_t* folder) {
  FinalPathFunction finalPath = FinalPathCall();
  if (!finalPath) return nullptr;
  HANDLE handle = CreateFileW(folder, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  wchar_t* path = static_cast<wchar_t*>(MemAlloc(kPathUnits * sizeof(wchar_t)));
  DWORD units = finalPath(handle, path, kPathUnits, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  CloseHandle(handle);
  if (units == 0 || units >= kPathUnits) {
    MemFree(path);
    return nullptr;
  }
  if (units > 0 && path[units - 1] == L'\\') path[units - 1] = 0;
  return path;
}

// final followed by the part of path beyond its first skip characters.
wchar_t* Concat(const wchar_t* final, const wchar_t* path, size_t skip) {
  size_t head = wcslen(final), tail = wcslen(path + skip);
  wchar_t* joined = static_cast<wchar_t*>(MemAlloc((head + tail + 1) * sizeof(wchar_t)));
  wmemcpy(joined, final, head);
  wmemcpy(joined + head, path + skip, tail + 1);
  return joined;
}

// The final path of a folder below the subtree being listed, from the path it is listed under.
wchar_t* FinalPathBelowCurrent(const LinkedFolders* links, const wchar_t* path) {
  return Concat(links->listed[links->current], path, links->listedLength);
}

// The path equals the folder, or lies below it.
bool IsAtOrBelow(const wchar_t* path, const wchar_t* folder) {
  size_t length = wcslen(folder);
  return wcsncmp(path, folder, length) == 0 && (path[length] == 0 || path[length] == L'\\');
}

template <typename T>
void Append(T** items, uint32_t* count, uint32_t* capacity, const T& item) {
  if (*count == *capacity) {
    uint32_t larger = *capacity ? *capacity * 2 : 16;
    T* grown = static_cast<T*>(MemAlloc(larger * sizeof(T)));
    if (*count) memcpy(static_cast<void*>(grown), *items, *count * sizeof(T));
    MemFree(*items);
    *items = grown;
    *capacity = larger;
  }
  (*items)[(*count)++] = item;
}

LinkedFolders* Start(FilePool* pool) {
  LinkedFolders* links = static_cast<LinkedFolders*>(MemAlloc(sizeof(LinkedFolders)));
  pool->linkedFolders = links;
  if (wchar_t* root = FinalPathOf(pool->rootDir)) {
    Append(&links->listed, &links->listedCount, &links->listedCapacity, root);
    size_t rootLength = wcslen(pool->rootDir);
    links->listedLength = rootLength && pool->rootDir[rootLength - 1] == L'\\' ? rootLength - 1 : rootLength;
  }
  return links;
}
}  // namespace

void DeferLinkedFolder(FilePool* pool, const wchar_t* path, int32_t depth) {
  LinkedFolders* links = pool->linkedFolders ? pool->linkedFolders : Start(pool);
  wchar_t* expected = links->listedCount ? FinalPathBelowCurrent(links, path) : nullptr;
  Append(&links->deferred, &links->deferredCount, &links->deferredCapacity, {DupString(path), expected, depth});
}

bool IsListedElsewhere(const FilePool* pool, const wchar_t* path) {
  const LinkedFolders* links = pool->linkedFolders;
  if (!links || links->current == 0) return false;  // the root's own tree holds no folder twice
  wchar_t* finalPath = FinalPathBelowCurrent(links, path);
  bool elsewhere = false;
  for (uint32_t i = 0; i < links->listedCount && !elsewhere; ++i)
    elsewhere = i != links->current && wcscmp(finalPath, links->listed[i]) == 0;
  MemFree(finalPath);
  return elsewhere;
}

int ListLinkedFolders(FilePool* pool, int (*scan)(FilePool* pool, const wchar_t* folder)) {
  LinkedFolders* links = pool->linkedFolders;
  if (!links) return 1;
  int goOn = 1;
  links->listingLink = true;
  while (goOn && links->nextDeferred < links->deferredCount && !CancelRequested) {
    LinkedFolders::Deferred link = links->deferred[links->nextDeferred++];
    wchar_t* target = links->listedCount ? FinalPathOf(link.path) : nullptr;
    if (!target) {
      // Its target is unknown: listed where it stands, as a plain folder would be. Every link found below it
      // is then also listed where it stands, the nesting limit ending a loop.
      uint32_t current = links->current;
      links->current = 0;
      pool->depth = link.depth;
      goOn = scan(pool, link.path);
      links->current = current;
      continue;
    }
    // A reparse folder that leads nowhere else is no link: its tree is its own.
    bool isLink = !link.expected || wcscmp(target, link.expected) != 0;
    bool listedAlready = false;
    for (uint32_t i = 0; i < links->listedCount && isLink && !listedAlready; ++i)
      listedAlready = IsAtOrBelow(target, links->listed[i]);
    if (listedAlready) {
      MemFree(target);
      continue;
    }
    Append(&links->listed, &links->listedCount, &links->listedCapacity, target);
    links->current = links->listedCount - 1;
    links->listedLength = wcslen(link.path);
    pool->depth = link.depth;
    goOn = scan(pool, link.path);
  }
  pool->depth = 0;
  links->listingLink = false;
  return goOn;
}

bool IsListingLink(const FilePool* pool) { return pool->linkedFolders && pool->linkedFolders->listingLink; }

void ReleaseLinkedFolders(FilePool* pool) {
  LinkedFolders* links = pool->linkedFolders;
  if (!links) return;
  for (uint32_t i = 0; i < links->deferredCount; ++i) {
    MemFree(links->deferred[i].path);
    MemFree(links->deferred[i].expected);
  }
  for (uint32_t i = 0; i < links->listedCount; ++i) MemFree(links->listed[i]);
  MemFree(links->deferred);
  MemFree(links->listed);
  MemFree(links);
  pool->linkedFolders = nullptr;
}
