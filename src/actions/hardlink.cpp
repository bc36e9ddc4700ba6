#include "actions/hardlink.h"

#include <cstring>
#include <initializer_list>

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
#include "seam/system_calls.h"

namespace {
uint32_t g_spareNames = 0;  // numbers the names made beside targets; actions run on the matching thread only

// Relinks every other name of the target's file to the kept file, then dissolves what is left of the target's
// group. A name whose replacement fails stays a name of the target's file; returned are those names (nullptr
// when none, else a list the caller frees), whose link counts the caller reads again once the target itself
// is replaced.
FileRecord** MoveOtherNames(const DuplicateFile& target, const DuplicateFile& kept, uint32_t* leftCount) {
  FileRecord* head = target.record;
  // A moved name leaves the group, so the walk goes over a copy of it.
  uint32_t used = LinkGroupSize(head);
  FileRecord** names = static_cast<FileRecord**>(MemAlloc(used * sizeof(FileRecord*)));
  for (uint32_t slot = 0; slot < used; ++slot) names[slot] = LinkGroupMember(head, slot);
  uint32_t left = 0;
  for (uint32_t slot = 1; slot < used; ++slot) {
    FileRecord* member = names[slot];
    JoinedPath path(member->dir, member->name);
    if (IsGone(member) || !ReplaceByHardlink({member, path.Text(), target.number, nullptr}, kept, /*quiet=*/1))
      names[left++] = member;
  }
  DissolveLinkGroup(head);
  *leftCount = left;
  if (left) return names;
  MemFree(names);
  return nullptr;
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

// A free name in the target's folder, "~zav<process><number>.<suffix>", which make(name) creates; the next
// number is tried while a name is taken. The caller frees the name with MemFree; nullptr when make fails.
template <typename Make>
wchar_t* NameBesideTarget(const wchar_t* targetPath, const wchar_t* suffix, Make make) {
  size_t folderLength = static_cast<size_t>(wcsrchr(targetPath, L'\\') - targetPath) + 1;
  wchar_t* name = static_cast<wchar_t*>(MemAlloc((folderLength + 32) * sizeof(wchar_t)));
  lstrcpynW(name, targetPath, static_cast<int>(folderLength) + 1);
  for (int attempt = 0; attempt < 16; ++attempt) {
    wsprintfW(name + folderLength, L"~zav%08x%04x.%s", GetCurrentProcessId(), ++g_spareNames & 0xFFFF, suffix);
    if (make(name)) return name;
    if (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  DWORD error = GetLastError();
  MemFree(name);
  SetLastError(error);
  return nullptr;
}

// Gives a held file a new name, never over an existing one; the hold stays.
bool RenameHeld(HANDLE file, const wchar_t* newPath) {
  size_t length = wcslen(newPath);
  DWORD bytes = static_cast<DWORD>(sizeof(FILE_RENAME_INFO) + length * sizeof(wchar_t));
  auto* rename = static_cast<FILE_RENAME_INFO*>(MemAlloc(bytes));  // zero-filled: never a replace, no root
  rename->FileNameLength = static_cast<DWORD>(length * sizeof(wchar_t));
  memcpy(rename->FileName, newPath, length * sizeof(wchar_t));
  bool renamed = FileSystem.SetInformation(file, FileRenameInfo, rename, bytes) != 0;
  DWORD error = GetLastError();
  MemFree(rename);
  SetLastError(error);
  return renamed;
}

// In a folder that tells case apart, another file may answer to the target's name in another case, and a
// lookup that ignores case (Wine's, whenever the exact name is missing) finds it: once the target's name is
// free, no new name can be made in its place, only the existing one replaced. True when the name in upper or
// lower case reaches a file other than the held target.
bool HasCaseTwin(const wchar_t* path, OpenFileIdentity* held) {
  wchar_t* spelled = DupString(path);
  wchar_t* name = spelled + (NameOnly(path) - path);
  bool twin = false;
  for (LPWSTR(WINAPI * respell)(LPWSTR) : {CharUpperW, CharLowerW}) {
    lstrcpyW(name, NameOnly(path));
    respell(name);
    if (twin || lstrcmpW(name, NameOnly(path)) == 0) continue;
    HANDLE file = OpenForIdentity(spelled);
    if (file == INVALID_HANDLE_VALUE) continue;
    OpenFileIdentity other;
    twin = ReadOpenFileIdentity(file, &other) && !IsOneFile(&other, held);
    CloseHandle(file);
  }
  MemFree(spelled);
  return twin;
}

// Holds a copy of the kept file's bytes for its replacement or removal: another file than the kept one (and,
// given one, the file expected), with the listed size and the kept file's bytes.
bool HoldCopyOfKept(const wchar_t* path, const DuplicateFile& kept, OpenFileIdentity* expected,
                    OpenFileIdentity* held) {
  held->file = FileSystem.Open(path, kHoldAccess, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (held->file == INVALID_HANDLE_VALUE) return false;
  if (ReadOpenFileIdentity(held->file, held) && !IsOneFile(held, kept.held) &&
      (!expected || IsOneFile(held, expected)) && HasListedSize(held->file, kept.record->size) &&
      OpenFilesMatch(held->file, kept.held->file, kept.record->size, RunOptions.TestBlockSize))
    return true;
  ReleaseHeldFile(held);
  SetLastError(ERROR_FILE_INVALID);
  return false;
}

// Opens the kept file again, denying writes but not the new names it gets, and proves it is the held file.
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

// Puts a held file's attributes back as they were before its read-only bit was cleared.
void RestoreAttributes(HANDLE file, DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_READONLY) SetHeldAttributes(file, attributes);
}

// The target is now a name of the kept file. oldCopy names where its former file still lies, when it could
// not be removed (error tells why); only a removed copy frees space.
void NoteReplaced(const DuplicateFile& target, const DuplicateFile& kept, const wchar_t* oldCopy, DWORD error,
                  int quiet) {
  FileRecord* record = target.record;
  if (!quiet) ConsolePrint(L" file%u replaced by hardlink\n", target.number);
  // Where the old bytes are matters even for a name moved quietly.
  if (oldCopy)
    ConsolePrint(L" error %S deleting the old copy of file%u, %s beside it\n", ErrorName(error), target.number,
                 NameOnly(oldCopy));
  // A further name of another file frees no space of its own.
  if (!oldCopy && (IsSingleName(record) || IsLinkHead(record))) {
    SavedBytes += record->allocSize;
    ++ReplacedCount;
  }
  JoinLinkGroup(kept.record, record);
  record->replacedByLink = 1;
}

// Moves the held target aside, links the kept file under the target's name, then deletes the old copy
// through the hold: from the byte check to its removal, no other program can write the target. A link that
// cannot be made moves the target back; one that cannot move back stays aside, and the line says where.
int ReplaceUnderHold(const DuplicateFile& target, const DuplicateFile& kept, OpenFileIdentity* held,
                     DWORD attributes, int quiet) {
  wchar_t* aside = NameBesideTarget(target.path, L"old", [held](const wchar_t* name) {
    return RenameHeld(held->file, name);
  });
  if (!aside) {
    DWORD error = GetLastError();
    RestoreAttributes(held->file, attributes);
    SetLastError(error);
    return ReportFailure(target.number, quiet);
  }
  if (!FileSystem.CreateHardLink(target.path, kept.path, nullptr)) {
    DWORD error = GetLastError();
    bool back = RenameHeld(held->file, target.path);
    RestoreAttributes(held->file, attributes);
    if (!back)
      ConsolePrint(L" error %S replacing file%u: its old copy is %s beside it\n", ErrorName(error), target.number,
                   NameOnly(aside));
    MemFree(aside);
    SetLastError(error);
    return back ? ReportFailure(target.number, quiet) : 0;
  }
  bool deleted = MarkHeldFileDeleted(held->file);
  DWORD error = GetLastError();
  if (!deleted) RestoreAttributes(held->file, attributes);
  ReleaseHeldFile(held);
  NoteReplaced(target, kept, deleted ? nullptr : aside, error, quiet);
  MemFree(aside);
  return 1;
}

// For a target with a case twin: the only way to its name is to replace it in one move, which an open file
// does not allow. Before the hold ends the target gets a second name aside; after the move the copy there is
// held again and removed only while it still holds the kept file's bytes, so a writer that slipped in
// between finds its bytes there.
int ReplaceInOneMove(const DuplicateFile& target, const DuplicateFile& kept, OpenFileIdentity* held,
                     DWORD attributes, int quiet) {
  wchar_t* link = NameBesideTarget(target.path, L"tmp", [&kept](const wchar_t* name) {
    return FileSystem.CreateHardLink(name, kept.path, nullptr) != 0;
  });
  wchar_t* aside = link ? NameBesideTarget(target.path, L"old", [&target](const wchar_t* name) {
    return FileSystem.CreateHardLink(name, target.path, nullptr) != 0;
  }) : nullptr;
  OpenFileIdentity old = *held;
  // The hold ends below: the old file's volume is read while it is still open.
  old.serialRead = old.serialRead || ReadVolumeSerial(held->file, &old.serial);
  ReleaseHeldFile(held);
  bool replaced = aside && FileSystem.Move(link, target.path, MOVEFILE_REPLACE_EXISTING);
  DWORD error = GetLastError();
  if (!replaced) {
    // The target stays as it was: its name still reaches it, and the spare names go.
    if (link) DeleteFileW(link);
    if (aside) DeleteFileW(aside);
    if (attributes & FILE_ATTRIBUTE_READONLY) FileSystem.SetAttributes(target.path, attributes);
    MemFree(link);
    MemFree(aside);
    SetLastError(error);
    return ReportFailure(target.number, quiet);
  }
  MemFree(link);
  OpenFileIdentity copy;
  bool deleted = HoldCopyOfKept(aside, kept, &old, &copy) && MarkHeldFileDeleted(copy.file);
  error = GetLastError();
  ReleaseHeldFile(&copy);
  if (!deleted && (attributes & FILE_ATTRIBUTE_READONLY)) FileSystem.SetAttributes(aside, attributes);
  NoteReplaced(target, kept, deleted ? nullptr : aside, error, quiet);
  MemFree(aside);
  return 1;
}

// Moves the target's other names, then the target itself, over to the kept file.
int LinkHeldDuplicate(const DuplicateFile& target, const DuplicateFile& kept, int64_t* redundant) {
  DuplicateFile replaced = target;
  FileRecord** left = nullptr;
  uint32_t leftCount = 0;
  if (IsLinkHead(target.record)) {
    // The other names are the held file itself, which cannot be replaced while open: each is held and
    // compared in turn, and so is the target after them.
    ReleaseHeldFile(target.held);
    replaced.held = nullptr;
    left = MoveOtherNames(target, kept, &leftCount);
  }
  *redundant += target.record->allocSize;
  // Names left in place must still show their true link count to later pairs.
  if (!ReplaceByHardlink(replaced, kept, /*quiet=*/0)) RereadIdentity(target.record);
  for (uint32_t i = 0; i < leftCount; ++i) RereadIdentity(left[i]);
  MemFree(left);
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
  if (!target.held && !HoldCopyOfKept(target.path, kept, nullptr, &own)) return ReportFailure(target.number, quiet);
  if (record->allocSize == 0) record->allocSize = GetAllocationSize(target.path);
  // The kept file's link count must be known before the new link adds to it.
  ReadLinkCount(kept.record);
  DWORD attributes = ClearReadOnly(held->file);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD error = GetLastError();
    ReleaseHeldFile(held);
    SetLastError(error);
    return ReportFailure(target.number, quiet);
  }
  int linked = HasCaseTwin(target.path, held) ? ReplaceInOneMove(target, kept, held, attributes, quiet)
                                              : ReplaceUnderHold(target, kept, held, attributes, quiet);
  ReleaseHeldFile(held);
  return linked;
}

int LinkDuplicate(const DuplicateFile& target, const DuplicateFile& kept, int64_t* redundant) {
  uint32_t keptLinks = LinkCount(kept.record);
  uint32_t targetLinks = LinkCount(target.record);
  if (keptLinks >= kMaxLinkCount || keptLinks + targetLinks > kMaxLinkCount) {
    ConsolePrint(L" hardlink count cannot exceed %i -> skip\n", static_cast<int>(kMaxLinkCount));
    return 0;
  }
  // New names of the kept file are made, and may be moved over a target, which needs delete access to it: from
  // here the kept file is held against writing only.
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
