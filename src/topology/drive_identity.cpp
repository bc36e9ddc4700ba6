#include "topology/drive_identity.h"

#include <windows.h>

#include <cwchar>

#include "base/long_path.h"
#include "base/memory.h"
#include "base/run_options.h"
#include "console/output.h"
#include "seam/system_calls.h"
#include "topology/device_queries.h"
#include "topology/encrypted_volume.h"
#include "topology/virtual_disk.h"
#include "topology/wide_text.h"

namespace {
constexpr int kWorkUnits = MAX_PATH;
constexpr int kVolumeNameUnits = 64;
// Substituted drives pointing at each other, or a virtual disk whose image lies on itself, would send the
// resolution round for ever; no real chain of drives comes near this depth.
constexpr int kMaxResolutionDepth = 16;

bool IsUncForm(const wchar_t* path) { return path[0] == L'\\' && path[1] == L'\\' && !HasLongPathPrefix(path); }

// Cuts a path after its root when the system names none: X:\ for a plain drive path, else after the first
// backslash from the fifth character on (\\?\C:\dir gives \\?\C:\, \\?\Volume{...}\dir its volume).
bool CutAfterRoot(wchar_t* path) {
  if (IsAsciiLetter(path[0]) && path[1] == L':' && path[2] == L'\\') {
    path[3] = 0;
    return true;
  }
  if (wcslen(path) < 5) return false;
  wchar_t* backslash = wcschr(path + 4, L'\\');
  if (!backslash) return false;
  backslash[1] = 0;
  return true;
}

// A path too long for the working copy stands for its volume root: only the volume matters here.
bool ShortenToVolumeRoot(const wchar_t* path, wchar_t* root) {
  if (Devices.GetVolumePathName(path, root, kWorkUnits)) return true;
  lstrcpynW(root, path, kWorkUnits);
  return CutAfterRoot(root);
}

// GetVolumeNameForVolumeMountPointW of a root; a \\?\X:\ root that is refused is asked again as X:\.
bool GetVolumeNameOfRoot(const wchar_t* root, wchar_t* volumeName) {
  if (Devices.GetVolumeNameForMountPoint(root, volumeName, kVolumeNameUnits)) return true;
  return HasLongPathPrefix(root) && GetDriveLetter(root) &&
         Devices.GetVolumeNameForMountPoint(root + 4, volumeName, kVolumeNameUnits);
}

bool IsFloppyVolume(const wchar_t* volumeName) {
  const wchar_t* name = SkipLongPathPrefix(volumeName);
  wchar_t target[kWorkUnits] = {};
  if (!Devices.QueryDosDevice(name, target, kWorkUnits)) return false;
  target[kWorkUnits - 1] = 0;
  return wcsstr(target, L"Floppy") != nullptr;
}

DriveId ResolveAt(const wchar_t* path, int depth);

// Follows a host path (a substitution's target, a container file, a disk image) one level down.
DriveId ResolveHost(const wchar_t* host, int depth) {
  return depth < kMaxResolutionDepth ? ResolveAt(host, depth + 1) : kDriveUnresolved;
}

// A disk that is itself a file on another drive is read from that drive.
DriveId FollowVirtualDisk(DriveId identity, int depth) {
  wchar_t devicePath[kWorkUnits];
  GetDevicePathOfId(identity, devicePath);
  uint32_t busType = 0;
  if (!GetBusType(devicePath, &busType) || busType != kBusTypeFileBackedVirtual) return identity;
  wchar_t* host = static_cast<wchar_t*>(MemAlloc(kPathUnits * sizeof(wchar_t)));
  DriveId result = identity;
  if (GetVirtualDiskHostPath(devicePath, host, kPathUnits)) result = ResolveHost(host, depth);
  MemFree(host);
  return result;
}

DriveId IdentityOfVolumeRoot(const wchar_t* path, wchar_t* root) {
  if (!Devices.GetVolumePathName(path, root, kWorkUnits)) {
    lstrcpynW(root, path, kWorkUnits);
    if (!CutAfterRoot(root)) return kDriveUnresolved;
  }
  if (IsUncForm(path) || IsUncForm(root)) return kDriveNetwork;
  UINT type = Devices.GetDriveType(root);
  if (type == DRIVE_NO_ROOT_DIR) return kDriveUnresolved;
  if (type == DRIVE_REMOTE) return kDriveNetwork;
  wchar_t volumeName[kVolumeNameUnits] = {};
  if (!GetVolumeNameOfRoot(root, volumeName)) return kDriveUnresolved;
  DriveId identity = GetDeviceNumber(volumeName);
  if (identity == kDriveUnresolved) return kDriveUnresolved;
  if (type == DRIVE_CDROM) return identity + kCdRomDriveBase;
  if (identity == 2 && IsFloppyVolume(volumeName)) return kFloppyVolume;
  return identity;
}

DriveId ResolveAt(const wchar_t* path, int depth) {
  wchar_t work[kWorkUnits];
  if (wcslen(path) < size_t(kWorkUnits)) {
    lstrcpyW(work, path);
  } else if (IsUncForm(path)) {
    return kDriveNetwork;
  } else if (!ShortenToVolumeRoot(path, work)) {
    return kDriveUnresolved;
  }

  wchar_t host[kWorkUnits];
  if (ResolveSubstDrive(work, host)) return ResolveHost(host, depth);
  DriveId identity = kDriveUnresolved;
  if (ResolveEncryptedVolume(work, host, &identity)) {
    if (identity == kDriveUnresolved) return ResolveHost(host, depth);
  } else {
    wchar_t root[kWorkUnits];
    identity = IdentityOfVolumeRoot(work, root);
    if (identity <= kDriveUnresolved) return identity;
  }
  return FollowVirtualDisk(identity, depth);
}
}  // namespace

void GetDevicePathOfId(DriveId identity, wchar_t* out) {
  if (identity >= kFloppyHostBase)
    wsprintfW(out, L"\\\\.\\Floppy%i", identity & 0xFFFF);
  else if (identity >= kCdRomHostBase)
    wsprintfW(out, L"\\\\.\\CdRom%i", identity & 0xFFFF);
  else
    wsprintfW(out, L"\\\\.\\PhysicalDrive%i", identity);
}

DriveId GetPhysicalDriveId(const wchar_t* path) { return ResolveAt(path, 0); }

int ResolveSubstDrive(const wchar_t* path, wchar_t* out) {
  const wchar_t* rest = SkipLongPathPrefix(path);
  if (!IsAsciiLetter(rest[0]) || rest[1] != L':') return 0;
  wchar_t drive[3] = {static_cast<wchar_t>(rest[0] & ~0x20), L':', 0};
  wchar_t target[kWorkUnits] = {};
  if (!Devices.QueryDosDevice(drive, target, kWorkUnits)) return 0;
  target[kWorkUnits - 1] = 0;
  // Only a substitution of a drive-letter path: \??\D:\share\x.
  if (!StartsWithNoCase(target, L"\\??\\") || !IsAsciiLetter(target[4]) || target[5] != L':') return 0;
  if (4 + wcslen(target + 4) + wcslen(rest + 2) >= size_t(kWorkUnits)) return 0;
  wsprintfW(out, L"\\\\?\\%s%s", target + 4, rest + 2);
  return 1;
}

int IsSamePhysicalDrive(const wchar_t* path1, const wchar_t* path2) {
  ConsolePrint(L"Files are located on ");
  int same = GetPhysicalDriveId(path1) == GetPhysicalDriveId(path2);
  ConsolePrint(same ? L"the same physical drive -> sequential operation\n"
                    : L"different physical drives -> parallel operation\n");
  return same;
}
