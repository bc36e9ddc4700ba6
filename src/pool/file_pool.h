#pragma once
#include <windows.h>

#include "pool/file_record.h"

// What one file specification asks a scan for, and the cells where the scan shows its count and messages.
struct ScanRequest {
  const wchar_t* rootDir;
  const wchar_t* pattern;
  int recurse;
  int followReparse;
  uint32_t progressPos;
  uint32_t errorPos;
  // The tag its records on the root's volume carry; 0 gives the pool a tag of its own. Two pools whose roots
  // lie on one volume may share one, so that two of their files with one index need no volume query.
  uint32_t volumeTag;
};

// A tag no pool has yet.
uint32_t NewVolumeTag();

// The first steps of CreateFilePool without the scan: strings, reservation and the first commit.
void InitFilePool(FilePool* pool, const ScanRequest& request);
// Commits the next step after the committed part; 0 when the pool is full.
int GrowFilePool(FilePool* pool);
// The zero-filled slot for the next record (count is raised), growing the pool when needed; null when full.
FileRecord* AppendRecord(FilePool* pool);
void RenumberRecords(FilePool* pool);
// Frees what the records own and the record range; the FilePool block itself stays with its creator.
void ReleaseFilePool(FilePool* pool);
