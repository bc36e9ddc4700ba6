#pragma once
// The volume and device queries that drive topology makes. They go through this one process-wide record,
// which holds the Win32 calls; tests replace entries to feed made-up replies of disks, the encryption
// driver and VirtDisk.dll, none of which can be arranged on a test machine.
#include <windows.h>

struct DeviceCalls {
  HANDLE(WINAPI* Open)(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                       DWORD flags, HANDLE templateFile);
  BOOL(WINAPI* Control)(HANDLE device, DWORD code, LPVOID in, DWORD inBytes, LPVOID out, DWORD outBytes,
                        LPDWORD returnedBytes, LPOVERLAPPED overlapped);
  BOOL(WINAPI* Close)(HANDLE handle);
  DWORD(WINAPI* QueryDosDevice)(LPCWSTR name, LPWSTR targets, DWORD capacity);
  BOOL(WINAPI* GetVolumePathName)(LPCWSTR path, LPWSTR root, DWORD capacity);
  UINT(WINAPI* GetDriveType)(LPCWSTR root);
  BOOL(WINAPI* GetVolumeNameForMountPoint)(LPCWSTR root, LPWSTR volumeName, DWORD capacity);
  HMODULE(WINAPI* LoadLibrary)(LPCSTR name);
  FARPROC(WINAPI* GetProcAddress)(HMODULE module, LPCSTR name);
  VOID(WINAPI* Pause)(DWORD milliseconds);
  BOOL(WINAPI* GetVolumeInformation)(LPCWSTR root, LPWSTR name, DWORD nameCapacity, LPDWORD serial,
                                     LPDWORD maxComponent, LPDWORD flags, LPWSTR fileSystem, DWORD fileSystemCapacity);
};

extern DeviceCalls Devices;

// Puts every entry back to its Win32 call.
void RestoreDeviceCalls();
