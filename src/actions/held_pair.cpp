#include "actions/held_pair.h"

#include <cwchar>
#include <initializer_list>

#include "base/memory.h"
#include "compare/byte_compare.h"
#include "compare/kept_opens.h"
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

}  // namespace

bool HasListedSize(HANDLE file, int64_t size) {
  LARGE_INTEGER now;
  return GetFileSizeEx(file, &now) && now.QuadPart == size;
}

namespace {
PairProof Prove(const wchar_t* path1, const wchar_t* path2, int64_t size, int64_t testSize, bool forAction,
                bool linked, bool twoFiles, HeldPair* held) {
  OpenFileIdentity* file1 = &held->file[0];
  OpenFileIdentity* file2 = &held->file[1];
  // A report may rest on the indexes the records hold; an action rests only on the files it acts through.
  if (forAction || linked || !twoFiles) {
    if (!ReadOpenFileIdentity(file1->file, file1) || !ReadOpenFileIdentity(file2->file, file2)) {
      held->number = 1;
      held->error = ERROR_INVALID_FUNCTION;
      return PairProof::NotHeld;
    }
    bool one = IsOneFile(file1, file2);
    if (linked) {
      if (!one) return PairProof::Differ;
      // A file of one name met twice has no second entry to keep.
      if (ReadOpenLinkCount(file1->file) < 2 || OneEntry(path1, path2)) return PairProof::OneFile;
      return PairProof::Duplicate;
    }
    if (one) return PairProof::OneFile;
  }
  // A file that grew or shrank since the scan listed it holds bytes its checksum never saw.
  if (!HasListedSize(file1->file, size) || !HasListedSize(file2->file, size) ||
      !OpenFilesMatch(file1->file, file2->file, size, testSize))
    return PairProof::Differ;
  FileSystem.AfterByteCheck(path1, path2);
  return PairProof::Duplicate;
}
}  // namespace

void ReleaseHeldFile(OpenFileIdentity* file) {
  if (file->file == INVALID_HANDLE_VALUE) return;
  CloseHandle(file->file);
  file->file = INVALID_HANDLE_VALUE;
}

void ReleasePair(HeldPair* held) {
  for (uint32_t i = 0; i < 2; ++i) {
    OpenFileIdentity* file = &held->file[i];
    if (held->keptPath[i] && file->file != INVALID_HANDLE_VALUE) {
      KeepForChecksum(held->keptPath[i], file->file);
      file->file = INVALID_HANDLE_VALUE;
    }
    ReleaseHeldFile(file);
  }
}

PairProof HoldPair(const wchar_t* path1, const wchar_t* path2, int64_t size, int64_t testSize, bool forAction,
                   bool linked, bool twoFiles, HeldPair* held) {
  *held = {};
  held->file[0].file = held->file[1].file = INVALID_HANDLE_VALUE;
  DWORD access = forAction ? kHoldAccess : GENERIC_READ;
  // Two names of one file must share the delete access each of them asks for.
  DWORD share = linked ? FILE_SHARE_READ | FILE_SHARE_DELETE : FILE_SHARE_READ;
  const wchar_t* paths[2] = {path1, path2};
  // The proof of a report reads unbuffered, in whole pieces from where the checksums' reads start: the handles
  // the checksums kept serve it, and it keeps them for the file's next pair.
  bool throughKept = !forAction && !linked && IsKeepingForChecksum();
  for (uint32_t i = 0; i < 2; ++i) {
    HANDLE file = throughKept ? OpenForReadingAt(paths[i])
                              : FileSystem.Open(paths[i], access, share, nullptr, OPEN_EXISTING,
                                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      held->file[i].file = file;
      if (throughKept) held->keptPath[i] = paths[i];
      continue;
    }
    DWORD error = GetLastError();
    // The second name of a file held already: one file, whatever the index says.
    bool oneFile = !linked && i == 1 && NamesOpenFile(path2, &held->file[0]);
    ReleasePair(held);
    if (oneFile) return PairProof::OneFile;
    held->number = i + 1;
    held->error = error;
    return PairProof::NotHeld;
  }
  PairProof proof = Prove(path1, path2, size, testSize, forAction, linked, twoFiles, held);
  if (proof != PairProof::Duplicate) ReleasePair(held);
  return proof;
}
