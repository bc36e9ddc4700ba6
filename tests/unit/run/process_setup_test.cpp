// Process set-up: the library search order. The program folder and version are read end to end.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "run/process_setup.h"

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
