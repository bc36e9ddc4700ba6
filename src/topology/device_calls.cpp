#include "topology/device_calls.h"

namespace {
const DeviceCalls kWin32Calls = {CreateFileW,        DeviceIoControl, CloseHandle,
                                 QueryDosDeviceW,    GetVolumePathNameW, GetDriveTypeW,
                                 GetVolumeNameForVolumeMountPointW, LoadLibraryA, GetProcAddress,
                                 Sleep,              GetVolumeInformationW};
}

DeviceCalls Devices = kWin32Calls;

void RestoreDeviceCalls() { Devices = kWin32Calls; }
