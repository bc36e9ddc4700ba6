#pragma once
// A made-up machine behind the device seam: drives, volumes, disks, the encryption driver and VirtDisk.
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct FakeDependency {
  std::wstring hostVolume;    // HostVolumeName
  std::wstring relativePath;  // DependentVolumeRelativePath
  ULONG bytesNeeded = 0;      // asks for a larger reply first when above the offered size
};

struct FakeMachine {
  // Volume queries; keys compare without case.
  std::map<std::wstring, std::wstring> volumeRoots;   // mount point -> itself (the longest that starts a path)
  std::map<std::wstring, UINT> driveTypes;            // root -> DRIVE_*
  std::map<std::wstring, std::wstring> volumeNames;   // root -> \\?\Volume{...}\ (with the backslash)
  std::map<std::wstring, std::wstring> dosDevices;    // X: or Volume{...} -> first target
  // Device replies, by the path the device was opened with.
  std::map<std::wstring, int32_t> deviceNumbers;      // \\?\Volume{...} -> disk number
  std::map<std::wstring, uint32_t> busTypes;          // \\.\PhysicalDriveN -> bus type
  std::map<std::wstring, FakeDependency> dependencies;  // \\.\PhysicalDriveN -> its image file
  // The encryption driver: absent when empty.
  std::vector<BYTE> trueCryptReply;
  // VirtDisk.dll: absent when no export is listed.
  std::vector<std::string> virtDiskExports;

  // What the program did.
  std::vector<std::wstring> opened;
  int dependencyCalls = 0;
  int pauses = 0;
};

extern FakeMachine Machine;

// Drive-letter mount of a fixed volume on a disk: root X:\, volume name, device number.
void AddFixedDrive(wchar_t letter, const std::wstring& guid, int32_t disk, UINT type = DRIVE_FIXED);
// Mounts a TrueCrypt/VeraCrypt volume at a letter with the driver's host path (\??\D:\c.tc, \Device\...).
void AddEncryptedVolume(wchar_t letter, const std::wstring& hostPath);
// Every VirtDisk export the program looks up.
void OfferFullVirtDisk();

// Puts the whole machine behind the seam. With realVolumes only devices are made up (open, control,
// close, pause) and the volume queries go to Wine's own drives.
void InstallFakeMachine(bool realVolumes = false);
// Back to Win32, VirtDisk forgotten, an empty machine.
void RemoveFakeMachine();
