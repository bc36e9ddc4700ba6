#pragma once
// The few file-system calls whose failures matter to checksums and duplicate actions. They go through this
// one process-wide record, which holds the Win32 calls; tests replace an entry to make it fail on purpose.
#include <windows.h>
#include <winternl.h>

struct FileSystemCalls {
  HANDLE(WINAPI* Open)(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                       DWORD flags, HANDLE templateFile);
  BOOL(WINAPI* Read)(HANDLE file, LPVOID buffer, DWORD bytes, LPDWORD bytesRead, LPOVERLAPPED overlapped);
  // Attributes and the delete disposition of an open file.
  BOOL(WINAPI* SetInformation)(HANDLE file, FILE_INFO_BY_HANDLE_CLASS type, LPVOID information, DWORD bytes);
  BOOL(WINAPI* SetAttributes)(LPCWSTR path, DWORD attributes);
  BOOL(WINAPI* CreateHardLink)(LPCWSTR link, LPCWSTR existing, LPSECURITY_ATTRIBUTES security);
  BOOL(WINAPI* Move)(LPCWSTR from, LPCWSTR to, DWORD flags);
  BOOL(WINAPI* RemoveFolder)(LPCWSTR path);
  // What an open file is: its index and link count, and the serial number of its volume.
  NTSTATUS(NTAPI* QueryInformation)(HANDLE file, PIO_STATUS_BLOCK status, PVOID information, ULONG bytes,
                                    FILE_INFORMATION_CLASS type);
  NTSTATUS(NTAPI* QueryVolumeInformation)(HANDLE file, PIO_STATUS_BLOCK status, PVOID information, ULONG bytes,
                                          FS_INFORMATION_CLASS type);
  // Called between the byte check of a pair and its action, with the two paths; tests write to a file here.
  void (*AfterByteCheck)(const wchar_t* path1, const wchar_t* path2);
};

extern FileSystemCalls FileSystem;

// Puts every entry back to its Win32 call.
void RestoreFileSystemCalls();
