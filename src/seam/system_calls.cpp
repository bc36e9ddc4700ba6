#include "seam/system_calls.h"

namespace {
void NoByteCheckHook(const wchar_t*, const wchar_t*) {}
void NoListener(uint32_t, const wchar_t*) {}

int ScreenDeviceCaps(int index) {
  HDC screen = GetDC(nullptr);
  if (!screen) return 0;
  int value = GetDeviceCaps(screen, index);
  ReleaseDC(nullptr, screen);
  return value;
}

DWORD WindowOwnerProcess(HWND window) {
  DWORD owner = 0;
  if (window) GetWindowThreadProcessId(window, &owner);
  return owner;
}

const SystemCallTable kWin32Calls = {
    {CreateFileW, ReadFile, SetFileInformationByHandle, SetFileAttributesW, CreateHardLinkW, MoveFileExW,
     RemoveDirectoryW, NtQueryInformationFile, NtQueryVolumeInformationFile, NoByteCheckHook},
    {GetConsoleScreenBufferInfo, ReadConsoleOutputW, WriteConsoleOutputW, SetConsoleScreenBufferSize,
     GetConsoleWindow, GetWindowRect, MoveWindow, ScreenDeviceCaps, WindowOwnerProcess, FlushConsoleInputBuffer,
     ReadConsoleInputW, NoListener},
    {CreateFileW, DeviceIoControl, CloseHandle, QueryDosDeviceW, GetVolumePathNameW, GetDriveTypeW,
     GetVolumeNameForVolumeMountPointW, LoadLibraryA, GetProcAddress, Sleep, GetVolumeInformationW},
    {HeapAlloc, GetSystemInfo, GetLocaleInfoW, Beep},
};
}  // namespace

SystemCallTable SystemCalls = kWin32Calls;

void RestoreSystemCalls() { SystemCalls = kWin32Calls; }
