#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "console/output.h"
#include "run/source_paths.h"

namespace {
// A path field of kPathUnits holding text, with 8 guard units behind it to catch overruns.
std::wstring Field(const std::wstring& text = L"") {
  std::wstring field(kPathUnits + 8, L'#');
  return field.replace(0, text.size() + 1, text.c_str(), text.size() + 1);
}
std::wstring Text(const std::wstring& field) { return field.c_str(); }

TEST(SourcePaths, SpecificationsOf32000CharactersStayInsideTheirFields) {
  for (size_t length : {size_t(32000), size_t(kPathUnits - 5), size_t(kPathUnits - 1)}) {
    std::wstring body = L"C:\\" + std::wstring(length - 3, L'x');
    for (size_t i = 200; i < body.size(); i += 200) body[i] = L'\\';
    std::wstring spec = Field(body), second = Field(), folder = Field(), pattern = Field();
    MakeAbsolute(&spec[0], &second[0]);
    AppendCharIfMissing(&spec[0], L'\\');
    AppendCharIfMissing(&spec[0], L'*');
    AddLongPathPrefix(&spec[0]);
    SplitSpec(spec.c_str(), &folder[0], &pattern[0]);
    EXPECT_FALSE(PathExists(folder.c_str()));
    for (const std::wstring* field : {&spec, &second, &folder, &pattern})
      EXPECT_EQ(field->substr(kPathUnits), L"########") << "overrun with " << length;
  }
}

TEST(SourcePaths, SplitSpecAndVolumeLookupPath) {
  const std::vector<std::vector<std::wstring>> cases = {  // spec as given, folder, pattern, lookup path
      {L"C:\\Photos\\*.jpg", L"\\\\?\\C:\\Photos\\", L"*.jpg", L"C:\\Photos"},
      {L"\\\\?\\C:\\Photos\\*.jpg", L"\\\\?\\C:\\Photos\\", L"*.jpg", L"\\\\?\\C:\\Photos"},
      {L"\\\\server\\share\\dir\\*", L"\\\\server\\share\\dir\\", L"*", L"\\\\server\\share\\dir"},
      {L"C:\\x.txt", L"\\\\?\\C:\\", L"x.txt", L"C:"},
      {L"C:\\windows", L"C:\\windows\\", L"", L"C:\\windows"},
      {L"C:\\windows\\", L"C:\\windows\\", L"", L"C:\\windows"},
      {L"C:\\windows\"", L"C:\\windows\\", L"", L"C:\\windows"},  // "C:\windows\" as the command line hands it
      {L"\"C:\\x.txt\"", L"\\\\?\\C:\\", L"x.txt", L"C:"},
      {L"C:\\windows\\win.ini", L"\\\\?\\C:\\windows\\", L"win.ini", L"C:\\windows"},
      {L"nothing", L"untouched", L"untouched", L"nothing"},
  };
  for (const auto& c : cases) {
    std::wstring spec = Field(c[0]), folder = Field(L"untouched"), pattern = folder, lookup = folder;
    StripQuotes(&spec[0]);
    EXPECT_EQ(SplitSpec(spec.c_str(), &folder[0], &pattern[0]), c[0] != L"nothing") << c[0];
    EXPECT_TRUE(GetVolumeLookupPath(spec.c_str(), &lookup[0], kPathUnits)) << c[0];
    EXPECT_EQ(std::vector<std::wstring>({c[0], Text(folder), Text(pattern), Text(lookup)}), c);
  }
  std::wstring lookup = Field(L"untouched");
  EXPECT_FALSE(GetVolumeLookupPath(L"\\", &lookup[0], kPathUnits)) << "nothing left of the folder";
  EXPECT_FALSE(GetVolumeLookupPath(L"C:\\windows\\x", &lookup[0], 10)) << "does not fit";
  EXPECT_EQ(Text(lookup), L"untouched");
}

TEST(SourcePaths, UncPathsAndVolumeRoots) {
  for (const auto& [path, unc] : {std::pair(L"\\\\server\\share\\dir", true), {L"\\\\server", false},
                                  {L"\\\\?\\C:\\dir", false}, {L"\\\\.\\C:", false}})
    EXPECT_EQ(IsUncPath(path), unc) << path;
  const std::wstring guid = L"\\\\?\\Volume{01234567-89ab-cdef-0123-456789abcdef}\\";
  const std::pair<std::wstring, std::wstring> cases[] = {
      {guid + L"dir\\sub", guid},          {L"\\\\?\\volume" + guid.substr(10), L"\\\\?\\volume" + guid.substr(10)},
      {L"\\\\?\\Volume{x", L"\\\\?\\Volume{x"}, {L"\\\\server\\share\\dir\\x", L"\\\\server\\share\\"},
      {L"\\\\server\\share", L"\\\\server\\share"}, {L"C:\\a\\b", L"C:\\"}, {L"C:", L"C:\\"},
  };
  for (const auto& [path, root] : cases) {
    std::wstring field = Field(path);
    VolumeRoot(&field[0]);
    EXPECT_EQ(Text(field), root) << path;
  }
}

TEST(SourcePaths, ExistenceAndVolumes) {
  const std::tuple<const wchar_t*, bool, bool> cases[] = {  // path, exists, is a folder
      {L"\\\\?\\C:\\windows\\win.ini", true, false}, {L"\"C:\\windows\\win.ini\"", true, false},
      {L"C:\\windows\\win.ini:s", false, false},    {L"C:\\windows\\win.inix", false, false},
      {L"\\\\?\\C:\\windows\\", true, true},
  };
  for (const auto& [path, exists, folder] : cases) {
    EXPECT_EQ(PathExists(path), exists) << path;
    EXPECT_EQ(IsExistingFolder(path), folder) << path;
  }
  EXPECT_EQ(IsSameVolume(L"\\\\?\\C:\\windows\\", L"\\\\?\\C:\\windows\\system32\\"), 1);
  // Wine maps C: to its prefix and Z: to the Linux root: two volumes.
  EXPECT_EQ(IsSameVolume(L"\\\\?\\Z:\\tmp\\", L"\\\\?\\C:\\windows\\"), 0);
}

// CheckHardlinkVolumes calls GetVolumeInformationW outside the device seam, so the import slot of this
// executable is pointed at a made-up reply. A null file system makes the call fail.
const wchar_t* madeUpFileSystem;
DWORD madeUpFlags;
BOOL WINAPI MadeUpVolume(LPCWSTR, LPWSTR, DWORD, LPDWORD, LPDWORD, LPDWORD flags, LPWSTR name, DWORD units) {
  *flags = madeUpFlags;
  return madeUpFileSystem && lstrcpynW(name, madeUpFileSystem, int(units));
}

TEST(SourcePaths, HardlinkVolumeChecks) {
  const std::tuple<const wchar_t*, const wchar_t*, DWORD, int> cases[] = {  // volume 2, file system, flags, exit
      {L"D:\\x", L"NTFS", 0, 4}, {L"C:\\b", nullptr, 0, 7}, {L"C:\\b", L"FAT32", FILE_NAMED_STREAMS, 4},
      {L"C:", L"NTFS", 0, 0},    {L"C:\\", L"exFAT", FILE_SUPPORTS_HARD_LINKS, 0}};
  auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  auto* slot = reinterpret_cast<decltype(&GetVolumeInformationW)*>(
      base + nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IAT].VirtualAddress);
  while (*slot != &GetVolumeInformationW) ++slot;
  const auto real = *slot;
  HANDLE reader, writer;
  ASSERT_TRUE(CreatePipe(&reader, &writer, nullptr, 4096));
  SetOutputHandleForTesting(writer);
  *slot = MadeUpVolume;
  for (const auto& [volume2, fileSystem, flags, exitCode] : cases) {
    std::wstring path1 = Field(L"C:\\a"), path2 = Field(volume2);
    madeUpFileSystem = fileSystem, madeUpFlags = flags;
    EXPECT_EQ(CheckHardlinkVolumes(&path1[0], &path2[0]), exitCode) << volume2;
  }
  *slot = real;
  SetOutputHandleForTesting(GetStdHandle(STD_OUTPUT_HANDLE));
  char text[512];
  DWORD size = 0;
  PeekNamedPipe(reader, text, sizeof text, &size, nullptr, nullptr);
  EXPECT_EQ(std::string(text, size), "hardlinks work on the same drive only -> abort\r\ninvaid source volume C:\\\r\n"
                                     "FAT32 file system does not support hardlinks -> abort\r\n");
  CloseHandle(reader);
  CloseHandle(writer);
}
}  // namespace
