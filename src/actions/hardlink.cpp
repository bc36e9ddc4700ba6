#include "actions/hardlink.h"

#include "actions/action_counters.h"
#include "base/memory.h"
#include "console/output.h"
#include "format/error_names.h"
#include "identity/fragmentation.h"
#include "identity/link_groups.h"
#include "pool/record_path.h"
#include "seam/file_system.h"

namespace {
// Read-only, hidden, system, archive and not-content-indexed: the bits a repaired file gets back.
constexpr DWORD kRestorableAttributes = 0x2027;

uint32_t CellValue(const uint32_t* cell) { return cell ? *cell : 0; }

// Reads the name's file index and link count again into a link-count cell of the record's own, after a
// failed replacement may have left a copy (a new file) under the name.
void RefreshIdentity(FileRecord* record, const wchar_t* path) {
  if (!record->linkCount) record->linkCount = static_cast<uint32_t*>(MemAlloc(sizeof(uint32_t)));
  *record->linkCount = GetFileIdentity(path, &record->fileIndexLow, &record->fileIndexHigh);
}

// Takes a record out of a group that is being dissolved: it becomes a file of its own.
void DetachFromGroup(FileRecord* record, const wchar_t* path) {
  record->linkState = 1;
  record->linkCount = nullptr;
  record->groupCount = nullptr;
  record->groupCapacity = nullptr;
  record->groupMembers = nullptr;
  RefreshIdentity(record, path);
}

// Relinks every other name of the target's file to the kept file, then dissolves the target's group. A name
// whose replacement fails leaves the group as a file of its own, so no record points into the released
// storage and every record keeps a sound link count.
void MoveOtherNames(const DuplicateFile& target, const DuplicateFile& kept) {
  FileRecord* head = target.record;
  FileRecord** members = head->groupMembers;
  uint32_t used = CellValue(head->groupCount);
  for (uint32_t slot = 1; slot < used; ++slot) {
    FileRecord* member = members[slot];
    if (!member) {
      Sleep(0);
      continue;
    }
    wchar_t* path = JoinPath(member->dir, member->name);
    if (member->name[0] == 0 ||
        !ReplaceByHardlink(member, kept.record, path, kept.path, target.number, /*quiet=*/1))
      DetachFromGroup(member, path);
    MemFree(path);
  }
  // Every name has left the group, so nothing points at its storage any more.
  uint32_t* linkCount = head->linkCount;
  uint32_t* groupCount = head->groupCount;
  uint32_t* groupCapacity = head->groupCapacity;
  DetachFromGroup(head, target.path);
  MemFree(members);
  MemFree(linkCount);
  MemFree(groupCount);
  MemFree(groupCapacity);
}
}  // namespace

bool ForceDelete(const wchar_t* path) {
  DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (!FileSystem.SetAttributes(path, attributes & ~FILE_ATTRIBUTE_READONLY)) return false;
  if (FileSystem.Delete(path)) return true;
  // A failed delete changes nothing: the read-only bit goes back on.
  DWORD error = GetLastError();
  if (attributes & FILE_ATTRIBUTE_READONLY) FileSystem.SetAttributes(path, attributes);
  SetLastError(error);
  return false;
}

bool RestoreAttributesAndTimes(const wchar_t* path, const WIN32_FILE_ATTRIBUTE_DATA* saved) {
  DWORD current = GetFileAttributesW(path);
  if (current == INVALID_FILE_ATTRIBUTES) return false;
  DWORD merged = (saved->dwFileAttributes & kRestorableAttributes) | (current & kRestorableAttributes);
  if (!FileSystem.SetAttributes(path, merged)) return false;
  HANDLE file = FileSystem.Open(path, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BOOL done = SetFileTime(file, &saved->ftCreationTime, &saved->ftLastAccessTime, &saved->ftLastWriteTime);
  CloseHandle(file);
  return done != 0;
}

int ReplaceByHardlink(FileRecord* target, FileRecord* kept, const wchar_t* targetPath, const wchar_t* keptPath,
                      uint32_t number, int quiet) {
  WIN32_FILE_ATTRIBUTE_DATA saved;
  bool haveSaved = GetFileAttributesExW(targetPath, GetFileExInfoStandard, &saved) != 0;
  if (target->allocSize == 0) target->allocSize = GetAllocationSize(targetPath);
  // The kept file's link count must be known before the new link adds to it.
  if (!kept->linkCount) {
    kept->linkCount = static_cast<uint32_t*>(MemAlloc(sizeof(uint32_t)));
    *kept->linkCount = GetFileIdentity(keptPath, &kept->fileIndexLow, &kept->fileIndexHigh);
  }

  if (!ForceDelete(targetPath)) {
    if (!quiet) ConsolePrint(L" error %S deleting file%u\n", LastErrorName(), number);
    return 0;
  }
  // From here to the link the name does not exist: no temporary name or transaction is used.
  if (!FileSystem.CreateHardLink(targetPath, keptPath, nullptr)) {
    DWORD error = GetLastError();
    if (!quiet)
      ConsolePrint(L" oops, file%u deleted, hardlink not created, err=%S. restore file\n", number, ErrorName(error));
    FileSystem.Copy(keptPath, targetPath, TRUE);
    if (haveSaved) RestoreAttributesAndTimes(targetPath, &saved);
    return 0;
  }

  if (!quiet) ConsolePrint(L" file%u replaced by hardlink\n", number);
  if (kept->linkState <= 1) kept->linkState = 2;
  // A further name of another file frees no space of its own.
  if (target->linkState == 1 || target->linkState == 2) {
    SavedBytes += target->allocSize;
    ++ReplacedCount;
  }
  AddToLinkGroup(kept, target);  // the target takes the kept file's group, link count and state 3
  target->fileIndexLow = kept->fileIndexLow;
  target->fileIndexHigh = kept->fileIndexHigh;
  target->replacedByLink = 1;
  return 1;
}

int LinkDuplicate(const DuplicateFile& target, const DuplicateFile& kept, int64_t* redundant) {
  uint32_t keptLinks = CellValue(kept.record->linkCount);
  uint32_t targetLinks = CellValue(target.record->linkCount);
  if (keptLinks >= kMaxLinkCount || keptLinks + targetLinks > kMaxLinkCount) {
    ConsolePrint(L" hardlink count cannot exceed %i -> skip\n", static_cast<int>(kMaxLinkCount));
    return 0;
  }
  if (target.record->linkState == 2 && target.record->groupMembers) MoveOtherNames(target, kept);
  *redundant += target.record->allocSize;
  // A target left in place (or restored as a copy) must still show its true link count to later pairs.
  if (!ReplaceByHardlink(target.record, kept.record, target.path, kept.path, target.number, /*quiet=*/0) &&
      target.record->linkState == 1)
    RefreshIdentity(target.record, target.path);
  return 1;
}
