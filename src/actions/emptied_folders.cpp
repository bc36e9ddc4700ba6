#include "actions/emptied_folders.h"

#include <windows.h>

#include <cwchar>

#include "base/long_path.h"
#include "base/memory.h"
#include "console/output.h"
#include "pool/folder_listing.h"
#include "seam/system_calls.h"

namespace {
constexpr size_t kLongDriveRootUnits = 6;  // "\\?\C:"
}  // namespace

bool IsFolderEmpty(const wchar_t* folder) {
  size_t length = wcslen(folder);
  bool needsSlash = length == 0 || folder[length - 1] != L'\\';
  wchar_t* pattern = static_cast<wchar_t*>(MemAlloc((length + 3) * sizeof(wchar_t)));
  wmemcpy(pattern, folder, length);
  if (needsSlash) pattern[length++] = L'\\';
  pattern[length] = L'*';

  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstEntry(pattern, &entry);
  bool empty = false;
  if (search != INVALID_HANDLE_VALUE) {
    bool more = true;
    while (more && IsDotEntry(entry.cFileName)) more = FindNextFileW(search, &entry) != 0;
    empty = !more;
    FindClose(search);
  }
  MemFree(pattern);
  return empty;
}

bool RemoveEmptiedFolders(const wchar_t* folder) {
  wchar_t* current = DupString(folder);
  size_t length = wcslen(current);
  if (length > 0 && current[length - 1] == L'\\') current[--length] = 0;
  if (!FileSystem.RemoveFolder(current)) {
    MemFree(current);
    return false;
  }
  // The climb goes on until a folder still holds an entry (its removal fails) or the drive root is reached.
  for (;;) {
    ConsolePrint(L"dir removed: %s\n", DisplayPath(current));
    wchar_t* slash = wcsrchr(current, L'\\');
    if (!slash) break;
    *slash = 0;
    if (wcslen(current) == kLongDriveRootUnits) break;
    if (!FileSystem.RemoveFolder(current)) break;
  }
  MemFree(current);
  return true;
}
