#include "actions/hardlink.h"

#include "actions/action_counters.h"
#include "actions/held_pair.h"
#include "base/memory.h"
#include "base/run_options.h"
#include "compare/byte_compare.h"
#include "console/output.h"
#include "format/error_names.h"
#include "identity/fragmentation.h"
#include "identity/link_groups.h"
#include "pool/record_path.h"
#include "seam/file_system.h"

namespace {
constexpr DWORD kHoldAccess = GENERIC_READ | DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
uint32_t g_linkNames = 0;  // numbers the temporary names; actions run on the matching thread only

uint32_t CellValue(const uint32_t* cell) { return cell ? *cell : 0; }

// Reads the name's file index and link count again into a link-count cell of the record's own.
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
// storage. The names left of the target's file share one link count: returned is one of them, whose count the
// caller reads again once the target itself is replaced.
FileRecord* MoveOtherNames(const DuplicateFile& target, const DuplicateFile& kept) {
  FileRecord* head = target.record;
  FileRecord** members = head->groupMembers;
  uint32_t used = CellValue(head->groupCount);
  FileRecord* left = nullptr;
  for (uint32_t slot = 1; slot < used; ++slot) {
    FileRecord* member = members[slot];
    if (!member) {
      Sleep(0);
      continue;
    }
    JoinedPath path(member->dir, member->name);
    if (member->name[0] == 0 || !ReplaceByHardlink({member, path.Text(), target.number, nullptr}, kept, /*quiet=*/1)) {
      DetachFromGroup(member, path.Text());
      if (left) member->linkCount = left->linkCount;
      left = left ? left : member;
    }
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
  return left;
}

bool SetHeldAttributes(HANDLE file, DWORD attributes) {
  FILE_BASIC_INFO basic = {};  // times of 0 stay as they are
  basic.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
  return FileSystem.SetInformation(file, FileBasicInfo, &basic, sizeof basic) != 0;
}

// The attributes of a held file, its read-only bit cleared; INVALID_FILE_ATTRIBUTES on failure.
DWORD ClearReadOnly(HANDLE file) {
  FILE_BASIC_INFO basic;
  if (!GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) return INVALID_FILE_ATTRIBUTES;
  if ((basic.FileAttributes & FILE_ATTRIBUTE_READONLY) &&
      !SetHeldAttributes(file, basic.FileAttributes & ~FILE_ATTRIBUTE_READONLY))
    return INVALID_FILE_ATTRIBUTES;
  return basic.FileAttributes;
}

// A new name in the target's folder for a link to the kept file; the caller frees it with MemFree.
wchar_t* LinkBesideTarget(const wchar_t* targetPath, const wchar_t* keptPath) {
  size_t folderLength = static_cast<size_t>(wcsrchr(targetPath, L'\\') - targetPath) + 1;
  wchar_t* temporary = static_cast<wchar_t*>(MemAlloc((folderLength + 32) * sizeof(wchar_t)));
  for (int attempt = 0; attempt < 16; ++attempt) {
    lstrcpynW(temporary, targetPath, static_cast<int>(folderLength) + 1);
    wsprintfW(temporary + folderLength, L"~zav%08x%04x.tmp", GetCurrentProcessId(), ++g_linkNames & 0xFFFF);
    if (FileSystem.CreateHardLink(temporary, keptPath, nullptr)) return temporary;
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  DWORD error = GetLastError();
  MemFree(temporary);
  SetLastError(error);
  return nullptr;
}

// Holds a further name of the target's file for its replacement: it must be another file than the kept one,
// with the kept file's bytes.
bool HoldOtherName(const DuplicateFile& target, const DuplicateFile& kept, OpenFileIdentity* held) {
  held->file = FileSystem.Open(target.path, kHoldAccess, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (held->file == INVALID_HANDLE_VALUE) return false;
  if (ReadOpenFileIdentity(held->file, held) && !IsOneFile(held, kept.held) &&
      OpenFilesMatch(held->file, kept.held->file, target.record->size, RunOptions.TestBlockSize))
    return true;
  ReleaseHeldFile(held);
  SetLastError(ERROR_FILE_INVALID);
  return false;
}

// Opens the kept file again, denying writes but letting its new name move, and proves it is the held file.
bool HoldForLink(const DuplicateFile& kept, OpenFileIdentity* held) {
  held->file = FileSystem.Open(kept.path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               0, nullptr);
  if (held->file == INVALID_HANDLE_VALUE) return false;
  if (ReadOpenFileIdentity(held->file, held) && IsOneFile(held, kept.held)) return true;
  ReleaseHeldFile(held);
  SetLastError(ERROR_FILE_INVALID);
  return false;
}

int ReportFailure(uint32_t number, int quiet) {
  if (!quiet) ConsolePrint(L" error %S replacing file%u\n", LastErrorName(), number);
  return 0;
}

// Moves the target's other names, then the target itself, over to the kept file.
int LinkHeldDuplicate(const DuplicateFile& target, const DuplicateFile& kept, int64_t* redundant) {
  DuplicateFile replaced = target;
  FileRecord* left = nullptr;
  if (target.record->linkState == 2 && target.record->groupMembers) {
    // The other names are the held file itself, which cannot be replaced while open: each is held and
    // compared in turn, and so is the target after them.
    ReleaseHeldFile(target.held);
    replaced.held = nullptr;
    left = MoveOtherNames(target, kept);
  }
  *redundant += target.record->allocSize;
  // Names left in place must still show their true link count to later pairs.
  if (!ReplaceByHardlink(replaced, kept, /*quiet=*/0) && target.record->linkState == 1)
    RefreshIdentity(target.record, target.path);
  if (left) {
    JoinedPath path(left->dir, left->name);
    RefreshIdentity(left, path.Text());
  }
  return 1;
}
}  // namespace

bool MarkHeldFileDeleted(HANDLE file) {
  DWORD attributes = ClearReadOnly(file);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  FILE_DISPOSITION_INFO disposition = {TRUE};
  if (FileSystem.SetInformation(file, FileDispositionInfo, &disposition, sizeof disposition)) return true;
  DWORD error = GetLastError();
  if (attributes & FILE_ATTRIBUTE_READONLY) SetHeldAttributes(file, attributes);
  SetLastError(error);
  return false;
}

int ReplaceByHardlink(const DuplicateFile& target, const DuplicateFile& kept, int quiet) {
  FileRecord* record = target.record;
  OpenFileIdentity own = {INVALID_HANDLE_VALUE, 0, 0, false};
  OpenFileIdentity* held = target.held ? target.held : &own;
  if (!target.held && !HoldOtherName(target, kept, &own)) return ReportFailure(target.number, quiet);
  if (record->allocSize == 0) record->allocSize = GetAllocationSize(target.path);
  // The kept file's link count must be known before the new link adds to it.
  if (!kept.record->linkCount) {
    kept.record->linkCount = static_cast<uint32_t*>(MemAlloc(sizeof(uint32_t)));
    *kept.record->linkCount = GetFileIdentity(kept.path, &kept.record->fileIndexLow, &kept.record->fileIndexHigh);
  }

  wchar_t* link = LinkBesideTarget(target.path, kept.path);
  DWORD attributes = link ? ClearReadOnly(held->file) : INVALID_FILE_ATTRIBUTES;
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD error = GetLastError();
    if (link) DeleteFileW(link);
    MemFree(link);
    ReleaseHeldFile(&own);
    SetLastError(error);
    return ReportFailure(target.number, quiet);
  }
  // A file cannot be replaced while open: the hold ends just before the replace.
  ReleaseHeldFile(held);
  bool replaced = FileSystem.Move(link, target.path, MOVEFILE_REPLACE_EXISTING) != 0;
  DWORD error = GetLastError();
  if (!replaced) {
    DeleteFileW(link);
    if (attributes & FILE_ATTRIBUTE_READONLY) FileSystem.SetAttributes(target.path, attributes);
  }
  MemFree(link);
  if (!replaced) {
    SetLastError(error);
    return ReportFailure(target.number, quiet);
  }

  if (!quiet) ConsolePrint(L" file%u replaced by hardlink\n", target.number);
  if (kept.record->linkState <= 1) kept.record->linkState = 2;
  // A further name of another file frees no space of its own.
  if (record->linkState == 1 || record->linkState == 2) {
    SavedBytes += record->allocSize;
    ++ReplacedCount;
  }
  AddToLinkGroup(kept.record, record);  // the target takes the kept file's group, link count and state 3
  record->fileIndexLow = kept.record->fileIndexLow;
  record->fileIndexHigh = kept.record->fileIndexHigh;
  record->volumeSerial = kept.record->volumeSerial;
  record->serialRead = kept.record->serialRead;
  record->replacedByLink = 1;
  return 1;
}

int LinkDuplicate(const DuplicateFile& target, const DuplicateFile& kept, int64_t* redundant) {
  uint32_t keptLinks = CellValue(kept.record->linkCount);
  uint32_t targetLinks = CellValue(target.record->linkCount);
  if (keptLinks >= kMaxLinkCount || keptLinks + targetLinks > kMaxLinkCount) {
    ConsolePrint(L" hardlink count cannot exceed %i -> skip\n", static_cast<int>(kMaxLinkCount));
    return 0;
  }
  // The new name is a link to the kept file, and moving it over the target needs delete access to the kept
  // file: from here the kept file is held against writing only.
  OpenFileIdentity keptForLink;
  if (!HoldForLink(kept, &keptForLink)) {
    ConsolePrint(L" error %S locking file%u\n", LastErrorName(), kept.number);
    return 1;
  }
  ReleaseHeldFile(kept.held);
  DuplicateFile keptFile = {kept.record, kept.path, kept.number, &keptForLink};
  int handled = LinkHeldDuplicate(target, keptFile, redundant);
  ReleaseHeldFile(&keptForLink);
  return handled;
}
