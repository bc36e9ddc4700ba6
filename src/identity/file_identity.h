#pragma once
// What an open file is: its index on its volume, its link count and, asked for only when two indexes are
// equal, its volume's serial number. Two volumes can hold different files of one index, so the index alone
// never proves that two names are one file.
#include <windows.h>

#include <cstdint>

struct OpenFileIdentity {
  HANDLE file;
  uint64_t index;
  uint32_t serial;
  bool serialRead;
};

// Opens a path only to read what it is: no access, every sharing, so that it works beside any other open.
HANDLE OpenForIdentity(const wchar_t* path, DWORD flags = 0);
// Reads the index of an open file; false when it cannot be read.
bool ReadOpenFileIdentity(HANDLE file, OpenFileIdentity* identity);
// The number of names of an open file; 0 when it cannot be read.
uint32_t ReadOpenLinkCount(HANDLE file);
// The serial number of the volume an open file lies on; false when it cannot be read.
bool ReadVolumeSerial(HANDLE file, uint32_t* serial);
// The same through an open of its own (FILE_FLAG_BACKUP_SEMANTICS in flags for a folder).
bool ReadPathVolumeSerial(const wchar_t* path, uint32_t* serial, DWORD flags = 0);
// True when the two folders' contents lie on volumes of one serial, read through the folders themselves: a
// folder reached through a link or a mount point tells the volume it leads to. False when either cannot be read.
bool FoldersShareVolume(const wchar_t* folder1, const wchar_t* folder2);
// True when both stand for one file: equal indexes on volumes of equal serials. The serials are read here,
// when the indexes are equal; one that cannot be read counts as the same volume, which acts on nothing.
bool IsOneFile(OpenFileIdentity* a, OpenFileIdentity* b);
