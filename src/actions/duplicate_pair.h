#pragma once
// One candidate pair as the proof and the actions take it: its two records, their full paths, whether they
// are two names of one file, and, from the proof to the action, the two files held open.
#include <windows.h>

#include <cstdint>

#include "identity/file_identity.h"
#include "pool/file_record.h"
#include "pool/record_path.h"

struct HeldPair {
  OpenFileIdentity file[2];  // file1 and file2 of the pair; INVALID_HANDLE_VALUE once closed
  uint32_t number;           // the file that could not be held (1 or 2)
  DWORD error;
  // A report's proof reads the opens the checksums keep and hands them back when released; an action's holds
  // are its own and closed.
  bool kept[2];
};

struct DuplicatePair {
  DuplicatePair(FileRecord* record1, FileRecord* record2, bool namesOfOneFile);
  ~DuplicatePair();  // ends the hold
  DuplicatePair(const DuplicatePair&) = delete;
  DuplicatePair& operator=(const DuplicatePair&) = delete;

  const wchar_t* Path(uint32_t i) { return path[i].Text(); }

  FileRecord* record[2];
  JoinedPath path[2];
  bool namesOfOneFile;  // two names of one file, found by their index: never read, only proven two entries
  HeldPair held;
};

// Closes what is still open of the pair's hold, or hands it back to be kept for the files' next pairs.
void ReleasePair(DuplicatePair* pair);
// Closes one held file.
void ReleaseHeldFile(OpenFileIdentity* file);
