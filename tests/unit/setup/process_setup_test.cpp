// Process set-up: version records, program folder, optional entry points and the library search order.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "run/process_setup.h"

namespace {
std::wstring OwnPath() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

std::wstring TempFolder(const wchar_t* name) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring folder = std::wstring(temp) + name + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}
}  // namespace

TEST(SystemVersion, CodeHoldsMajorAndMinorAsDecimalDigits) {
  struct Case {
    uint32_t major, minor, code;
  } cases[] = {{10, 0, 0x1000}, {6, 3, 0x0603}, {6, 2, 0x0602}, {6, 1, 0x0601}, {6, 0, 0x0600}, {5, 1, 0x0501},
               {5, 2, 0x0502}, {10, 12, 0x1012}};
  for (const Case& c : cases) EXPECT_EQ(MakeVersionCode(c.major, c.minor), c.code) << c.major << "." << c.minor;
  EXPECT_GT(MakeVersionCode(10, 0), MakeVersionCode(6, 1));
}

// With the program's manifest the version query is not held back at an older Windows.
TEST(SystemVersion, SeesTheRealWindowsVersion) {
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  ASSERT_NE(rtlGetVersion, nullptr);
  OSVERSIONINFOW real = {};
  real.dwOSVersionInfoSize = sizeof real;
  ASSERT_EQ(rtlGetVersion(&real), 0);

  ReadSystemVersion();
  EXPECT_EQ(SystemVersion.VersionCode, MakeVersionCode(real.dwMajorVersion, real.dwMinorVersion));
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  EXPECT_EQ(SystemVersion.IsWow64, wow64 ? 1 : 0);
}

TEST(ProgramVersion, ReadsOwnResourceAndZeroesOnFailure) {
  // This test program is built as version 2.3.256.0: the 256 keeps its low byte, a zero revision is not shown.
  ASSERT_EQ(ReadProgramVersion(OwnPath().c_str()), 1);
  EXPECT_EQ(ProgramVersion.major, 2);
  EXPECT_EQ(ProgramVersion.minor, 3);
  EXPECT_EQ(ProgramVersion.build, 0);
  EXPECT_EQ(ProgramVersion.revision, 0);
  EXPECT_STREQ(ProgramVersion.text, L"2.3.0");

  std::wstring folder = TempFolder(L"zav_setup_");
  std::wstring plain = folder + L"\\plain.txt";
  HANDLE file = CreateFileW(plain.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, "MZ not really", 13, &written, nullptr);
  CloseHandle(file);
  for (const std::wstring& path : {plain, folder + L"\\missing.exe", std::wstring()}) {
    ReadProgramVersion(OwnPath().c_str());
    EXPECT_EQ(ReadProgramVersion(path.c_str()), 0);
    EXPECT_EQ(ProgramVersion.major | ProgramVersion.minor | ProgramVersion.build | ProgramVersion.revision, 0);
    EXPECT_STREQ(ProgramVersion.text, L"");
  }
  DeleteFileW(plain.c_str());
  RemoveDirectoryW(folder.c_str());
}

TEST(ProgramFolder, IsThePathWithoutItsFileName) {
  struct Case {
    const wchar_t* path;
    const wchar_t* folder;
  } cases[] = {
      {L"C:\\Tools\\zav.exe", L"C:\\Tools"},
      {L"C:\\zav.exe", L"C:"},
      {L"\\\\server\\share\\bin\\zav.exe", L"\\\\server\\share\\bin"},
      {L"Z:\\tmp\\a b\\\x00e9t\x00e9\\zav.exe", L"Z:\\tmp\\a b\\\x00e9t\x00e9"},
  };
  for (const Case& c : cases) {
    GetProgramFolder(c.path);
    EXPECT_STREQ(ProgramFolder, c.folder);
  }
  // The longest path GetModuleFileNameW can hand over still fits with its terminator.
  std::wstring longPath = L"C:\\" + std::wstring(250, L'd') + L"\\z.exe";
  longPath.resize(259);
  GetProgramFolder(longPath.c_str());
  EXPECT_EQ(std::wstring(ProgramFolder), L"C:\\" + std::wstring(250, L'd'));
}

TEST(EntryPoints, NtQueryObjectIsFound) {
  EXPECT_EQ(LookupNtQueryObject(), 1);
  EXPECT_EQ(NtQueryObjectEntry,
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
}

// A DLL planted in the current folder must not be picked up once the search order is restricted.
TEST(DllSearch, CurrentFolderIsNoLongerSearched) {
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  std::wstring folder = TempFolder(L"zav_plant_");
  std::wstring planted = folder + L"\\zavplanted.dll";
  ASSERT_TRUE(CopyFileW((std::wstring(system) + L"\\version.dll").c_str(), planted.c_str(), FALSE));
  wchar_t previous[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, previous);
  SetCurrentDirectoryW(folder.c_str());

  HMODULE before = LoadLibraryW(L"zavplanted.dll");
  ASSERT_NE(before, nullptr) << "the planted DLL should load before the search order is restricted";
  FreeLibrary(before);
  HardenDllSearch();
  HMODULE after = LoadLibraryW(L"zavplanted.dll");
  EXPECT_EQ(after, nullptr);
  if (after) FreeLibrary(after);

  SetCurrentDirectoryW(previous);
  DeleteFileW(planted.c_str());
  RemoveDirectoryW(folder.c_str());
}
