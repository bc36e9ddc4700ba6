#include "run/process_setup.h"

#include <windows.h>
#include <shlwapi.h>

#include "base/file_system_view.h"
#include "base/memory.h"

namespace {
// Optional entry points are looked up so the program still starts on systems that lack them.
template <typename Function>
Function Kernel32Entry(const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name)));
}

bool IsWow64ProcessNow() {
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  auto isWow64 = Kernel32Entry<IsWow64ProcessFn>("IsWow64Process");
  BOOL wow64 = FALSE;
  return isWow64 && isWow64(GetCurrentProcess(), &wow64) && wow64;
}
}  // namespace

void HardenDllSearch() {
  using SetDllDirectoryFn = BOOL(WINAPI*)(LPCWSTR);
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  // Keep the current folder out of the library search: a planted DLL there must never load.
  if (auto setDllDirectory = Kernel32Entry<SetDllDirectoryFn>("SetDllDirectoryW")) setDllDirectory(L"");
  if (auto setDefault = Kernel32Entry<SetDefaultDllDirectoriesFn>("SetDefaultDllDirectories"))
    setDefault(0x00000800);  // LOAD_LIBRARY_SEARCH_SYSTEM32
}

int LookupNtQueryObject() {
  NtQueryObjectEntry = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject"));
  return NtQueryObjectEntry != nullptr;
}

int ReadProgramVersion(const wchar_t* programPath) {
  ProgramVersion = ProgramVersionRecord();
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeW(programPath, &handle);
  if (size == 0) return 0;
  void* block = MemAlloc(size);
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  bool ok = GetFileVersionInfoW(programPath, 0, size, block) &&
            VerQueryValueW(block, L"\\", reinterpret_cast<void**>(&info), &length) && length >= sizeof *info;
  if (ok) {
    ProgramVersion.major = static_cast<uint8_t>(HIWORD(info->dwFileVersionMS));
    ProgramVersion.minor = static_cast<uint8_t>(LOWORD(info->dwFileVersionMS));
    ProgramVersion.build = static_cast<uint8_t>(HIWORD(info->dwFileVersionLS));
    ProgramVersion.revision = static_cast<uint8_t>(LOWORD(info->dwFileVersionLS));
    int n = wsprintfW(ProgramVersion.text, L"%u.%u.%u", ProgramVersion.major, ProgramVersion.minor,
                      ProgramVersion.build);
    if (ProgramVersion.revision) wsprintfW(ProgramVersion.text + n, L".%u", ProgramVersion.revision);
  }
  MemFree(block);
  return ok ? 1 : 0;
}

void ReadSystemVersion() {
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info));
#pragma GCC diagnostic pop
  DWORD major = info.dwMajorVersion, minor = info.dwMinorVersion;
  SystemVersion.VersionCode = MakeVersionCode(major, minor);
  SystemVersion.IsWow64 = major >= 5 && IsWow64ProcessNow();
}

uint32_t MakeVersionCode(uint32_t major, uint32_t minor) {
  return ((major / 10) << 12) | ((major % 10) << 8) | ((minor / 10) << 4) | (minor % 10);
}

void DisableWow64Redirection() {
  if (IsWow64ProcessNow()) SwitchOffRedirectionOnEveryThread();
}

void GetProgramFolder(const wchar_t* programPath) {
  lstrcpynW(ProgramFolder, programPath, 260);
  wchar_t* name = PathFindFileNameW(ProgramFolder);
  if (name > ProgramFolder && name[-1] == L'\\') name[-1] = 0;
}
