// The command line: split into words, then the words read as options and specifications.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "base/memory.h"
#include "run/command_line.h"
#include "run/options.h"
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
      {L"zav", {L"zav"}},
      {L"zav \"C:\\My Files\\\"", {L"zav", L"C:\\My Files\\"}},
      {L"zav a\" \"b", {L"zav", L"a b"}},
      {L"zav \"\" b", {L"zav", L"", L"b"}},
      {L"zav a\"\"\"b c\"", {L"zav", L"ab c"}},
      {L"zav \"unterminated quote runs on", {L"zav", L"unterminated quote runs on"}},
      {L"zav   a\t\tb   ", {L"zav", L"a", L"b"}},
      {L"zav a\x3000" L"b\x00A0" L"c\x2009" L"d\x200A" L"e\x205F" L"f\x000C" L"g\r\nh", {L"zav", L"a", L"b", L"c", L"d", L"e", L"f", L"g", L"h"}},
      {L"zav a\x000B" L"b", {L"zav", L"a\x000B" L"b"}},
      {L"zav C:\\dir\\\" -d", {L"zav", L"C:\\dir\\ -d"}},
      {L"\"C:\\Program Files\\zav.exe\" x", {L"C:\\Program Files\\zav.exe", L"x"}},
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

// Option words are read in any case, with a slash for the dash.
TEST(ParseArguments, OptionWordsInAnyCaseAndWithASlash) {
  EXPECT_EQ(Parse({L"-s", L"-fh1", L"-r2", L"-i", L"-u", L"-def", L"-n", L"-dsn"}), 0);
  const RunOptionsRecord lower = RunOptions;
  ResetRunOptions();
  EXPECT_EQ(Parse({L"/S", L"-FH1", L"-R2", L"/I", L"-U", L"-DEF", L"/N", L"/dSn"}), 0);
  EXPECT_EQ(memcmp(&lower, &RunOptions, sizeof lower), 0);
  const RunOptionsRecord defaults;
  EXPECT_NE(memcmp(&lower, &defaults, sizeof lower), 0);
  EXPECT_EQ(FileSpec1[0], 0);
}

TEST(ParseArguments, SpecificationsAndUnknownWords) {
  EXPECT_EQ(Parse({L"", L"/foo", L"", L"C:\\b"}), 0);
  EXPECT_STREQ(FileSpec1, L"-foo");
  EXPECT_STREQ(FileSpec2, L"C:\\b");
  // A third specification stops the parse before later arguments are looked at.
  ResetRunOptions();
  EXPECT_EQ(Parse({L"a", L"b", std::wstring(30000, L'c'), L"-d", L"-h"}), 4);
  EXPECT_EQ(RunOptions.Action, 0u);
}
}  // namespace
