#include "identity/record_identity.h"

#include <windows.h>
#include <winternl.h>

#include "compare/kept_opens.h"
#include "identity/file_identity.h"
#include "identity/fragmentation.h"
#include "pool/record_path.h"
#include "seam/system_calls.h"

namespace {
// The serial of the record's volume, read on first need: only a record that shares its index with another
// pays for the volume query.
bool ReadRecordSerial(FileRecord* record) {
  if (record->serialRead == kSerialRead) return true;
  JoinedPath path(record->dir, record->name);
  uint32_t serial = 0;
  if (!ReadPathVolumeSerial(path.Text(), &serial)) return false;
  record->volumeSerial = serial;
  record->serialRead = kSerialRead;
  return true;
}

// The link count and the file index come from two file-information queries rather than from
// GetFileInformationByHandle, which also asks for the volume's serial number: under Wine that one volume
// query costs three times the open itself, and this runs for nearly every file of a run.
// The standard information holds the allocation size too: where that is the measure GetAllocationSize
// takes, it is kept (allocation, when not null), which spares a duplicate its own open later. Only for a file
// of one name: a pair of two names of one file counts an allocation only when content comparison read it.
uint32_t QueryIdentity(HANDLE file, uint32_t* indexLow, uint32_t* indexHigh, int64_t* allocation = nullptr) {
  IO_STATUS_BLOCK status;
  FILE_STANDARD_INFORMATION standard;
  FILE_INTERNAL_INFORMATION internal;
  if (NT_SUCCESS(FileSystem.QueryInformation(file, &status, &standard, sizeof standard, FileStandardInformation)) &&
      NT_SUCCESS(FileSystem.QueryInformation(file, &status, &internal, sizeof internal, FileInternalInformation))) {
    *indexLow = internal.IndexNumber.LowPart;
    *indexHigh = static_cast<uint32_t>(internal.IndexNumber.HighPart);
    if (allocation && standard.NumberOfLinks <= 1 && AllocationSizeIsStandard())
      *allocation = standard.AllocationSize.QuadPart;
    return standard.NumberOfLinks;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) return 0;
  *indexLow = info.nFileIndexLow;
  *indexHigh = info.nFileIndexHigh;
  return info.nNumberOfLinks;
}
}  // namespace

uint32_t GetFileIdentity(const wchar_t* path, uint32_t* indexLow, uint32_t* indexHigh) {
  HANDLE file = OpenForIdentity(path);
  if (file == INVALID_HANDLE_VALUE) return 0;
  uint32_t links = QueryIdentity(file, indexLow, indexHigh);
  CloseHandle(file);
  return links;
}

uint32_t ReadRecordIdentity(FileRecord* record) {
  JoinedPath path(record->dir, record->name);
  return GetFileIdentity(path.Text(), &record->fileIndexLow, &record->fileIndexHigh);
}

// The record met by the matching walk is read for its checksum next, mostly: its identity is read through
// the checksum's own open, which is kept for it. A file others may not share for reading gets the plain
// identity open, and its checksum reports the failure as it would have.
uint32_t ReadRecordIdentityForChecksum(FileRecord* record) {
  if (!IsKeepingForChecksum()) return ReadRecordIdentity(record);
  JoinedPath path(record->dir, record->name);
  HANDLE file = OpenForChecksum(path.Text());
  if (file == INVALID_HANDLE_VALUE) return GetFileIdentity(path.Text(), &record->fileIndexLow, &record->fileIndexHigh);
  uint32_t links = ReadRecordIdentityThrough(record, file);
  KeepUnreadForChecksum(path.Text(), file);
  return links;
}

uint32_t ReadRecordIdentityThrough(FileRecord* record, void* file) {
  return QueryIdentity(file, &record->fileIndexLow, &record->fileIndexHigh, &record->allocSize);
}

bool SameFile(FileRecord* a, FileRecord* b) {
  if (a->fileIndexLow != b->fileIndexLow || a->fileIndexHigh != b->fileIndexHigh) return false;
  if (a->serialRead == kOnPoolVolume && b->serialRead == kOnPoolVolume && a->volumeSerial == b->volumeSerial)
    return true;
  bool known = ReadRecordSerial(a) & ReadRecordSerial(b);
  return !known || a->volumeSerial == b->volumeSerial;
}

int IsSameFile(FileRecord* a, FileRecord* b) { return HasFileIndex(a) && SameFile(a, b); }
