#include "identity/file_identity.h"

#include <winternl.h>

#include <initializer_list>

#include "seam/system_calls.h"

HANDLE OpenForIdentity(const wchar_t* path, DWORD flags) {
  return FileSystem.Open(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         flags, nullptr);
}

bool ReadOpenFileIdentity(HANDLE file, OpenFileIdentity* identity) {
  IO_STATUS_BLOCK status;
  FILE_INTERNAL_INFORMATION internal;
  if (!NT_SUCCESS(FileSystem.QueryInformation(file, &status, &internal, sizeof internal, FileInternalInformation)))
    return false;
  *identity = {file, static_cast<uint64_t>(internal.IndexNumber.QuadPart), 0, false};
  return true;
}

uint32_t ReadOpenLinkCount(HANDLE file) {
  IO_STATUS_BLOCK status;
  FILE_STANDARD_INFORMATION standard;
  if (!NT_SUCCESS(FileSystem.QueryInformation(file, &status, &standard, sizeof standard, FileStandardInformation)))
    return 0;
  return standard.NumberOfLinks;
}

bool ReadVolumeSerial(HANDLE file, uint32_t* serial) {
  // Room for a label: a buffer without it fails the query.
  union {
    FILE_FS_VOLUME_INFORMATION volume;
    unsigned char room[sizeof(FILE_FS_VOLUME_INFORMATION) + 64 * sizeof(wchar_t)];
  } info;
  IO_STATUS_BLOCK status;
  if (!NT_SUCCESS(FileSystem.QueryVolumeInformation(file, &status, &info, sizeof info, FileFsVolumeInformation)))
    return false;
  *serial = info.volume.VolumeSerialNumber;
  return true;
}

bool ReadPathVolumeSerial(const wchar_t* path, uint32_t* serial, DWORD flags) {
  HANDLE handle = OpenForIdentity(path, flags);
  if (handle == INVALID_HANDLE_VALUE) return false;
  bool read = ReadVolumeSerial(handle, serial);
  CloseHandle(handle);
  return read;
}

bool FoldersShareVolume(const wchar_t* folder1, const wchar_t* folder2) {
  uint32_t serial1 = 0, serial2 = 0;
  return ReadPathVolumeSerial(folder1, &serial1, FILE_FLAG_BACKUP_SEMANTICS) &&
         ReadPathVolumeSerial(folder2, &serial2, FILE_FLAG_BACKUP_SEMANTICS) && serial1 == serial2;
}

bool IsOneFile(OpenFileIdentity* a, OpenFileIdentity* b) {
  if (a->index != b->index) return false;
  for (OpenFileIdentity* identity : {a, b})
    if (!identity->serialRead) identity->serialRead = ReadVolumeSerial(identity->file, &identity->serial);
  return !a->serialRead || !b->serialRead || a->serial == b->serial;
}
