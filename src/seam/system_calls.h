#pragma once
// The one table of overridable calls: every call whose failure or answer a test needs to choose goes through
// it, grouped by what it reaches. It holds the Win32 calls; tests replace entries to make a call fail on
// purpose or to feed made-up replies, and RestoreSystemCalls puts every entry back at once.
#include <windows.h>
#include <winternl.h>

#include <cstdint>

// The few file-system calls whose failures matter to identity, checksums and duplicate actions.
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

// The console screen-buffer, window and key-input calls behind the status line, the window sizing and the
// final key wait; tests put a simulated console in their place.
struct ConsoleScreenCalls {
  BOOL(WINAPI* GetBufferInfo)(HANDLE output, PCONSOLE_SCREEN_BUFFER_INFO info);
  BOOL(WINAPI* ReadCells)(HANDLE output, PCHAR_INFO cells, COORD cellsSize, COORD cellsOrigin, PSMALL_RECT region);
  BOOL(WINAPI* WriteCells)(HANDLE output, const CHAR_INFO* cells, COORD cellsSize, COORD cellsOrigin,
                           PSMALL_RECT region);
  BOOL(WINAPI* SetBufferSize)(HANDLE output, COORD size);
  HWND(WINAPI* GetWindow)();
  BOOL(WINAPI* GetWindowRect)(HWND window, LPRECT rect);
  BOOL(WINAPI* MoveWindow)(HWND window, int x, int y, int width, int height, BOOL repaint);
  // GetDeviceCaps of the display (HORZRES, VERTRES), with the screen DC taken and given back around it.
  int (*DisplayCaps)(int index);
  // Id of the process that owns a window (GetWindowThreadProcessId); 0 when unknown.
  DWORD (*WindowOwner)(HWND window);
  BOOL(WINAPI* FlushInput)(HANDLE input);
  BOOL(WINAPI* ReadInput)(HANDLE input, PINPUT_RECORD records, DWORD length, LPDWORD read);
  // Called with every text PrintAt puts at a cell (the scanner's count and warnings), after it is shown;
  // tests listen in here.
  void (*ShownAt)(uint32_t cell, const wchar_t* text);
};

// The volume and device queries of drive topology; tests feed made-up replies of disks, the encryption driver
// and VirtDisk.dll, none of which can be arranged on a test machine.
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

// What the process asks of the system: memory, the address space, the user's locale, the speaker.
struct ProcessCalls {
  // Behind MemAlloc; tests make it fail to reach the out-of-memory path.
  LPVOID(WINAPI* HeapAlloc)(HANDLE heap, DWORD flags, SIZE_T bytes);
  // The allocation granularity and address range that size a file pool; tests hand a small address space
  // to fill a pool quickly.
  VOID(WINAPI* GetSystemInfo)(LPSYSTEM_INFO info);
  // The thousands separator of counts.
  int(WINAPI* GetLocaleInfo)(LCID locale, LCTYPE type, LPWSTR data, int capacity);
  // The alarms: out of memory, and a repair by the sort's checking pass.
  BOOL(WINAPI* Beep)(DWORD frequency, DWORD milliseconds);
};

struct SystemCallTable {
  FileSystemCalls fileSystem;
  ConsoleScreenCalls consoleScreen;
  DeviceCalls devices;
  ProcessCalls process;
};

extern SystemCallTable SystemCalls;

// The groups by the names their callers use.
inline FileSystemCalls& FileSystem = SystemCalls.fileSystem;
inline ConsoleScreenCalls& ConsoleScreen = SystemCalls.consoleScreen;
inline DeviceCalls& Devices = SystemCalls.devices;
inline ProcessCalls& Process = SystemCalls.process;

// Puts every entry of every group back to its Win32 call.
void RestoreSystemCalls();
