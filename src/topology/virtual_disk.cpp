#include "topology/virtual_disk.h"

#include <windows.h>
#include <virtdisk.h>

#include <cwchar>

#include "base/memory.h"
#include "base/system_facts.h"
#include "seam/system_calls.h"

namespace {
constexpr uint32_t kWindows7 = 0x0601;
constexpr ULONG kFirstReplyBytes = 8192;

using GetStorageDependencyInformationFn = DWORD(WINAPI*)(HANDLE, GET_STORAGE_DEPENDENCY_FLAG, ULONG,
                                                         PSTORAGE_DEPENDENCY_INFO, PULONG);

// Written once on the main thread before matching, read there only.
bool Loaded = false;
GetStorageDependencyInformationFn GetStorageDependencyInformationEntry = nullptr;

const char* const kRequiredEntries[] = {"GetVirtualDiskPhysicalPath", "AttachVirtualDisk", "DetachVirtualDisk",
                                        "OpenVirtualDisk", "GetStorageDependencyInformation"};

HANDLE OpenDisk(const wchar_t* devicePath) {
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | FILE_ATTRIBUTE_NORMAL;
  HANDLE disk = Devices.Open(devicePath, GENERIC_READ, share, nullptr, OPEN_EXISTING, flags, nullptr);
  // Without read rights the dependency query still answers on a query-only handle.
  if (disk == INVALID_HANDLE_VALUE) disk = Devices.Open(devicePath, 0, share, nullptr, OPEN_EXISTING, flags, nullptr);
  return disk;
}

STORAGE_DEPENDENCY_INFO* NewReply(ULONG bytes) {
  auto* reply = static_cast<STORAGE_DEPENDENCY_INFO*>(MemAlloc(bytes));
  reply->Version = STORAGE_DEPENDENCY_INFO_VERSION_2;
  return reply;
}

// Host volume followed by the image file's path on it.
void JoinHostPath(const STORAGE_DEPENDENCY_INFO_TYPE_2& entry, wchar_t* out, int capacity) {
  const wchar_t* relative = entry.DependentVolumeRelativePath;
  size_t hostLength = wcslen(entry.HostVolumeName);
  if (relative[0] == L'\\' && hostLength > 0 && entry.HostVolumeName[hostLength - 1] == L'\\') --hostLength;
  if (hostLength + wcslen(relative) >= size_t(capacity)) return;
  wmemcpy(out, entry.HostVolumeName, hostLength);
  lstrcpyW(out + hostLength, relative);
}
}  // namespace

int LoadVirtDisk() {
  if (Loaded) return 1;
  if (SystemVersion.VersionCode >= kWindows7) {
    HMODULE module = Devices.LoadLibrary("VirtDisk.dll");
    if (!module) return 0;
    for (const char* name : kRequiredEntries)
      if (!Devices.GetProcAddress(module, name)) return 0;
    GetStorageDependencyInformationEntry = reinterpret_cast<GetStorageDependencyInformationFn>(
        reinterpret_cast<void*>(Devices.GetProcAddress(module, "GetStorageDependencyInformation")));
  }
  Loaded = true;
  return 1;
}

void ForgetVirtDisk() {
  Loaded = false;
  GetStorageDependencyInformationEntry = nullptr;
}

int GetVirtualDiskHostPath(const wchar_t* devicePath, wchar_t* out, int capacity) {
  if (!LoadVirtDisk()) return 0;
  out[0] = 0;
  // A 32-bit process on 64-bit Windows gets no usable dependency reply.
  if (SystemVersion.VersionCode < kWindows7 || SystemVersion.IsWow64 || !GetStorageDependencyInformationEntry)
    return 0;
  HANDLE disk = OpenDisk(devicePath);
  if (disk == INVALID_HANDLE_VALUE) return 0;

  const auto flags = static_cast<GET_STORAGE_DEPENDENCY_FLAG>(GET_STORAGE_DEPENDENCY_FLAG_HOST_VOLUMES |
                                                              GET_STORAGE_DEPENDENCY_FLAG_DISK_HANDLE);
  ULONG replyBytes = kFirstReplyBytes;
  STORAGE_DEPENDENCY_INFO* reply = NewReply(replyBytes);
  ULONG needed = 0;
  DWORD result = GetStorageDependencyInformationEntry(disk, flags, replyBytes, reply, &needed);
  if (result == ERROR_INSUFFICIENT_BUFFER && needed <= kDependencyReplyLimit) {
    MemFree(reply);
    replyBytes = needed > kFirstReplyBytes ? needed : kFirstReplyBytes;
    reply = NewReply(replyBytes);
    result = GetStorageDependencyInformationEntry(disk, flags, replyBytes, reply, &needed);
  }
  if (result == ERROR_SUCCESS && reply->NumberEntries != 0) {
    const STORAGE_DEPENDENCY_INFO_TYPE_2& entry = reply->Version2Entries[0];
    if (entry.HostVolumeName && entry.DependentVolumeRelativePath) JoinHostPath(entry, out, capacity);
  }
  Devices.Close(disk);
  MemFree(reply);
  return out[0] != 0;
}
