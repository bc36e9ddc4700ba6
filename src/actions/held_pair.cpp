#include "actions/held_pair.h"

#include <cwchar>
#include <initializer_list>

#include "base/memory.h"
#include "base/run_options.h"
#include "compare/byte_compare.h"
#include "compare/kept_opens.h"
#include "identity/record_identity.h"
#include "pool/record_path.h"
#include "seam/system_calls.h"

namespace {
// True when the path names the file already open, read through an open of its own.
bool NamesOpenFile(const wchar_t* path, OpenFileIdentity* open) {
  if (!ReadOpenFileIdentity(open->file, open)) return false;
  HANDLE file = OpenForIdentity(path);
  if (file == INVALID_HANDLE_VALUE) return false;
  OpenFileIdentity other;
  bool one = ReadOpenFileIdentity(file, &other) && IsOneFile(&other, open);
  CloseHandle(file);
  return one;
}

// Two names of one file are one directory entry when the names are equal (scans give every name as the
// folder stores it) and the folders are one folder, reached through two spellings or a link.
bool OneEntry(const wchar_t* path1, const wchar_t* path2) {
  const wchar_t* name1 = wcsrchr(path1, L'\\');
  const wchar_t* name2 = wcsrchr(path2, L'\\');
  if (!name1 || !name2 || lstrcmpW(name1, name2) != 0) return false;
  wchar_t* folder1 = DupString(path1);
  wchar_t* folder2 = DupString(path2);
  folder1[name1 - path1 + 1] = 0;
  folder2[name2 - path2 + 1] = 0;
  HANDLE handle1 = OpenForIdentity(folder1, FILE_FLAG_BACKUP_SEMANTICS);
  HANDLE handle2 = OpenForIdentity(folder2, FILE_FLAG_BACKUP_SEMANTICS);
  OpenFileIdentity identity1, identity2;
  // Folders that cannot be told apart count as one: nothing is acted on then.
  bool one = handle1 == INVALID_HANDLE_VALUE || handle2 == INVALID_HANDLE_VALUE ||
             !ReadOpenFileIdentity(handle1, &identity1) || !ReadOpenFileIdentity(handle2, &identity2) ||
             IsOneFile(&identity1, &identity2);
  for (HANDLE handle : {handle1, handle2})
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  MemFree(folder1);
  MemFree(folder2);
  return one;
}

// True when a name only leads to its file: a file symbolic link, which the scan lists as a file of its own. A
// delete, rename or link through such a name would change the file it leads to, under that file's own name,
// while the link stays. Windows lists the link itself as a reparse point that stands for another name; Wine
// shows links as the files they lead to, and there the held file's own name tells, for a link named
// otherwise than its file. A name that cannot be asked is taken as the file's own.
bool LeadsThroughLink(HANDLE file, const wchar_t* path) {
  WIN32_FIND_DATAW entry;
  HANDLE listing = FindFirstFileW(path, &entry);
  if (listing != INVALID_HANDLE_VALUE) {
    FindClose(listing);
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsReparseTagNameSurrogate(entry.dwReserved0))
      return true;
  }
  DWORD bytes = sizeof(FILE_NAME_INFO) + kPathUnits * sizeof(wchar_t);
  auto* own = static_cast<FILE_NAME_INFO*>(MemAlloc(bytes));
  bool differs = false;
  // The block is zero-filled and longer than any name, so the name it gets ends with a NUL.
  if (GetFileInformationByHandleEx(file, FileNameInfo, own, bytes))
    differs = CompareStringOrdinal(NameOnly(own->FileName), -1, NameOnly(path), -1, TRUE) != CSTR_EQUAL;
  MemFree(own);
  return differs;
}
}  // namespace

bool HasListedSize(HANDLE file, int64_t size) {
  LARGE_INTEGER now;
  return GetFileSizeEx(file, &now) && now.QuadPart == size;
}

namespace {
PairProof Prove(DuplicatePair* pair, HoldFor purpose) {
  HeldPair* held = &pair->held;
  OpenFileIdentity* file1 = &held->file[0];
  OpenFileIdentity* file2 = &held->file[1];
  int64_t size = pair->record[0]->size;
  // A report may rest on the indexes the records hold; an action rests only on the files it acts through.
  bool twoFiles = purpose == HoldFor::Report && HaveDifferentIndexes(pair->record[0], pair->record[1]);
  if (!twoFiles || pair->namesOfOneFile) {
    if (!ReadOpenFileIdentity(file1->file, file1) || !ReadOpenFileIdentity(file2->file, file2)) {
      held->number = 1;
      held->error = ERROR_INVALID_FUNCTION;
      return PairProof::NotHeld;
    }
    bool one = IsOneFile(file1, file2);
    if (pair->namesOfOneFile) {
      if (!one) return PairProof::Differ;
      // A file of one name met twice has no second entry to keep.
      if (ReadOpenLinkCount(file1->file) < 2 || OneEntry(pair->Path(0), pair->Path(1))) return PairProof::OneFile;
      return PairProof::Duplicate;
    }
    if (one) return PairProof::OneFile;
  }
  // A file that grew or shrank since the scan listed it holds bytes its checksum never saw.
  if (!HasListedSize(file1->file, size) || !HasListedSize(file2->file, size) ||
      !OpenFilesMatch(file1->file, file2->file, size, RunOptions.TestBlockSize))
    return PairProof::Differ;
  FileSystem.AfterByteCheck(pair->Path(0), pair->Path(1));
  return PairProof::Duplicate;
}
}  // namespace

PairProof HoldPair(DuplicatePair* pair, HoldFor purpose) {
  ReleasePair(pair);
  HeldPair* held = &pair->held;
  held->number = 0;
  held->error = 0;
  bool forAction = purpose == HoldFor::Action;
  DWORD access = forAction ? kHoldAccess : GENERIC_READ;
  // Two names of one file must share the delete access each of them asks for.
  DWORD share = pair->namesOfOneFile ? FILE_SHARE_READ | FILE_SHARE_DELETE : FILE_SHARE_READ;
  // The proof of a report reads unbuffered, in whole pieces from where the checksums' reads start: the handles
  // the checksums kept serve it, and it keeps them for the file's next pair.
  bool throughKept = !forAction && !pair->namesOfOneFile && IsKeepingForChecksum();
  for (uint32_t i = 0; i < 2; ++i) {
    HANDLE file = throughKept ? OpenForReadingAt(pair->Path(i))
                              : FileSystem.Open(pair->Path(i), access, share, nullptr, OPEN_EXISTING,
                                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      held->file[i].file = file;
      held->kept[i] = throughKept;
      if (!forAction || !LeadsThroughLink(file, pair->Path(i))) continue;
      ReleasePair(pair);
      held->number = i + 1;
      held->error = ERROR_CANT_ACCESS_FILE;
      return PairProof::NotHeld;
    }
    DWORD error = GetLastError();
    // The second name of a file held already: one file, whatever the index says.
    bool oneFile = !pair->namesOfOneFile && i == 1 && NamesOpenFile(pair->Path(1), &held->file[0]);
    ReleasePair(pair);
    if (oneFile) return PairProof::OneFile;
    held->number = i + 1;
    held->error = error;
    return PairProof::NotHeld;
  }
  PairProof proof = Prove(pair, purpose);
  if (proof != PairProof::Duplicate) ReleasePair(pair);
  return proof;
}

bool ProvePair(DuplicatePair* pair) {
  if (RunOptions.Action == ActionReport) return HoldPair(pair, HoldFor::Report) == PairProof::Duplicate;
  CloseKeptForChecksum();  // a handle kept for a checksum lets others only read
  PairProof proof = HoldPair(pair, HoldFor::Action);
  if (proof != PairProof::NotHeld) return proof == PairProof::Duplicate;
  uint32_t number = pair->held.number;
  DWORD error = pair->held.error;
  if (HoldPair(pair, HoldFor::RefusedAction) != PairProof::Duplicate) return false;
  pair->held.number = number;
  pair->held.error = error;
  return true;
}
