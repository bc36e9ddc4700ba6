#include "compare/checksum_file.h"

#include <cwchar>

#include "base/memory.h"
#include "seam/file_system.h"

namespace {
// Opens whose content is still to be read: the file the walk resolves just before it reads it, and the other
// names of a size run that a link group's search read, which the walk meets next.
constexpr unsigned kMostUnread = 256;
// Opens read already, which the byte proof of a pair reads again: the file whose partners come and go, and
// the files of a group that a later first file pairs with.
constexpr unsigned kMostRead = 512;
// Under Wine every kept handle holds a Unix file descriptor, and a process may be allowed no more than 1024:
// with 1056 kept, reads failed there for want of one.

struct KeptOpen {
  wchar_t* path;  // heap copy; null for a free slot
  uint32_t hash;
  HANDLE file;
  bool read;
  uint64_t lastUse;
};
KeptOpen g_kept[kMostUnread + kMostRead];
unsigned g_unreadCount = 0;
unsigned g_readCount = 0;
uint64_t g_useClock = 0;
bool g_keeping = false;

uint32_t HashPath(const wchar_t* path) {
  uint32_t hash = 2166136261u;
  for (; *path; ++path) hash = (hash ^ static_cast<uint16_t>(*path)) * 16777619u;
  return hash;
}

void Forget(KeptOpen& kept) {
  --(kept.read ? g_readCount : g_unreadCount);
  MemFree(kept.path);
  kept = {};
}

// The oldest of a kind makes room: an open the walk skipped past (a file known identical already, another
// name of a file met before) is never read.
void Keep(const wchar_t* path, HANDLE file, bool read) {
  if (!g_keeping) {
    CloseHandle(file);
    return;
  }
  KeptOpen* slot = nullptr;
  KeptOpen* oldest = nullptr;
  for (KeptOpen& kept : g_kept) {
    if (!kept.path) {
      if (!slot) slot = &kept;
    } else if (kept.read == read && (!oldest || kept.lastUse < oldest->lastUse)) {
      oldest = &kept;
    }
  }
  if ((read ? g_readCount : g_unreadCount) == (read ? kMostRead : kMostUnread)) {
    CloseHandle(oldest->file);
    Forget(*oldest);
    slot = oldest;
  }
  *slot = {DupString(path), HashPath(path), file, read, ++g_useClock};
  ++(read ? g_readCount : g_unreadCount);
}
}  // namespace

void SetKeepingForChecksum(bool keep) {
  if (!keep) CloseKeptForChecksum();
  g_keeping = keep;
}

bool IsKeepingForChecksum() { return g_keeping; }

HANDLE TakeKeptForChecksum(const wchar_t* path) {
  if (!g_keeping) return INVALID_HANDLE_VALUE;
  uint32_t hash = HashPath(path);
  for (KeptOpen& kept : g_kept) {
    if (!kept.path || kept.hash != hash || wcscmp(kept.path, path) != 0) continue;
    HANDLE file = kept.file;
    Forget(kept);
    return file;
  }
  return INVALID_HANDLE_VALUE;
}

HANDLE OpenForChecksum(const wchar_t* path) {
  HANDLE file = TakeKeptForChecksum(path);
  if (file != INVALID_HANDLE_VALUE) {
    // A kept handle may have been read to its end already: the checksum reads from the file pointer.
    LARGE_INTEGER start = {};
    if (SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return file;
    CloseHandle(file);
  }
  return FileSystem.Open(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

void KeepUnreadForChecksum(const wchar_t* path, HANDLE file) { Keep(path, file, false); }

void KeepForChecksum(const wchar_t* path, HANDLE file) { Keep(path, file, true); }

void CloseKeptForChecksum() {
  for (KeptOpen& kept : g_kept) {
    if (!kept.path) continue;
    CloseHandle(kept.file);
    Forget(kept);
  }
}

uint32_t ReadPiece(HANDLE file, unsigned char* buffer, uint32_t bytes, DWORD* error) {
  *error = 0;
  if (!buffer) {
    *error = ERROR_NOT_ENOUGH_MEMORY;
    return 0;
  }
  SetLastError(0);
  DWORD delivered = 0;
  if (FileSystem.Read(file, buffer, bytes, &delivered, nullptr) && delivered) return delivered;
  *error = GetLastError();
  return 0;
}

int64_t ReadAt(HANDLE file, int64_t offset, unsigned char* buffer, uint32_t bytes) {
  LARGE_INTEGER position;
  position.QuadPart = offset;
  if (!SetFilePointerEx(file, position, nullptr, FILE_BEGIN)) return -1;
  DWORD delivered = 0;
  if (!FileSystem.Read(file, buffer, bytes, &delivered, nullptr)) return -1;
  return delivered;
}
