#include "actions/duplicate_pair.h"

#include "compare/kept_opens.h"

DuplicatePair::DuplicatePair(FileRecord* record1, FileRecord* record2, bool namesOfOneFile)
    : record{record1, record2},
      path{{record1->dir, record1->name}, {record2->dir, record2->name}},
      namesOfOneFile(namesOfOneFile),
      held{} {
  held.file[0].file = held.file[1].file = INVALID_HANDLE_VALUE;
}

DuplicatePair::~DuplicatePair() { ReleasePair(this); }

void ReleaseHeldFile(OpenFileIdentity* file) {
  if (file->file == INVALID_HANDLE_VALUE) return;
  CloseHandle(file->file);
  file->file = INVALID_HANDLE_VALUE;
}

void ReleasePair(DuplicatePair* pair) {
  HeldPair* held = &pair->held;
  for (uint32_t i = 0; i < 2; ++i) {
    OpenFileIdentity* file = &held->file[i];
    if (held->kept[i] && file->file != INVALID_HANDLE_VALUE) {
      KeepForChecksum(pair->Path(i), file->file);
      file->file = INVALID_HANDLE_VALUE;
    }
    held->kept[i] = false;
    ReleaseHeldFile(file);
  }
}
