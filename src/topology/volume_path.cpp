#include "topology/volume_path.h"

#include <windows.h>
#include <winnetwk.h>
#include <winternl.h>

#include <cwchar>

#include "base/memory.h"
#include "base/run_options.h"
#include "base/system_facts.h"
#include "seam/system_calls.h"
#include "topology/wide_text.h"

namespace {
constexpr ULONG kObjectNameBytes = 65544;
constexpr DWORD kDosDeviceListUnits = 102399;
constexpr DWORD kDosTargetUnits = 520;
constexpr DWORD kVolumeNameUnits = 52;
constexpr int kRemoteNameUnits = 260;

using NtQueryObjectFn = LONG(NTAPI*)(HANDLE, int, void*, ULONG, ULONG*);
constexpr int kObjectNameInformation = 1;

// A mapped network drive stands for its share: X:\docs becomes \\server\share\docs.
void RewriteNetworkDrive(wchar_t* work) {
  if (!IsAsciiLetter(work[0]) || work[1] != L':' || (work[2] != 0 && work[2] != L'\\')) return;
  wchar_t drive[3] = {work[0], L':', 0};
  wchar_t root[4] = {work[0], L':', L'\\', 0};
  if (Devices.GetDriveType(root) != DRIVE_REMOTE) return;
  wchar_t remote[kRemoteNameUnits] = {};
  DWORD remoteUnits = kRemoteNameUnits;
  SetLastError(0);
  if (WNetGetConnectionW(drive, remote, &remoteUnits) == NO_ERROR && remote[0])
    ReplaceAllNoCase(work, drive, remote, kPathUnits);
}

// The NT name of an open folder (\Device\HarddiskVolume2\data) into out; false when unreadable or too long.
bool ReadObjectName(HANDLE folder, wchar_t* out, int capacity) {
  auto query = reinterpret_cast<NtQueryObjectFn>(NtQueryObjectEntry);
  if (!query) return false;
  auto* reply = static_cast<UNICODE_STRING*>(MemAlloc(kObjectNameBytes));
  ULONG returned = 0;
  LONG status = query(folder, kObjectNameInformation, reply, kObjectNameBytes, &returned);
  size_t units = reply->Length / sizeof(wchar_t);
  bool ok = status >= 0 && reply->Buffer && units < size_t(capacity);
  if (ok) {
    wmemcpy(out, reply->Buffer, units);
    out[units] = 0;
  }
  MemFree(reply);
  return ok;
}

// The target of a DOS device name counts only when the NT path continues behind it with a backslash or
// ends there: \Device\HarddiskVolume1 is no part of \Device\HarddiskVolume12\data.
bool IsDevicePrefix(const wchar_t* ntPath, const wchar_t* target) {
  size_t length = wcslen(target);
  return length > 0 && wcsncmp(ntPath, target, length) == 0 && (ntPath[length] == 0 || ntPath[length] == L'\\');
}

// The longest DOS device target (of a drive letter or a Volume{GUID} name) that the NT path lies on.
bool FindDeviceOfPath(const wchar_t* ntPath, wchar_t* device) {
  auto* names = static_cast<wchar_t*>(MemAlloc(kDosDeviceListUnits * sizeof(wchar_t)));
  auto* target = static_cast<wchar_t*>(MemAlloc(kDosTargetUnits * sizeof(wchar_t)));
  device[0] = 0;
  DWORD listed = Devices.QueryDosDevice(nullptr, names, kDosDeviceListUnits);
  if (listed > 6) {
    names[kDosDeviceListUnits - 1] = 0;
    names[kDosDeviceListUnits - 2] = 0;
    for (const wchar_t* name = names; *name; name += wcslen(name) + 1) {
      bool driveName = IsAsciiLetter(name[0]) && name[1] == L':' && name[2] == 0;
      if (!driveName && wcsncmp(name, L"Volume{", 7) != 0) continue;
      target[0] = 0;
      if (!Devices.QueryDosDevice(name, target, kDosTargetUnits)) continue;
      target[kDosTargetUnits - 1] = 0;
      if (IsDevicePrefix(ntPath, target) && wcslen(target) > wcslen(device)) lstrcpyW(device, target);
    }
  }
  MemFree(target);
  MemFree(names);
  return device[0] != 0;
}

// The \\?\Volume{GUID} name whose device is exactly the one given.
bool FindVolumeOfDevice(const wchar_t* device, wchar_t* volumeName, int capacity) {
  wchar_t name[kVolumeNameUnits];
  HANDLE search = FindFirstVolumeW(name, kVolumeNameUnits);
  if (search == INVALID_HANDLE_VALUE) return false;
  bool found = false;
  do {
    StripTrailingChar(name, L'\\');
    wchar_t target[MAX_PATH] = {};
    if (wcslen(name) > 4 && Devices.QueryDosDevice(name + 4, target, MAX_PATH) && wcscmp(target, device) == 0 &&
        wcslen(name) < size_t(capacity)) {
      lstrcpyW(volumeName, name);
      found = true;
    }
  } while (!found && FindNextVolumeW(search, name, kVolumeNameUnits));
  FindVolumeClose(search);
  return found;
}

// out = volume name followed by what comes after the device in out.
bool PutVolumeInPlaceOfDevice(wchar_t* out, int capacity, const wchar_t* device, const wchar_t* volumeName) {
  size_t deviceLength = wcslen(device), volumeLength = wcslen(volumeName);
  size_t restLength = wcslen(out + deviceLength);
  if (volumeLength + restLength >= size_t(capacity)) return false;
  wmemmove(out + volumeLength, out + deviceLength, restLength + 1);
  wmemcpy(out, volumeName, volumeLength);
  return true;
}
}  // namespace

int GetVolumePath(const wchar_t* folder, wchar_t* out, int capacity) {
  if (!folder || capacity < 1) return 0;
  auto* work = static_cast<wchar_t*>(MemAlloc(kPathUnits * sizeof(wchar_t)));
  auto* device = static_cast<wchar_t*>(MemAlloc(kPathUnits * sizeof(wchar_t)));
  int result = 0;
  lstrcpynW(work, folder, kPathUnits);
  RewriteNetworkDrive(work);
  HANDLE handle = CreateFileW(work, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                              nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    bool named = ReadObjectName(handle, out, capacity);
    CloseHandle(handle);
    if (named) {
      wchar_t volumeName[kVolumeNameUnits];
      // Only the device at the start is swapped: the same text further on is a folder's name.
      bool onVolume = FindDeviceOfPath(out, device) && FindVolumeOfDevice(device, volumeName, capacity) &&
                      PutVolumeInPlaceOfDevice(out, capacity, device, volumeName);
      if (onVolume) {
        result = 1;
      } else if (wcslen(work) < size_t(capacity)) {
        lstrcpyW(out, work);
        result = 1;
      }
    }
  }
  MemFree(device);
  MemFree(work);
  return result;
}
