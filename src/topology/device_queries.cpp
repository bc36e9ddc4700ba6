#include "topology/device_queries.h"

#include <windows.h>
#include <winioctl.h>

#include <cstring>

#include "seam/system_calls.h"
#include "topology/wide_text.h"

int32_t GetDeviceNumber(wchar_t* volumeName) {
  StripTrailingChar(volumeName, L'\\');
  HANDLE volume = Devices.Open(volumeName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               0, nullptr);
  if (volume == INVALID_HANDLE_VALUE) return -1;
  STORAGE_DEVICE_NUMBER number = {};
  DWORD returned = 0;
  BOOL ok = Devices.Control(volume, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number, &returned,
                            nullptr);
  Devices.Close(volume);
  return ok ? static_cast<int32_t>(number.DeviceNumber) : -1;
}

int GetBusType(const wchar_t* devicePath, uint32_t* busType) {
  if (!devicePath || !*devicePath) return 0;
  wchar_t path[MAX_PATH];
  lstrcpynW(path, devicePath, MAX_PATH);
  StripTrailingChar(path, L'\\');
  HANDLE device =
      Devices.Open(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (device == INVALID_HANDLE_VALUE) return 0;

  STORAGE_PROPERTY_QUERY query = {};
  query.PropertyId = StorageDeviceProperty;
  query.QueryType = PropertyStandardQuery;
  alignas(8) BYTE reply[1024] = {};
  const DWORD replySize = sizeof reply;
  memcpy(reply + 4, &replySize, 4);  // the descriptor's Size member
  DWORD returned = 0;
  BOOL ok = Devices.Control(device, IOCTL_STORAGE_QUERY_PROPERTY, &query, 12, reply, sizeof reply, &returned,
                            nullptr);
  // A device that is still waking up may answer a moment later; the caller asks only once.
  if (!ok) Devices.Pause(1000);
  Devices.Close(device);
  if (!ok || returned == 0) return 0;
  memcpy(busType, reply + 28, 4);  // STORAGE_DEVICE_DESCRIPTOR.BusType
  return 1;
}
