#pragma once
// What the storage stack says about a volume's disk and a disk's bus.
#include <cstdint>

constexpr uint32_t kBusTypeFileBackedVirtual = 15;

// The device number of the disk behind a volume GUID path (a trailing backslash is removed from the
// caller's text first, so that the volume itself is opened, not its root folder); -1 on failure.
int32_t GetDeviceNumber(wchar_t* volumeName);
// 1 with the bus type of a device path such as \\.\PhysicalDrive0, else 0.
int GetBusType(const wchar_t* devicePath, uint32_t* busType);
