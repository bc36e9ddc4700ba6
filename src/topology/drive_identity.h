#pragma once
// Which physical drive and which volume a source folder lies on.
#include <cstdint>

#include "topology/volume_path.h"

// The signed identity of the physical drive behind a path.
using DriveId = int32_t;
constexpr DriveId kDriveNetwork = -2;     // a remote drive or a UNC path
constexpr DriveId kDriveUnresolved = -1;  // no volume or device found, or a query failed
constexpr DriveId kCdRomHostBase = 0x10000;
constexpr DriveId kFloppyHostBase = 0x20000;
constexpr DriveId kCdRomDriveBase = 0x1000000;
constexpr DriveId kFloppyVolume = 0x2000002;

// 1 when both search folders lie on one physical drive (then their files are read one after the other).
// Prints the "Files are located on " line with the verdict.
int IsSamePhysicalDrive(const wchar_t* path1, const wchar_t* path2);
// Follows a path through substituted drives, encrypted volumes, mount points and virtual disk files down
// to its physical drive. Never fails: what cannot be resolved is kDriveUnresolved.
DriveId GetPhysicalDriveId(const wchar_t* path);
// A path on a substituted drive letter rewritten to the path it stands for (\\?\S:\data with S: on
// D:\share gives \\?\D:\share\data) into out of 260 units; 0 when it is not on one or does not fit.
int ResolveSubstDrive(const wchar_t* path, wchar_t* out);
// The device path of an identity, for the bus-type query (\\.\PhysicalDrive0, \\.\CdRom1, \\.\Floppy0).
void GetDevicePathOfId(DriveId identity, wchar_t* out);
