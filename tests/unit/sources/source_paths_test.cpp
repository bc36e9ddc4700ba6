#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/output.h"
#include "run/options.h"
#include "run/source_paths.h"

namespace {
std::wstring Buffer() { return std::wstring(kPathUnits, L'\0'); }
std::wstring Text(const std::wstring& buffer) { return std::wstring(buffer.c_str()); }

// A fresh folder in the temporary folder, removed with everything in it at the end of the test.
class TempFolder {
 public:
  TempFolder() {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    path_ = std::wstring(base) + L"zav_sources_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
            std::to_wstring(counter_++);
    CreateDirectoryW(path_.c_str(), nullptr);
  }
  ~TempFolder() { Remove(L"\\\\?\\" + path_); }
  const std::wstring& path() const { return path_; }

  // Makes the folder and every parent below the temporary folder; works past MAX_PATH.
  std::wstring MakeFolder(const std::wstring& relative) const {
    std::wstring full = path_;
    size_t start = 0;
    while (start <= relative.size()) {
      size_t end = relative.find(L'\\', start);
      if (end == std::wstring::npos) end = relative.size();
      full += L"\\" + relative.substr(start, end - start);
      CreateDirectoryW((L"\\\\?\\" + full).c_str(), nullptr);
      start = end + 1;
    }
    return full;
  }
  std::wstring MakeFile(const std::wstring& relative) const {
    std::wstring full = path_ + L"\\" + relative;
    HANDLE file = CreateFileW((L"\\\\?\\" + full).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(file);
    return full;
  }

 private:
  static void Remove(const std::wstring& folder) {
    WIN32_FIND_DATAW entry;
    HANDLE listing = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (listing != INVALID_HANDLE_VALUE) {
      do {
        std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        std::wstring child = folder + L"\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
          Remove(child);
        else
          DeleteFileW(child.c_str());
      } while (FindNextFileW(listing, &entry));
      FindClose(listing);
    }
    RemoveDirectoryW(folder.c_str());
  }
  std::wstring path_;
  static int counter_;
};
int TempFolder::counter_ = 0;

// Collects what the program prints while it lives (redirected output bytes, OEM code page).
class CapturedOutput {
 public:
  CapturedOutput() {
    CreatePipe(&read_, &write_, nullptr, 1 << 20);
    SetOutputHandleForTesting(write_);
  }
  ~CapturedOutput() {
    CloseHandle(write_);
    CloseHandle(read_);
  }
  std::string Take() {
    DWORD available = 0;
    PeekNamedPipe(read_, nullptr, 0, nullptr, &available, nullptr);
    std::string bytes(available, '\0');
    DWORD got = 0;
    if (available) ReadFile(read_, &bytes[0], available, &got, nullptr);
    bytes.resize(got);
    return bytes;
  }

 private:
  HANDLE read_ = nullptr, write_ = nullptr;
};

TEST(SourcePaths, TextHelpers) {
  struct Case {
    const wchar_t* input;
    const wchar_t* unquoted;
    bool unc, prefixed, wildcard;
  };
  const Case cases[] = {
      {L"\"C:\\a b\\\"", L"C:\\a b\\", false, false, false},
      {L"C:\\dir\"", L"C:\\dir", false, false, false},
      {L"\"C:\\dir", L"\"C:\\dir", false, false, false},
      {L"\"", L"", false, false, false},
      {L"\\\\server\\share\\dir", L"\\\\server\\share\\dir", true, false, false},
      {L"\\\\?\\C:\\dir", L"\\\\?\\C:\\dir", false, true, false},
      {L"\\\\.\\C:", L"\\\\.\\C:", false, false, false},
      {L"\\\\server", L"\\\\server", false, false, false},
      {L"\\\\?\\C:\\a*", L"\\\\?\\C:\\a*", false, true, true},
      {L"C:\\a?b", L"C:\\a?b", false, false, true},
  };
  for (const Case& c : cases) {
    std::wstring spec = c.input;
    StripQuotes(&spec[0]);
    EXPECT_EQ(Text(spec), c.unquoted) << c.input;
    EXPECT_EQ(IsUncPath(c.input), c.unc) << c.input;
    EXPECT_EQ(HasLongPathPrefix(c.input), c.prefixed) << c.input;
    EXPECT_EQ(HasWildcard(c.input), c.wildcard) << c.input;
  }
}

TEST(SourcePaths, AppendAndPrefixNeverOverrunTheirBuffer) {
  struct Case {
    const wchar_t* input;
    size_t capacity;
    const wchar_t* appended;
    const wchar_t* prefixed;
  };
  const Case cases[] = {
      {L"", 8, L"\\", L"\\\\?\\"},
      {L"C:\\a", 32, L"C:\\a\\", L"\\\\?\\C:\\a"},
      {L"C:\\a\\", 32, L"C:\\a\\", L"\\\\?\\C:\\a\\"},
      {L"\\\\?\\C:\\a", 32, L"\\\\?\\C:\\a\\", L"\\\\?\\C:\\a"},
      {L"\\\\server\\share", 32, L"\\\\server\\share\\", L"\\\\server\\share"},
      {L"C:\\ab", 6, L"C:\\ab", L"C:\\ab"},  // full buffers stay as they are
  };
  for (const Case& c : cases) {
    std::wstring text(c.capacity + 4, L'#');
    text.replace(0, wcslen(c.input) + 1, c.input, wcslen(c.input) + 1);
    std::wstring copy = text;
    AppendCharIfMissing(&text[0], L'\\', c.capacity);
    EXPECT_EQ(Text(text), c.appended) << c.input;
    AddLongPathPrefix(&copy[0], c.capacity);
    EXPECT_EQ(Text(copy), c.prefixed) << c.input;
    EXPECT_EQ(text.substr(c.capacity), L"####") << "written past the buffer for " << c.input;
  }
}

TEST(SourcePaths, SplitSpec) {
  TempFolder temp;
  std::wstring existing = temp.MakeFolder(L"Photos");
  struct Case {
    std::wstring spec;
    bool ok;
    std::wstring folder, pattern;
  };
  const std::vector<Case> cases = {
      {L"C:\\Photos\\*.jpg", true, L"\\\\?\\C:\\Photos\\", L"*.jpg"},
      {L"\\\\?\\C:\\Photos\\*.jpg", true, L"\\\\?\\C:\\Photos\\", L"*.jpg"},
      {L"\\\\server\\share\\dir\\*", true, L"\\\\server\\share\\dir\\", L"*"},
      {L"C:\\x.txt", true, L"\\\\?\\C:\\", L"x.txt"},
      {existing, true, existing + L"\\", L""},
      {existing + L"\\", true, existing + L"\\", L""},
      {L"nothing", false, L"untouched", L"untouched"},
  };
  for (const Case& c : cases) {
    std::wstring folder = Buffer(), pattern = Buffer();
    folder.replace(0, 10, L"untouched");
    pattern.replace(0, 10, L"untouched");
    EXPECT_EQ(SplitSpec(c.spec.c_str(), &folder[0], &pattern[0]), c.ok) << c.spec;
    EXPECT_EQ(Text(folder), c.folder) << c.spec;
    EXPECT_EQ(Text(pattern), c.pattern) << c.spec;
  }
}

TEST(SourcePaths, VolumeRoot) {
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"\\\\?\\Volume{01234567-89ab-cdef-0123-456789abcdef}\\dir\\sub",
       L"\\\\?\\Volume{01234567-89ab-cdef-0123-456789abcdef}\\"},
      {L"\\\\?\\volume{01234567-89ab-cdef-0123-456789abcdef}\\", L"\\\\?\\volume{01234567-89ab-cdef-0123-456789abcdef}\\"},
      {L"\\\\?\\Volume{short", L"\\\\?\\Volume{short"},
      {L"\\\\server\\share\\dir\\x", L"\\\\server\\share\\"},
      {L"\\\\server\\share", L"\\\\server\\share"},
      {L"C:\\a\\b", L"C:\\"},
      {L"C:\\", L"C:\\"},
      {L"C:", L"C:\\"},
  };
  for (const auto& c : cases) {
    std::wstring path(260, L'\0');
    path.replace(0, wcslen(c.first), c.first);
    VolumeRoot(&path[0]);
    EXPECT_EQ(Text(path), c.second) << c.first;
  }
}

TEST(SourcePaths, VolumeLookupPath) {
  TempFolder temp;
  std::wstring dir = temp.MakeFolder(L"dir");
  const std::pair<std::wstring, std::wstring> cases[] = {
      {dir + L"\\file.txt", dir}, {dir, dir}, {dir + L"\\", dir}, {dir + L"\\*.txt", dir},
      {L"C:\\", L"C:"},           {L"C:\\nope\\*.txt", L"C:\\nope"},
  };
  for (const auto& c : cases) {
    std::wstring out = Buffer();
    EXPECT_TRUE(GetVolumeLookupPath(c.first.c_str(), &out[0], kPathUnits)) << c.first;
    EXPECT_EQ(Text(out), c.second) << c.first;
  }
  std::wstring out = Buffer();
  out[0] = L'u';
  EXPECT_FALSE(GetVolumeLookupPath(L"", &out[0], kPathUnits));
  EXPECT_FALSE(GetVolumeLookupPath(L"\\", &out[0], kPathUnits)) << "nothing left of the folder";
  EXPECT_FALSE(GetVolumeLookupPath((dir + L"\\x").c_str(), &out[0], int(dir.size()))) << "does not fit";
  EXPECT_EQ(out[0], L'u') << "a failure leaves the output untouched";
}

TEST(SourcePaths, BareNamesAndPatternsAreTakenFromTheCurrentFolder) {
  TempFolder temp;
  wchar_t saved[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, saved);
  ASSERT_TRUE(SetCurrentDirectoryW(temp.path().c_str()));
  for (const wchar_t* bare : {L"x.txt", L"*.jpg", L"\"*.jpg\""}) {
    std::wstring spec1 = Buffer(), spec2 = Buffer();
    spec1.replace(0, wcslen(bare), bare);
    StripQuotes(&spec1[0]);
    MakeAbsolute(&spec1[0], &spec2[0]);
    std::wstring expected = temp.path() + L"\\" + (bare[0] == L'x' ? L"x.txt" : L"*.jpg");
    EXPECT_EQ(Text(spec1), expected) << bare;
    EXPECT_EQ(Text(spec2), expected) << "an empty second specification copies the first";
  }
  SetCurrentDirectoryW(saved);
}

TEST(SourcePaths, ExistenceChecks) {
  TempFolder temp;
  std::wstring file = temp.MakeFile(L"x.txt");
  // 300 characters of folder below the temporary folder: past MAX_PATH without any prefix.
  std::wstring deep = temp.MakeFolder(std::wstring(100, L'a') + L"\\" + std::wstring(100, L'b') + L"\\" +
                                      std::wstring(98, L'c'));
  ASSERT_GT(deep.size(), 300u);
  std::wstring deepFile = temp.MakeFile(deep.substr(temp.path().size() + 1) + L"\\deep.txt");
  struct Case {
    std::wstring path;
    bool exists, folder;
  };
  const std::vector<Case> cases = {
      {file, true, false},
      {L"\\\\?\\" + file, true, false},
      {L"\"" + file + L"\"", true, false},
      {temp.path() + L"\\missing.txt", false, false},
      {temp.path(), true, true},
      {deep, true, true},
      {deep + L"\\", true, true},
      {L"\\\\?\\" + deep + L"\\", true, true},
      {deepFile, true, false},
      {deep + L"\\missing", false, false},
      {temp.path() + L"\\missing.txt:s", false, false},
      {temp.path() + L"\\nowhere\\", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PathExists(c.path.c_str()), c.exists) << c.path.size() << " " << c.path;
    EXPECT_EQ(IsExistingFolder(c.path.c_str()), c.folder) << c.path;
  }
}

TEST(SourcePaths, DeepFolderSplitsWhole) {
  TempFolder temp;
  std::wstring deep = temp.MakeFolder(std::wstring(150, L'd') + L"\\" + std::wstring(150, L'e'));
  std::wstring spec = Buffer();
  spec.replace(0, deep.size(), deep);
  AppendCharIfMissing(&spec[0], L'\\');
  AppendCharIfMissing(&spec[0], L'*');
  AddLongPathPrefix(&spec[0]);
  std::wstring folder = Buffer(), pattern = Buffer();
  ASSERT_TRUE(SplitSpec(spec.c_str(), &folder[0], &pattern[0]));
  EXPECT_EQ(Text(folder), L"\\\\?\\" + deep + L"\\");
  EXPECT_EQ(Text(pattern), L"*");
  EXPECT_TRUE(PathExists(folder.c_str()));
}

TEST(SourcePaths, VeryLongSpecificationsStayInsideTheirBuffers) {
  for (size_t length : {size_t(32000), size_t(kPathUnits - 5), size_t(kPathUnits - 1)}) {
    std::wstring spec(kPathUnits + 8, L'#');
    std::wstring body = L"C:\\" + std::wstring(length - 3, L'x');
    for (size_t i = 200; i < body.size(); i += 200) body[i] = L'\\';
    spec.replace(0, body.size() + 1, body.c_str(), body.size() + 1);
    std::wstring second(kPathUnits + 8, L'#');
    second[0] = 0;
    MakeAbsolute(&spec[0], &second[0]);
    AppendCharIfMissing(&spec[0], L'\\');
    AppendCharIfMissing(&spec[0], L'*');
    AddLongPathPrefix(&spec[0]);
    std::wstring folder(kPathUnits + 8, L'#'), pattern(kPathUnits + 8, L'#');
    SplitSpec(spec.c_str(), &folder[0], &pattern[0]);
    EXPECT_FALSE(PathExists(folder.c_str()));
    for (const std::wstring* b : {&spec, &second, &folder, &pattern})
      EXPECT_EQ(b->substr(kPathUnits), L"########") << "overrun with " << length;
  }
}

TEST(SourcePaths, SameVolume) {
  TempFolder temp;
  std::wstring a = L"\\\\?\\" + temp.MakeFolder(L"a") + L"\\";
  std::wstring b = L"\\\\?\\" + temp.MakeFolder(L"b\\c") + L"\\";
  std::wstring deep = L"\\\\?\\" + temp.MakeFolder(std::wstring(200, L'f') + L"\\" + std::wstring(200, L'g')) + L"\\";
  EXPECT_EQ(IsSameVolume(a.c_str(), a.c_str()), 1);
  EXPECT_EQ(IsSameVolume(a.c_str(), b.c_str()), 1);
  EXPECT_EQ(IsSameVolume(a.c_str(), deep.c_str()), 1);
  // Wine maps C: to its prefix and Z: to the Linux root: two volumes.
  EXPECT_EQ(IsSameVolume(L"\\\\?\\Z:\\tmp\\", L"\\\\?\\C:\\windows\\"), 0);
}

TEST(SourcePaths, HardlinkVolumeChecks) {
  CapturedOutput output;
  struct Case {
    const wchar_t* volume1;
    const wchar_t* volume2;
    int exitCode;
    const char* message;
  };
  const Case cases[] = {
      {L"C:\\windows", L"C:\\users", 0, ""},
      {L"C:\\windows", L"Z:\\tmp", 4, "hardlinks work on the same drive only -> abort\r\n"},
      {L"Q:\\x", L"Q:\\y", 7, "invaid source volume Q:\\\r\n"},
  };
  for (const Case& c : cases) {
    wchar_t volume1[260], volume2[260];
    lstrcpyW(volume1, c.volume1);
    lstrcpyW(volume2, c.volume2);
    EXPECT_EQ(CheckHardlinkVolumes(volume1, volume2), c.exitCode) << c.volume1;
    EXPECT_EQ(output.Take(), c.message) << c.volume1;
  }
}
}  // namespace
