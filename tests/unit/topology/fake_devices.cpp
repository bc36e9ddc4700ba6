#include "fake_devices.h"

#include <winioctl.h>
#include <virtdisk.h>

#include <cstring>
#include <cwctype>

#include "topology/device_calls.h"
#include "topology/encrypted_volume.h"
#include "topology/virtual_disk.h"

FakeMachine Machine;

namespace {
const uintptr_t kHandleBase = 0x7000;
const HMODULE kVirtDiskModule = reinterpret_cast<HMODULE>(uintptr_t(0x5000));

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(towupper(c));
  return text;
}

template <typename Value>
const Value* Find(const std::map<std::wstring, Value>& table, const std::wstring& key) {
  for (const auto& entry : table)
    if (Upper(entry.first) == Upper(key)) return &entry.second;
  return nullptr;
}

const std::wstring* PathOfHandle(HANDLE handle) {
  uintptr_t index = reinterpret_cast<uintptr_t>(handle) - kHandleBase;
  return index < Machine.opened.size() ? &Machine.opened[index] : nullptr;
}

bool Exists(const std::wstring& path) {
  if (path == L"\\\\.\\TrueCrypt") return !Machine.trueCryptReply.empty();
  return Find(Machine.deviceNumbers, path) || Find(Machine.busTypes, path);
}

HANDLE WINAPI FakeOpen(LPCWSTR path, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
  if (!Exists(path)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  Machine.opened.push_back(path);
  return reinterpret_cast<HANDLE>(kHandleBase + Machine.opened.size() - 1);
}

BOOL WINAPI FakeControl(HANDLE handle, DWORD code, LPVOID, DWORD, LPVOID out, DWORD outBytes, LPDWORD returned,
                        LPOVERLAPPED) {
  const std::wstring* path = PathOfHandle(handle);
  *returned = 0;
  if (!path) return FALSE;
  if (code == IOCTL_STORAGE_GET_DEVICE_NUMBER) {
    const int32_t* number = Find(Machine.deviceNumbers, *path);
    if (!number || outBytes < sizeof(STORAGE_DEVICE_NUMBER)) return FALSE;
    STORAGE_DEVICE_NUMBER reply = {FILE_DEVICE_DISK, static_cast<DWORD>(*number), 1};
    memcpy(out, &reply, sizeof reply);
    *returned = sizeof reply;
    return TRUE;
  }
  if (code == IOCTL_STORAGE_QUERY_PROPERTY) {
    const uint32_t* bus = Find(Machine.busTypes, *path);
    if (!bus || outBytes < 32) return FALSE;
    memcpy(static_cast<BYTE*>(out) + 28, bus, 4);
    *returned = 40;
    return TRUE;
  }
  if (code == kTrueCryptListCode && *path == L"\\\\.\\TrueCrypt") {
    if (outBytes < Machine.trueCryptReply.size()) return FALSE;
    memcpy(out, Machine.trueCryptReply.data(), Machine.trueCryptReply.size());
    *returned = static_cast<DWORD>(Machine.trueCryptReply.size());
    return TRUE;
  }
  return FALSE;
}

BOOL WINAPI FakeClose(HANDLE handle) { return PathOfHandle(handle) != nullptr; }

void WINAPI FakePause(DWORD) { ++Machine.pauses; }

DWORD CopyTargets(const std::wstring& text, LPWSTR out, DWORD capacity) {
  if (text.size() + 2 > capacity) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  memcpy(out, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  out[text.size() + 1] = 0;
  return static_cast<DWORD>(text.size() + 2);
}

DWORD WINAPI FakeQueryDosDevice(LPCWSTR name, LPWSTR out, DWORD capacity) {
  if (!name) {
    std::wstring list;
    for (const auto& entry : Machine.dosDevices) list += entry.first + L'\0';
    if (!list.empty()) list.pop_back();  // CopyTargets adds the last two NULs
    return CopyTargets(list, out, capacity);
  }
  const std::wstring* target = Find(Machine.dosDevices, name);
  if (!target) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
  }
  return CopyTargets(*target, out, capacity);
}

BOOL WINAPI FakeGetVolumePathName(LPCWSTR path, LPWSTR root, DWORD capacity) {
  std::wstring upperPath = Upper(path), best;
  for (const auto& entry : Machine.volumeRoots)
    if (upperPath.compare(0, entry.first.size(), Upper(entry.first)) == 0 && entry.first.size() > best.size())
      best = entry.second;
  if (best.empty() || best.size() >= capacity) return FALSE;
  lstrcpyW(root, best.c_str());
  return TRUE;
}

UINT WINAPI FakeGetDriveType(LPCWSTR root) {
  const UINT* type = Find(Machine.driveTypes, root);
  return type ? *type : DRIVE_NO_ROOT_DIR;
}

BOOL WINAPI FakeGetVolumeName(LPCWSTR root, LPWSTR name, DWORD capacity) {
  const std::wstring* volume = Find(Machine.volumeNames, root);
  if (!volume || volume->size() >= capacity) return FALSE;
  lstrcpyW(name, volume->c_str());
  return TRUE;
}

HMODULE WINAPI FakeLoadLibrary(LPCSTR name) {
  return _stricmp(name, "VirtDisk.dll") == 0 && !Machine.virtDiskExports.empty() ? kVirtDiskModule : nullptr;
}

DWORD WINAPI FakeGetStorageDependencyInformation(HANDLE disk, GET_STORAGE_DEPENDENCY_FLAG, ULONG bytes,
                                                 PSTORAGE_DEPENDENCY_INFO reply, PULONG used) {
  ++Machine.dependencyCalls;
  const std::wstring* path = PathOfHandle(disk);
  const FakeDependency* dependency = path ? Find(Machine.dependencies, *path) : nullptr;
  if (!dependency) return ERROR_FILE_NOT_FOUND;
  if (dependency->bytesNeeded > bytes) {
    *used = dependency->bytesNeeded;
    return ERROR_INSUFFICIENT_BUFFER;
  }
  if (reply->Version != STORAGE_DEPENDENCY_INFO_VERSION_2) return ERROR_INVALID_PARAMETER;
  reply->NumberEntries = 1;
  STORAGE_DEPENDENCY_INFO_TYPE_2& entry = reply->Version2Entries[0];
  entry.HostVolumeName = const_cast<PWSTR>(dependency->hostVolume.c_str());
  entry.DependentVolumeRelativePath = const_cast<PWSTR>(dependency->relativePath.c_str());
  *used = sizeof(STORAGE_DEPENDENCY_INFO);
  return ERROR_SUCCESS;
}

FARPROC WINAPI FakeGetProcAddress(HMODULE module, LPCSTR name) {
  if (module != kVirtDiskModule) return nullptr;
  for (const std::string& offered : Machine.virtDiskExports) {
    if (offered != name) continue;
    if (offered == "GetStorageDependencyInformation")
      return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(FakeGetStorageDependencyInformation));
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(FakePause));  // present, never called
  }
  return nullptr;
}
}  // namespace

void AddFixedDrive(wchar_t letter, const std::wstring& guid, int32_t disk, UINT type) {
  std::wstring root = std::wstring(1, letter) + L":\\";
  std::wstring volume = L"\\\\?\\Volume{" + guid + L"}";
  Machine.volumeRoots[root] = root;
  Machine.volumeRoots[L"\\\\?\\" + root] = L"\\\\?\\" + root;
  Machine.driveTypes[root] = type;
  Machine.driveTypes[L"\\\\?\\" + root] = type;
  Machine.volumeNames[root] = volume + L"\\";
  Machine.volumeNames[L"\\\\?\\" + root] = volume + L"\\";
  Machine.volumeRoots[volume + L"\\"] = volume + L"\\";
  Machine.driveTypes[volume + L"\\"] = type;
  Machine.volumeNames[volume + L"\\"] = volume + L"\\";
  Machine.deviceNumbers[volume] = disk;
  Machine.dosDevices[L"Volume{" + guid + L"}"] = L"\\Device\\HarddiskVolume" + std::to_wstring(disk);
  std::wstring device = L"\\\\.\\PhysicalDrive" + std::to_wstring(disk);
  if (!Find(Machine.busTypes, device)) Machine.busTypes[device] = 3;  // ATA
}

void AddEncryptedVolume(wchar_t letter, const std::wstring& hostPath) {
  Machine.trueCryptReply.resize(kTrueCryptListBytes);
  int index = towupper(letter) - L'A';
  uint32_t mask;
  memcpy(&mask, Machine.trueCryptReply.data(), 4);
  mask |= 1u << index;
  memcpy(Machine.trueCryptReply.data(), &mask, 4);
  memcpy(Machine.trueCryptReply.data() + 4 + 520 * index, hostPath.c_str(), (hostPath.size() + 1) * sizeof(wchar_t));
}

void OfferFullVirtDisk() {
  Machine.virtDiskExports = {"GetAllAttachedVirtualDiskPhysicalPaths", "GetVirtualDiskPhysicalPath",
                             "AttachVirtualDisk", "DetachVirtualDisk", "OpenVirtualDisk",
                             "GetStorageDependencyInformation", "CompactVirtualDisk"};
}

void InstallFakeMachine(bool realVolumes) {
  RestoreDeviceCalls();
  ForgetVirtDisk();
  Devices.Open = FakeOpen;
  Devices.Control = FakeControl;
  Devices.Close = FakeClose;
  Devices.Pause = FakePause;
  Devices.LoadLibrary = FakeLoadLibrary;
  Devices.GetProcAddress = FakeGetProcAddress;
  if (realVolumes) return;
  Devices.QueryDosDevice = FakeQueryDosDevice;
  Devices.GetVolumePathName = FakeGetVolumePathName;
  Devices.GetDriveType = FakeGetDriveType;
  Devices.GetVolumeNameForMountPoint = FakeGetVolumeName;
}

void RemoveFakeMachine() {
  RestoreDeviceCalls();
  ForgetVirtDisk();
  Machine = FakeMachine();
}
