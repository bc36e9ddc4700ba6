#include "actions/actions.h"

#include <cwchar>
#include <initializer_list>

#include "actions/action_counters.h"
#include "actions/emptied_folders.h"
#include "actions/hardlink.h"
#include "actions/target_choice.h"
#include "base/memory.h"
#include "base/run_options.h"
#include "console/output.h"
#include "console/status_line.h"
#include "format/error_names.h"
#include "identity/link_groups.h"
#include "pool/record_changes.h"
#include "pool/record_path.h"
#include "seam/system_calls.h"

namespace {
bool g_lineWriteFailed = false;  // actions run on the matching thread only

// The name a report line shows: the path below its search folder.
const wchar_t* DisplayName(const wchar_t* path, const wchar_t* searchFolder) {
  size_t folderLength = wcslen(searchFolder);
  return _wcsnicmp(path, searchFolder, folderLength) == 0 ? path + folderLength : path;
}

// False when any part of the line could not be written.
bool PrintPair(DuplicatePair* pair) {
  const wchar_t* name1 = DisplayName(pair->Path(0), SearchFolder1);
  const wchar_t* name2 = DisplayName(pair->Path(1), SearchFolder2);
  if (pair->namesOfOneFile) return ConsolePrint(L"%s =hardlink= %s\n", name1, name2) > 0;
  // A '+' marks a further name of a file whose group another record heads.
  bool member1 = IsLinkMember(pair->record[0]), member2 = IsLinkMember(pair->record[1]);
  const wchar_t* marker = member1 ? (member2 ? L" ++ " : L" += ") : (member2 ? L" =+ " : L" == ");
  // One write for the line: a large run prints tens of thousands of them.
  return ConsoleWriteText({name1, marker, name2, L"\n"}) > 0;
}

// In one pool matched against itself the shallower file is file1, so that "-d2" keeps the less deep copy.
void OrderByDepth(DuplicateFile* file1, DuplicateFile* file2) {
  if (!RunOptions.SameSearchFolder) return;
  for (DuplicateFile* file : {file1, file2})
    if (file->record->pathDepth == 0) file->record->pathDepth = CountPathDepth(file->record->dir);
  if (file1->record->pathDepth > file2->record->pathDepth) {
    DuplicateFile swapped = *file1;
    *file1 = *file2;
    *file2 = swapped;
    file1->number = 1;
    file2->number = 2;
  }
}

// Deletes through the handle that has held the file since its bytes were compared, so that what goes is what
// was compared.
void DeleteDuplicate(const DuplicateFile& target, const DuplicateFile& kept, int alreadyLinked) {
  if (!MarkHeldFileDeleted(target.held->file)) {
    ConsolePrint(L" error %S deleting file%u\n", LastErrorName(), target.number);
    return;
  }
  // The name goes when the last handle of the file closes, and two names of one file are open twice.
  ReleaseHeldFile(target.held);
  ReleaseHeldFile(kept.held);
  ConsolePrint(L" file%u deleted\n", target.number);
  ++DeletedCount;
  // Deleting one name of a file that keeps another frees nothing.
  if (!alreadyLinked) SavedBytes += target.record->size;
  target.record->name[0] = 0;
  NoteRecordChanged(target.record);
  const wchar_t* folder = target.record->dir;
  if (RunOptions.DeleteEmptiedDirs && IsFolderEmpty(folder)) RemoveEmptiedFolders(folder);
}

// Gives the renamed file the other file's name inside its own folder.
void RenameDuplicate(const DuplicateFile& renamed, const DuplicateFile& other) {
  if (lstrcmpW(renamed.record->dir, other.record->dir) == 0 ||
      lstrcmpW(renamed.record->name, other.record->name) == 0)
    return;
  JoinedPath newPath(renamed.record->dir, other.record->name);
  if (FileSystem.Move(renamed.path, newPath.Text(), 0)) {
    ConsolePrint(L" file%u renamed\n", renamed.number);
    ++RenamedCount;
  } else {
    ConsolePrint(L" error %S renaming file%u\n", LastErrorName(), renamed.number);
  }
}
}  // namespace

bool PairLineWriteFailed() { return g_lineWriteFailed; }

int ActOnDuplicate(DuplicatePair* pair, int64_t* redundant) {
  FileRecord* record1 = pair->record[0];
  FileRecord* record2 = pair->record[1];
  if (record1->size == 0 || record2->size == 0 || record2->replacedByLink) return 0;
  ClearLine(-1);
  // Without its line the user would have no record of what went: no action then.
  if (!PrintPair(pair)) {
    g_lineWriteFailed = true;
    return 0;
  }

  HeldPair* held = &pair->held;
  DuplicateFile file1 = {record1, pair->Path(0), 1, &held->file[0]};
  DuplicateFile file2 = {record2, pair->Path(1), 2, &held->file[1]};
  OrderByDepth(&file1, &file2);
  if (held->number) {
    bool first = file1.held == &held->file[held->number - 1];
    ConsolePrint(L" error %S locking file%u\n", ErrorName(held->error), first ? 1u : 2u);
    return 1;
  }

  uint32_t action = RunOptions.Action;
  if (action == ActionReport) {
    if (!IsLinkMember(file2.record)) *redundant += file2.record->allocSize;
    return 1;
  }
  if (action == ActionRenameFile1 || action == ActionRenameFile2) {
    ReleasePair(pair);  // an open file cannot be renamed by name
    if (action == ActionRenameFile1)
      RenameDuplicate(file1, file2);
    else
      RenameDuplicate(file2, file1);
    return 1;
  }

  int alreadyLinked = pair->namesOfOneFile;
  uint32_t chosen = ChooseTarget(action, file1, file2, alreadyLinked);
  if (chosen == 0) return 0;
  const DuplicateFile& target = chosen == 1 ? file1 : file2;
  const DuplicateFile& kept = chosen == 1 ? file2 : file1;
  if (action == ActionLinkFile1 || action == ActionLinkFile2 || action == ActionLinkFragmented)
    return LinkDuplicate(target, kept, redundant);
  DeleteDuplicate(target, kept, alreadyLinked);
  return 1;
}
