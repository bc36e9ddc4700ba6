#include "run/source_paths.h"

#include <windows.h>
#include <shlwapi.h>

#include <cwchar>

#include "base/long_path.h"
#include "base/memory.h"
#include "console/output.h"
#include "seam/system_calls.h"
#include "topology/drive_identity.h"

namespace {
constexpr DWORD kVolumeRootUnits = 260;
constexpr DWORD kVolumeNameUnits = 52;
constexpr size_t kGuidRootLength = 49;  // \\?\Volume{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}\ .

bool IsDriveAbsolute(const wchar_t* path) {
  wchar_t letter = path[0] | 0x20;
  return letter >= L'a' && letter <= L'z' && path[1] == L':' && path[2] == L'\\';
}

wchar_t* NewPathBuffer() { return static_cast<wchar_t*>(MemAlloc(kPathUnits * sizeof(wchar_t))); }

// Paths of MAX_PATH or more fail in the plain Win32 calls unless the system opts into long paths, so the
// queries below send them in their long-path form. Null when the path can go as it is.
wchar_t* LongFormForQuery(const wchar_t* path) {
  size_t length = wcslen(path);
  if (length < MAX_PATH || HasLongPathPrefix(path) || length + 8 >= kPathUnits) return nullptr;
  wchar_t* form = NewPathBuffer();
  if (IsUncPath(path)) {
    lstrcpyW(form, L"\\\\?\\UNC");
    lstrcatW(form, path + 1);
  } else if (IsDriveAbsolute(path)) {
    lstrcpyW(form, kLongPathPrefix);
    lstrcatW(form, path);
  } else {
    MemFree(form);
    return nullptr;
  }
  return form;
}

DWORD QueryAttributes(const wchar_t* path) {
  wchar_t* longForm = LongFormForQuery(path);
  DWORD attributes = GetFileAttributesW(longForm ? longForm : path);
  DWORD error = GetLastError();
  MemFree(longForm);
  SetLastError(error);
  return attributes;
}

void ReplaceWithFullPath(wchar_t* spec) {
  wchar_t* full = NewPathBuffer();
  DWORD length = GetFullPathNameW(spec, kPathUnits, full, nullptr);
  if (length > 0 && length < kPathUnits) lstrcpyW(spec, full);
  MemFree(full);
}

// A colon past the drive part names an alternate data stream.
bool NamesStream(const wchar_t* path) {
  size_t length = wcslen(path);
  if (length <= 3) return false;
  size_t skip = HasLongPathPrefix(path) ? 6 : 2;
  return length > skip && wcschr(path + skip, L':') != nullptr;
}

bool VolumeLacksStreams(const wchar_t* path) {
  wchar_t root[kVolumeRootUnits];
  DWORD flags = 0;
  if (!GetVolumePathNameW(path, root, kVolumeRootUnits)) return false;
  if (!Devices.GetVolumeInformation(root, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) return false;
  return (flags & FILE_NAMED_STREAMS) == 0;
}

// The volume root of a search folder; false when neither the system nor the path itself gives one.
bool SearchFolderRoot(const wchar_t* folder, wchar_t* root) {
  wchar_t* resolved = NewPathBuffer();
  if (!ResolveSubstDrive(folder, resolved)) lstrcpynW(resolved, folder, kPathUnits);
  bool ok = GetVolumePathNameW(resolved, root, kVolumeRootUnits) != 0;
  if (!ok && wcslen(resolved) > 4) {
    const wchar_t* backslash = wcschr(resolved + 4, L'\\');
    size_t length = backslash ? size_t(backslash - resolved) + 1 : 0;
    ok = length > 0 && length < kVolumeRootUnits;
    if (ok) lstrcpynW(root, resolved, int(length) + 1);
  }
  MemFree(resolved);
  return ok;
}
}  // namespace

void StripQuotes(wchar_t* spec) {
  size_t length = wcslen(spec);
  if (length >= 2 && spec[0] == L'"' && spec[length - 1] == L'"') {
    wmemmove(spec, spec + 1, length - 2);
    length -= 2;
    spec[length] = 0;
  }
  const wchar_t* quote = wcschr(spec, L'"');
  if (quote && quote == spec + length - 1) spec[length - 1] = 0;
}

void PrefixCurrentFolder(wchar_t* spec) {
  if (wcschr(spec, L'\\')) return;
  wchar_t* joined = NewPathBuffer();
  DWORD length = GetCurrentDirectoryW(kPathUnits, joined);
  if (length > 0 && length < kPathUnits) {
    AppendCharIfMissing(joined, L'\\');
    // A name that no longer fits with the folder in front stays as it is and fails its checks later.
    if (wcslen(joined) + wcslen(spec) < kPathUnits) {
      lstrcatW(joined, spec);
      lstrcpyW(spec, joined);
    }
  }
  MemFree(joined);
}

void MakeAbsolute(wchar_t* spec1, wchar_t* spec2) {
  PrefixCurrentFolder(spec1);
  ReplaceWithFullPath(spec1);
  if (spec2[0] == 0) lstrcpyW(spec2, spec1);
  ReplaceWithFullPath(spec2);
}

bool GetVolumeLookupPath(const wchar_t* spec, wchar_t* out, int capacity) {
  wchar_t* copy = DupString(spec);
  if (HasWildcard(copy) || !IsExistingFolder(copy)) {
    wchar_t* backslash = wcsrchr(copy, L'\\');
    if (backslash) *backslash = 0;
  }
  size_t length = wcslen(copy);
  if (length > 0 && copy[length - 1] == L'\\') copy[--length] = 0;
  bool ok = length > 0 && length < size_t(capacity) && length < size_t(kPathUnits);
  if (ok) lstrcpyW(out, copy);
  MemFree(copy);
  return ok;
}

bool IsExistingFolder(const wchar_t* path) {
  DWORD attributes = QueryAttributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void AppendCharIfMissing(wchar_t* text, wchar_t c, size_t capacity) {
  size_t length = wcslen(text);
  if (length > 0 && text[length - 1] == c) return;
  if (length + 1 >= capacity) return;
  text[length] = c;
  text[length + 1] = 0;
}

bool IsUncPath(const wchar_t* path) {
  if (path[0] != L'\\' || path[1] != L'\\') return false;
  const wchar_t* backslash = wcschr(path + 2, L'\\');
  const wchar_t* colon = wcschr(path + 2, L':');
  return backslash && (!colon || colon < backslash);
}

void AddLongPathPrefix(wchar_t* path, size_t capacity) {
  if (HasLongPathPrefix(path) || IsUncPath(path)) return;
  size_t length = wcslen(path);
  if (length + 4 >= capacity) return;
  wmemmove(path + 4, path, length + 1);
  wmemcpy(path, kLongPathPrefix, 4);
}

bool SplitSpec(const wchar_t* spec, wchar_t* folder, wchar_t* pattern) {
  size_t length = wcslen(spec);
  if (IsExistingFolder(spec)) {
    if (length + 1 >= size_t(kPathUnits)) return false;
    lstrcpyW(folder, spec);
    AppendCharIfMissing(folder, L'\\');
    pattern[0] = 0;
    return true;
  }
  const wchar_t* backslash = wcsrchr(spec, L'\\');
  if (!backslash) return false;
  size_t folderLength = size_t(backslash - spec) + 1;
  bool addPrefix = !HasLongPathPrefix(spec) && !IsUncPath(spec);
  if (folderLength + (addPrefix ? 4 : 0) >= size_t(kPathUnits)) return false;
  wchar_t* out = folder;
  if (addPrefix) {
    wmemcpy(out, kLongPathPrefix, 4);
    out += 4;
  }
  wmemcpy(out, spec, folderLength);
  out[folderLength] = 0;
  lstrcpyW(pattern, backslash + 1);
  return true;
}

bool HasWildcard(const wchar_t* path) {
  return wcspbrk(SkipLongPathPrefix(path), L"*?") != nullptr;
}

bool PathExists(const wchar_t* path) {
  wchar_t* unquoted = DupString(path);
  PathUnquoteSpacesW(unquoted);
  // Looked for after unquoting, so that a leading quote does not make the drive's colon a stream name.
  if (NamesStream(unquoted) && VolumeLacksStreams(unquoted)) {
    MemFree(unquoted);
    return false;
  }
  SetLastError(0);
  DWORD attributes = QueryAttributes(unquoted);
  DWORD error = GetLastError();
  MemFree(unquoted);
  return attributes != INVALID_FILE_ATTRIBUTES || error == ERROR_ACCESS_DENIED;
}

void VolumeRoot(wchar_t* path) {
  size_t length = wcslen(path);
  if (StrCmpNIW(path, L"\\\\?\\Volume{", 11) == 0) {
    if (length > kGuidRootLength) path[kGuidRootLength] = 0;
    return;
  }
  if (path[0] == L'\\' && path[1] == L'\\') {
    int backslashes = 0;
    for (wchar_t* p = path; *p; ++p) {
      if (*p == L'\\' && ++backslashes == 4) {
        p[1] = 0;
        return;
      }
    }
    return;
  }
  if (length >= 3 && path[1] == L':' && path[2] == L'\\') {
    path[3] = 0;
  } else if (length == 2 && path[1] == L':') {
    // A bare drive ("C:") names the drive's current folder to the system; its root is meant.
    path[2] = L'\\';
    path[3] = 0;
  }
}

int CheckHardlinkVolumes(wchar_t* volumePath1, wchar_t* volumePath2) {
  VolumeRoot(volumePath1);
  VolumeRoot(volumePath2);
  if (lstrcmpW(volumePath1, volumePath2) != 0) {
    ConsolePrint(L"hardlinks work on the same drive only -> abort\n");
    return 4;
  }
  DWORD serial = 0, maxComponent = 0, flags = 0;
  wchar_t fileSystem[32] = {};
  if (!Devices.GetVolumeInformation(volumePath1, nullptr, 0, &serial, &maxComponent, &flags, fileSystem, 32)) {
    ConsolePrint(L"invaid source volume %s\n", volumePath1);
    return 7;
  }
  if (lstrcmpW(fileSystem, L"NTFS") != 0 && (flags & FILE_SUPPORTS_HARD_LINKS) == 0) {
    ConsolePrint(L"%s file system does not support hardlinks -> abort\n", fileSystem);
    return 4;
  }
  return 0;
}

int IsSameVolume(const wchar_t* folder1, const wchar_t* folder2) {
  wchar_t root1[kVolumeRootUnits], root2[kVolumeRootUnits];
  if (!SearchFolderRoot(folder1, root1) || !SearchFolderRoot(folder2, root2)) return 0;
  if (lstrcmpW(root1, root2) == 0) return 1;
  if (GetDriveTypeW(root1) != GetDriveTypeW(root2)) return 0;
  wchar_t name1[kVolumeNameUnits], name2[kVolumeNameUnits];
  if (!GetVolumeNameForVolumeMountPointW(root1, name1, kVolumeNameUnits)) return 0;
  if (!GetVolumeNameForVolumeMountPointW(root2, name2, kVolumeNameUnits)) return 0;
  return lstrcmpW(name1, name2) == 0 ? 1 : 0;
}
