// The command line: split into words, then the words read as options and specifications, and these as folders
// and patterns on their volumes.
#include <cstring>
#include <tuple>

#include "base/memory.h"
#include "run/command_line.h"
#include "run/options.h"
#include "run/source_paths.h"
#include "../test_support.h"

namespace {
std::vector<std::wstring> Split(const std::wstring& line) {
  ArgumentVector args;
  SplitCommandLine(line.c_str(), &args);
  std::vector<std::wstring> out(args.items, args.items + args.count);
  MemFree(args.buffer);
  return out;
}

TEST(SplitCommandLine, QuotesWhiteSpaceBackslashesAndTheBufferLimits) {
  const std::pair<std::wstring, std::vector<std::wstring>> cases[] = {
      {L"", {}},
      {L"zav \"C:\\My Files\\\"", {L"zav", L"C:\\My Files\\"}},
      {L"zav \"\" b", {L"zav", L"", L"b"}},
      {L"zav a\"\"\"b c\"", {L"zav", L"ab c"}},
      {L"zav \"unterminated quote runs on", {L"zav", L"unterminated quote runs on"}},
      {L"zav   a\t\tb   ", {L"zav", L"a", L"b"}},
      {L"zav a\x3000" L"b\x00A0" L"c\x2009" L"d\x200A" L"e\x205F" L"f\x000C" L"g\r\nh", {L"zav", L"a", L"b", L"c", L"d", L"e", L"f", L"g", L"h"}},
      {L"zav a\x000B" L"b", {L"zav", L"a\x000B" L"b"}},
      {L"zav C:\\dir\\\" -d", {L"zav", L"C:\\dir\\ -d"}},
  };
  for (const auto& [line, args] : cases) EXPECT_EQ(Split(line), args) << std::string(line.begin(), line.end());
  // The 32nd argument on is ignored.
  std::wstring many = L"zav";
  for (int i = 1; i < 40; ++i) many += L" a" + std::to_wstring(i);
  ASSERT_EQ(Split(many).size(), 31u);
  EXPECT_EQ(Split(many)[30], L"a30");
  // Lines made only of separators, only of quotes, or very long: each argument fits the buffer.
  const std::wstring lines[] = {std::wstring(4000, L'"'), std::wstring(4000, L' '), L"zav" + std::wstring(4000, L'x'),
                                std::wstring(2000, L'"') + L" " + std::wstring(2000, L'a'), L" \" \" \" "};
  for (const std::wstring& line : lines) {
    std::vector<std::wstring> args = Split(line);
    size_t total = 0;
    for (const std::wstring& arg : args) total += arg.size() + 1;
    EXPECT_LE(total, line.size() + 1);
  }
}

TEST(ParseSizeText, NumbersUnitsAndOddText) {
  const std::pair<const wchar_t*, int64_t> cases[] = {
      {L"0", 0},          {L"1K", 1024},    {L"1k", 1024},           {L"1KB", 1024},       {L"1B", 1},
      {L"1.5M", 1048576}, {L"0x10K", 16},   {L"0x10", 16},           {L"1e3", 1},          {L"2 GB", 2147483648},
      {L"3T", 3LL << 40}, {L"-5", -5},      {L"+7", 7},              {L"  12", 12},        {L"abc", 0},
      {L"K", 0},          {L"12Q", 12},     {L"1m", 1048576},        {L"0X10", 0},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(ParseSizeText(text), value) << text[0];
  std::wstring text63 = L"7" + std::wstring(62, L' ');
  EXPECT_EQ(ParseSizeText(text63.c_str()), 7);
  EXPECT_EQ(ParseSizeText((text63 + L" ").c_str()), 0) << "longer than 63 characters";
}

int Parse(std::vector<std::wstring> words) {
  words.insert(words.begin(), L"zav");
  Argv args(words);
  return ParseArguments(args.Count(), args.Data());
}

// A digit right after the letter makes the word a no-op; a word too short for its option is a specification.
// A slash stands for the dash as it does for the option words.
TEST(ParseArguments, SizeOptions) {
  const int64_t kNone = kNoSizeLimit;
  const std::tuple<const wchar_t*, int64_t, int64_t, int64_t, const wchar_t*> cases[] = {
      {L"-t:4K", 8192, 0, kNone, L""},         {L"-t:12289", 12288, 0, kNone, L""},
      {L"-T:1m", 1048576, 0, kNone, L""},      {L"-t1M", kNone, 0, kNone, L""},
      {L"-t:8", kNone, 0, kNone, L"-t:8"},     {L"-m:1", kNone, 1, kNone, L""},
      {L"-x:1", kNone, 0, 1, L""},             {L"-m5", kNone, 0, kNone, L""},
      {L"-mx5", kNone, 5, kNone, L""},         {L"-m=1K", kNone, 1024, kNone, L""},
      // The slash form with its colon, at any length; without the colon it may be a path at the root.
      {L"/t:1M", 1048576, 0, kNone, L""},      {L"/X:10M", kNone, 0, 10485760, L""},
      {L"/m:1", kNone, 1, kNone, L""},         {L"/m:123456K", kNone, 126418944, kNone, L""},
      {L"/t10M", kNone, 0, kNone, L"/t10M"},   {L"/q:1M", kNone, 0, kNone, L"/q:1M"},
      {L"/t:8", kNone, 0, kNone, L"-t:8"},
  };
  for (const auto& [arg, test, min, max, spec] : cases) {
    ResetRunOptions();
    EXPECT_EQ(Parse({arg}), 0);
    EXPECT_EQ(RunOptions.TestBlockSize, test) << arg;
    EXPECT_EQ(RunOptions.MinFileSize, min) << arg;
    EXPECT_EQ(RunOptions.MaxFileSize, max) << arg;
    EXPECT_STREQ(FileSpec1, spec);
  }
}

// Option words are read in any case, with a slash for the dash; a slash word that is no option is a
// specification with a dash, and a third specification stops the parse before later words are looked at.
TEST(ParseArguments, OptionWordsAndSpecifications) {
  EXPECT_EQ(Parse({L"-s", L"-fh1", L"-r2", L"-i", L"-u", L"-def", L"-n", L"-dsn"}), 0);
  const RunOptionsRecord lower = RunOptions;
  ResetRunOptions();
  EXPECT_EQ(Parse({L"/S", L"-FH1", L"-R2", L"/I", L"-U", L"-DEF", L"/N", L"/dSn"}), 0);
  EXPECT_EQ(memcmp(&lower, &RunOptions, sizeof lower), 0);
  const RunOptionsRecord defaults;
  EXPECT_NE(memcmp(&lower, &defaults, sizeof lower), 0);
  EXPECT_EQ(FileSpec1[0], 0);
  ResetRunOptions();
  EXPECT_EQ(Parse({L"", L"/foo", L"", L"C:\\b"}), 0);
  EXPECT_STREQ(FileSpec1, L"-foo");
  EXPECT_STREQ(FileSpec2, L"C:\\b");
  ResetRunOptions();
  EXPECT_EQ(Parse({L"a", L"b", std::wstring(30000, L'c'), L"-d", L"-h"}), 4);
  EXPECT_EQ(RunOptions.Action, 0u);
}

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
  for (const auto& [path, unc] : {std::pair(L"\\\\server\\share\\dir", true), {L"\\\\server", false},
                                  {L"\\\\?\\C:\\dir", false}, {L"\\\\.\\C:", false}})
    EXPECT_EQ(IsUncPath(path), unc) << path;
}

// Made-up volumes: F: is FAT32, X: an exFAT that can hold links, Q: cannot be read, the rest NTFS.
BOOL WINAPI FakeVolume(LPCWSTR root, LPWSTR, DWORD, LPDWORD, LPDWORD, LPDWORD flags, LPWSTR fileSystem, DWORD) {
  *flags = root[0] == L'X' ? FILE_SUPPORTS_HARD_LINKS : 0;
  lstrcpyW(fileSystem, root[0] == L'F' ? L"FAT32" : root[0] == L'X' ? L"exFAT" : L"NTFS");
  return root[0] != L'Q';
}

// Both paths are cut to their volume roots first: a folder, a bare drive, a volume name, a share.
TEST(SourcePaths, HardlinkVolumeChecks) {
  Devices.GetVolumeInformation = FakeVolume;
  CapturedOutput output;
  const std::wstring guid = L"\\\\?\\Volume{01234567-89ab-cdef-0123-456789abcdef}\\";
  const std::wstring lower = L"\\\\?\\volume" + guid.substr(10), odd = L"\\\\?\\Volume{x";
  const std::wstring share = L"\\\\server\\share";
  const std::tuple<std::wstring, std::wstring, int, std::wstring> cases[] = {  // paths, exit code, their root
      {L"Q:\\a", L"Q:", 7, L"Q:\\"},          {L"C:\\windows", L"C:", 0, L"C:\\"},
      {L"F:\\a", L"F:", 4, L"F:\\"},          {L"X:\\a\\b", L"X:", 0, L"X:\\"},
      {guid + L"dir\\sub", guid, 0, guid},  {lower, lower, 0, lower},
      {odd, odd, 0, odd},                   {share + L"\\dir\\x", share + L"\\", 0, share + L"\\"},
      {share, share, 0, share},
  };
  for (const auto& [volume1, volume2, exitCode, root] : cases) {
    std::wstring path1 = Field(volume1), path2 = Field(volume2);
    EXPECT_EQ(CheckHardlinkVolumes(&path1[0], &path2[0]), exitCode) << volume1;
    EXPECT_EQ(Text(path1), root) << volume1;
    EXPECT_EQ(Text(path2), root) << volume1;
  }
  EXPECT_EQ(output.Text(), "invaid source volume Q:\\\r\nFAT32 file system does not support hardlinks -> abort\r\n");
}
}  // namespace
