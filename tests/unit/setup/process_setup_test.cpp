// Process set-up: the system version and the library search order. The program folder and version are read
// end to end, where a real crash leaves its dump beside the program.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "run/process_setup.h"

// With the program's manifest the version query is not held back at an older Windows.
TEST(SystemVersion, TheRealVersion) {
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  OSVERSIONINFOW real = {};
  real.dwOSVersionInfoSize = sizeof real;
  ASSERT_EQ(rtlGetVersion(&real), 0);
  ReadSystemVersion();
  EXPECT_EQ(SystemVersion.VersionCode, MakeVersionCode(real.dwMajorVersion, real.dwMinorVersion));
}

// A DLL planted in the current folder must not be picked up once the search order is restricted.
TEST(DllSearch, CurrentFolderIsNoLongerSearched) {
  wchar_t system[MAX_PATH], temp[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  GetTempPathW(MAX_PATH, temp);
  const std::wstring name = L"zav_planted_" + std::to_wstring(GetCurrentProcessId()) + L".dll";
  ASSERT_TRUE(CopyFileW((std::wstring(system) + L"\\version.dll").c_str(), (temp + name).c_str(), FALSE));
  SetCurrentDirectoryW(temp);
  HMODULE before = LoadLibraryW(name.c_str());
  EXPECT_NE(before, nullptr) << "the planted DLL should load before the search order is restricted";
  FreeLibrary(before);
  HardenDllSearch();
  HMODULE after = LoadLibraryW(name.c_str());
  EXPECT_EQ(after, nullptr);
  DeleteFileW((temp + name).c_str());
}
