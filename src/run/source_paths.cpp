#include "run/source_paths.h"

#include <windows.h>

#include <cwchar>

#include "pool/memory.h"
#include "run/options.h"

void StripQuotes(wchar_t* spec) {
  size_t length = wcslen(spec);
  if (length >= 2 && spec[0] == L'"' && spec[length - 1] == L'"') {
    wmemmove(spec, spec + 1, length - 2);
    spec[length - 2] = 0;
    length -= 2;
  }
  const wchar_t* quote = wcschr(spec, L'"');
  if (quote && quote == spec + length - 1) spec[length - 1] = 0;
}

namespace {
void PrefixCurrentFolder(wchar_t* spec) {
  if (wcschr(spec, L'\\')) return;
  wchar_t* joined = static_cast<wchar_t*>(MemAlloc(kPathUnits * sizeof(wchar_t)));
  DWORD length = GetCurrentDirectoryW(kPathUnits, joined);
  if (length > 0 && length < kPathUnits) {
    AppendCharIfMissing(joined, L'\\');
    if (wcslen(joined) + wcslen(spec) < kPathUnits) {
      lstrcatW(joined, spec);
      lstrcpyW(spec, joined);
    }
  }
  MemFree(joined);
}

void MakeFull(wchar_t* spec) {
  wchar_t* full = static_cast<wchar_t*>(MemAlloc(kPathUnits * sizeof(wchar_t)));
  DWORD length = GetFullPathNameW(spec, kPathUnits, full, nullptr);
  if (length > 0 && length < kPathUnits) lstrcpyW(spec, full);
  MemFree(full);
}
}  // namespace

void MakeAbsolute(wchar_t* spec1, wchar_t* spec2) {
  PrefixCurrentFolder(spec1);
  MakeFull(spec1);
  if (spec2[0] == 0) lstrcpyW(spec2, spec1);
  MakeFull(spec2);
}

bool GetVolumeLookupPath(const wchar_t* spec, wchar_t* out, int capacity) {
  size_t length = wcslen(spec);
  if (length >= size_t(capacity)) return false;
  wchar_t* copy = static_cast<wchar_t*>(MemAlloc((length + 1) * sizeof(wchar_t)));
  lstrcpyW(copy, spec);
  if (HasWildcard(copy) || !IsExistingFolder(copy)) {
    wchar_t* slash = wcsrchr(copy, L'\\');
    if (slash) *slash = 0;
  }
  length = wcslen(copy);
  if (length > 0 && copy[length - 1] == L'\\') copy[--length] = 0;
  bool ok = length > 0;
  if (ok) lstrcpyW(out, copy);
  MemFree(copy);
  return ok;
}

bool IsExistingFolder(const wchar_t* path) {
  DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void AppendCharIfMissing(wchar_t* text, wchar_t c) {
  size_t length = wcslen(text);
  if (length == 0 || text[length - 1] != c) {
    text[length] = c;
    text[length + 1] = 0;
  }
}

bool HasLongPathPrefix(const wchar_t* path) { return wcsncmp(path, L"\\\\?\\", 4) == 0; }

bool IsUncPath(const wchar_t* path) {
  if (path[0] != L'\\' || path[1] != L'\\') return false;
  const wchar_t* backslash = wcschr(path + 2, L'\\');
  const wchar_t* colon = wcschr(path + 2, L':');
  return backslash && (!colon || colon < backslash);
}

void AddLongPathPrefix(wchar_t* path) {
  if (HasLongPathPrefix(path) || IsUncPath(path)) return;
  size_t length = wcslen(path);
  if (length + 4 >= kPathUnits) return;
  wmemmove(path + 4, path, length + 1);
  wmemcpy(path, L"\\\\?\\", 4);
}

bool SplitSpec(const wchar_t* spec, wchar_t* folder, wchar_t* pattern) {
  if (IsExistingFolder(spec)) {
    lstrcpyW(folder, spec);
    AppendCharIfMissing(folder, L'\\');
    pattern[0] = 0;
    return true;
  }
  const wchar_t* slash = wcsrchr(spec, L'\\');
  if (!slash) return false;
  size_t folderLength = slash - spec + 1;
  wchar_t* out = folder;
  if (!HasLongPathPrefix(spec) && !IsUncPath(spec)) {
    wmemcpy(out, L"\\\\?\\", 4);
    out += 4;
  }
  wmemcpy(out, spec, folderLength);
  out[folderLength] = 0;
  lstrcpyW(pattern, slash + 1);
  return true;
}

bool HasWildcard(const wchar_t* path) {
  const wchar_t* rest = HasLongPathPrefix(path) ? path + 4 : path;
  return wcspbrk(rest, L"*?") != nullptr;
}

bool PathExists(const wchar_t* path) {
  SetLastError(0);
  DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES || GetLastError() == ERROR_ACCESS_DENIED;
}

void VolumeRoot(wchar_t*) {}

int CheckHardlinkVolumes(wchar_t*, wchar_t*) { return 0; }

// First cut: two search folders share a volume when they share a drive letter or UNC share.
int IsSameVolume(const wchar_t*, const wchar_t*) { return 0; }
