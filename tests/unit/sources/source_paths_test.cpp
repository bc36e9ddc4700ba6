#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "run/source_paths.h"

namespace {
// A path field of kPathUnits holding text, with 8 guard units behind it to catch overruns.
std::wstring Field(const std::wstring& text = L"") {
  std::wstring field(kPathUnits + 8, L'#');
  return field.replace(0, text.size() + 1, text.c_str(), text.size() + 1);
}
std::wstring Text(const std::wstring& field) { return field.c_str(); }

TEST(SourcePaths, UncPaths) {
  const std::pair<const wchar_t*, bool> cases[] = {{L"\\\\server\\share\\dir", true}, {L"\\\\server", false},
                                                   {L"\\\\?\\C:\\dir", false},        {L"\\\\.\\C:", false}};
  for (const auto& [path, unc] : cases) EXPECT_EQ(IsUncPath(path), unc) << path;
}

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
  const std::vector<std::vector<std::wstring>> cases = {  // spec, folder, pattern, lookup path
      {L"C:\\Photos\\*.jpg", L"\\\\?\\C:\\Photos\\", L"*.jpg", L"C:\\Photos"},
      {L"\\\\?\\C:\\Photos\\*.jpg", L"\\\\?\\C:\\Photos\\", L"*.jpg", L"\\\\?\\C:\\Photos"},
      {L"\\\\server\\share\\dir\\*", L"\\\\server\\share\\dir\\", L"*", L"\\\\server\\share\\dir"},
      {L"C:\\x.txt", L"\\\\?\\C:\\", L"x.txt", L"C:"},
      {L"C:\\windows", L"C:\\windows\\", L"", L"C:\\windows"},
      {L"C:\\windows\\", L"C:\\windows\\", L"", L"C:\\windows"},
      {L"C:\\windows\\win.ini", L"\\\\?\\C:\\windows\\", L"win.ini", L"C:\\windows"},
      {L"nothing", L"untouched", L"untouched", L"nothing"},
  };
  for (const auto& c : cases) {
    std::wstring folder = Field(L"untouched"), pattern = folder, lookup = folder;
    EXPECT_EQ(SplitSpec(c[0].c_str(), &folder[0], &pattern[0]), c[0] != L"nothing") << c[0];
    EXPECT_TRUE(GetVolumeLookupPath(c[0].c_str(), &lookup[0], kPathUnits)) << c[0];
    EXPECT_EQ(std::vector<std::wstring>({c[0], Text(folder), Text(pattern), Text(lookup)}), c);
  }
  std::wstring lookup = Field(L"untouched");
  EXPECT_FALSE(GetVolumeLookupPath(L"\\", &lookup[0], kPathUnits)) << "nothing left of the folder";
  EXPECT_FALSE(GetVolumeLookupPath(L"C:\\windows\\x", &lookup[0], 10)) << "does not fit";
  EXPECT_EQ(Text(lookup), L"untouched");
}

TEST(SourcePaths, VolumeRoot) {
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

TEST(SourcePaths, BareNamesAndPatternsAreTakenFromTheCurrentFolder) {
  wchar_t saved[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, saved);
  ASSERT_TRUE(SetCurrentDirectoryW(L"C:\\windows"));
  for (const wchar_t* bare : {L"x.txt", L"*.jpg", L"\"*.jpg\""}) {
    std::wstring spec1 = Field(bare), spec2 = Field();
    StripQuotes(&spec1[0]);
    MakeAbsolute(&spec1[0], &spec2[0]);
    EXPECT_EQ(Text(spec1), bare[0] == L'x' ? L"C:\\windows\\x.txt" : L"C:\\windows\\*.jpg") << bare;
    EXPECT_EQ(Text(spec2), Text(spec1)) << "an empty second specification copies the first";
  }
  SetCurrentDirectoryW(saved);
}

TEST(SourcePaths, ExistenceAndVolumes) {
  const std::tuple<const wchar_t*, bool, bool> cases[] = {  // path, exists, is a folder
      {L"C:\\windows\\win.ini", true, false},  {L"\\\\?\\C:\\windows\\win.ini", true, false},
      {L"\"C:\\windows\\win.ini\"", true, false}, {L"C:\\windows\\win.ini:s", false, false},
      {L"C:\\windows\\win.inix", false, false}, {L"\\\\?\\C:\\windows\\", true, true},
  };
  for (const auto& [path, exists, folder] : cases) {
    EXPECT_EQ(PathExists(path), exists) << path;
    EXPECT_EQ(IsExistingFolder(path), folder) << path;
  }
  EXPECT_EQ(IsSameVolume(L"\\\\?\\C:\\windows\\", L"\\\\?\\C:\\windows\\system32\\"), 1);
  // Wine maps C: to its prefix and Z: to the Linux root: two volumes.
  EXPECT_EQ(IsSameVolume(L"\\\\?\\Z:\\tmp\\", L"\\\\?\\C:\\windows\\"), 0);
}
}  // namespace
