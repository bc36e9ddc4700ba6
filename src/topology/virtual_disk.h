#pragma once
// Disks backed by an image file (VHD, VHDX, ISO), followed through VirtDisk.dll to that file.

constexpr unsigned kDependencyReplyLimit = 1048576;  // larger dependency replies are not believed

// 1 when the VirtDisk entry points are there (or Windows is older than 7, where nothing is loaded).
int LoadVirtDisk();
// 1 with out (capacity units) holding the full path of the image file behind a disk device path, else 0
// with out empty.
int GetVirtualDiskHostPath(const wchar_t* devicePath, wchar_t* out, int capacity);
// Forgets a loaded VirtDisk, so that tests can offer another one.
void ForgetVirtDisk();
