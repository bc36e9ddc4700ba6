// Process set-up: the version records, the program folder and the library search order.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "run/process_setup.h"

// With the program's manifest the version query is not held back at an older Windows.
TEST(SystemVersion, CodeOfDecimalDigitsAndTheRealVersion) {
  EXPECT_EQ(MakeVersionCode(10, 0), 0x1000u);
  EXPECT_EQ(MakeVersionCode(6, 1), 0x0601u);
  EXPECT_EQ(MakeVersionCode(10, 12), 0x1012u);
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  OSVERSIONINFOW real = {};
  real.dwOSVersionInfoSize = sizeof real;
  ASSERT_EQ(rtlGetVersion(&real), 0);
  ReadSystemVersion();
  EXPECT_EQ(SystemVersion.VersionCode, MakeVersionCode(real.dwMajorVersion, real.dwMinorVersion));
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  EXPECT_EQ(SystemVersion.IsWow64, wow64 ? 1 : 0);
}

// This program has no version resource; a missing file or no path fares the same: nothing stale is kept.
TEST(ProgramVersion, UnreadableVersionLeavesZeroes) {
  wchar_t own[MAX_PATH];
  GetModuleFileNameW(nullptr, own, MAX_PATH);
  for (const wchar_t* path : {static_cast<const wchar_t*>(own), L"Z:\\no\\such.exe", L""}) {
    ProgramVersion = {1, 2, 3, 4, L"1.2.3.4"};
    EXPECT_EQ(ReadProgramVersion(path), 0);
    EXPECT_EQ(ProgramVersion.major | ProgramVersion.minor | ProgramVersion.build | ProgramVersion.revision, 0);
    EXPECT_STREQ(ProgramVersion.text, L"");
  }
}

TEST(ProgramFolder, IsThePathWithoutItsFileName) {
  const std::wstring longFolder = L"C:\\" + std::wstring(250, L'd');  // the longest path still fits
  struct Case {
    std::wstring path, folder;
  } cases[] = {{L"C:\\zav.exe", L"C:"},
               {L"\\\\server\\share\\bin\\zav.exe", L"\\\\server\\share\\bin"},
               {L"Z:\\a b\\\x00e9t\x00e9\\zav.exe", L"Z:\\a b\\\x00e9t\x00e9"},
               {longFolder + L"\\z.exe", longFolder}};
  for (const Case& c : cases) {
    GetProgramFolder(c.path.c_str());
    EXPECT_EQ(ProgramFolder, c.folder);
  }
}

// A DLL planted in the current folder must not be picked up once the search order is restricted.
TEST(DllSearch, CurrentFolderIsNoLongerSearched) {
  wchar_t system[MAX_PATH], temp[MAX_PATH], previous[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  GetTempPathW(MAX_PATH, temp);
  GetCurrentDirectoryW(MAX_PATH, previous);
  std::wstring folder = temp + std::wstring(L"zav_plant_") + std::to_wstring(GetCurrentProcessId());
  std::wstring planted = folder + L"\\zavplanted.dll";
  CreateDirectoryW(folder.c_str(), nullptr);
  ASSERT_TRUE(CopyFileW((std::wstring(system) + L"\\version.dll").c_str(), planted.c_str(), FALSE));
  SetCurrentDirectoryW(folder.c_str());
  HMODULE before = LoadLibraryW(L"zavplanted.dll");
  EXPECT_NE(before, nullptr) << "the planted DLL should load before the search order is restricted";
  FreeLibrary(before);
  HardenDllSearch();
  HMODULE after = LoadLibraryW(L"zavplanted.dll");
  EXPECT_EQ(after, nullptr);
  if (after) FreeLibrary(after);
  SetCurrentDirectoryW(previous);
  DeleteFileW(planted.c_str());
  RemoveDirectoryW(folder.c_str());
}
