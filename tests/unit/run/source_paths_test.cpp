#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "run/source_paths.h"
#include "seam/system_calls.h"
#include "../test_support.h"

namespace {
// A path field of kPathUnits holding text, with 8 guard units behind it to catch overruns.
std::wstring Field(const std::wstring& text = L"") {
  std::wstring field(kPathUnits + 8, L'#');
  return field.replace(0, text.size() + 1, text.c_str(), text.size() + 1);
}
std::wstring Text(const std::wstring& field) { return field.c_str(); }

TEST(SourcePaths, SplitSpecAndVolumeLookupPath) {
  const std::vector<std::vector<std::wstring>> cases = {  // spec as given, folder, pattern, lookup path
      {L"C:\\Photos\\*.jpg", L"\\\\?\\C:\\Photos\\", L"*.jpg", L"C:\\Photos"},
      {L"\\\\?\\C:\\Photos\\*.jpg", L"\\\\?\\C:\\Photos\\", L"*.jpg", L"\\\\?\\C:\\Photos"},
      {L"\\\\server\\share\\dir\\*", L"\\\\server\\share\\dir\\", L"*", L"\\\\server\\share\\dir"},
      {L"C:\\x.txt", L"\\\\?\\C:\\", L"x.txt", L"C:"},
      {L"C:\\windows", L"C:\\windows\\", L"", L"C:\\windows"},
      {L"C:\\windows\"", L"C:\\windows\\", L"", L"C:\\windows"},  // "C:\windows\" as the command line hands it
      {L"\"C:\\x.txt\"", L"\\\\?\\C:\\", L"x.txt", L"C:"},
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

// Made-up volumes: F: is FAT32, X: an exFAT that can hold links, Q: cannot be read, the rest NTFS.
BOOL WINAPI FakeVolume(LPCWSTR root, LPWSTR, DWORD, LPDWORD, LPDWORD, LPDWORD flags, LPWSTR fileSystem, DWORD) {
  *flags = root[0] == L'X' ? FILE_SUPPORTS_HARD_LINKS : 0;
  lstrcpyW(fileSystem, root[0] == L'F' ? L"FAT32" : root[0] == L'X' ? L"exFAT" : L"NTFS");
  return root[0] != L'Q';
}

TEST(SourcePaths, HardlinkVolumeChecks) {
  Devices.GetVolumeInformation = FakeVolume;
  CapturedOutput output;
  for (const auto& [volume1, volume2, exitCode] : {std::tuple(L"Q:\\a", L"Q:", 7), {L"C:\\windows", L"C:", 0},
                                                   {L"F:\\a", L"F:", 4}, {L"X:\\a", L"X:", 0}}) {
    std::wstring path1 = Field(volume1), path2 = Field(volume2);
    EXPECT_EQ(CheckHardlinkVolumes(&path1[0], &path2[0]), exitCode) << volume1;
  }
  EXPECT_EQ(output.Text(), "invaid source volume Q:\\\r\nFAT32 file system does not support hardlinks -> abort\r\n");
}
}  // namespace
