#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run/options.h"

namespace {
TEST(ParseSizeText, NumbersUnitsAndOddText) {
  const struct {
    const wchar_t* text;
    int64_t value;
  } cases[] = {
      {L"0", 0},          {L"1K", 1024},    {L"1k", 1024},           {L"1KB", 1024},       {L"1B", 1},
      {L"1.5M", 1048576}, {L"0x10K", 16},   {L"0x10", 16},           {L"1e3", 1},          {L"2 GB", 2147483648},
      {L"3T", 3LL << 40}, {L"-5", -5},      {L"+7", 7},              {L"  12", 12},        {L"abc", 0},
      {L"K", 0},          {L"12Q", 12},     {L"1m", 1048576},        {L"0X10", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseSizeText(c.text), c.value) << c.text[0];
  std::wstring text63 = L"7" + std::wstring(62, L' ');
  EXPECT_EQ(ParseSizeText(text63.c_str()), 7);
  EXPECT_EQ(ParseSizeText((text63 + L" ").c_str()), 0) << "longer than 63 characters";
}

TEST(ClampToRange, RaisesAndLowers) {
  EXPECT_EQ(ClampToRange(5, 8192, kNoSizeLimit), 8192);
  EXPECT_EQ(ClampToRange(-5, 8192, kNoSizeLimit), 8192);
  EXPECT_EQ(ClampToRange(9000, 8192, 8500), 8500);
  EXPECT_EQ(ClampToRange(8300, 8192, 8500), 8300);
}

class ParseArgumentsTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetRunOptions(); }
  int Parse(std::vector<std::wstring> words) {
    words.insert(words.begin(), L"zav");
    std::vector<wchar_t*> argv;
    for (std::wstring& word : words) argv.push_back(&word[0]);
    return ParseArguments(static_cast<int>(argv.size()), argv.data());
  }
};

TEST_F(ParseArgumentsTest, SizeOptions) {
  const struct {
    const wchar_t* arg;
    int64_t test, min, max;
    const wchar_t* spec;
  } cases[] = {
      {L"-t:4K", 8192, 0, kNoSizeLimit, L""},
      {L"-t:10000", 8192, 0, kNoSizeLimit, L""},
      {L"-t:12289", 12288, 0, kNoSizeLimit, L""},
      {L"-t:-5", 8192, 0, kNoSizeLimit, L""},
      {L"-T:1m", 1048576, 0, kNoSizeLimit, L""},
      {L"-t:1M", 1048576, 0, kNoSizeLimit, L""},
      {L"-t1M", kNoSizeLimit, 0, kNoSizeLimit, L""},
      {L"-t:8", kNoSizeLimit, 0, kNoSizeLimit, L"-t:8"},
      {L"-m:1", kNoSizeLimit, 1, kNoSizeLimit, L""},
      {L"-x:1", kNoSizeLimit, 0, 1, L""},
      {L"-m5", kNoSizeLimit, 0, kNoSizeLimit, L""},
      {L"-mx5", kNoSizeLimit, 5, kNoSizeLimit, L""},
      {L"-m=1K", kNoSizeLimit, 1024, kNoSizeLimit, L""},
      {L"-m:-3", kNoSizeLimit, -3, kNoSizeLimit, L""},
      {L"-x:1e3", kNoSizeLimit, 0, 1, L""},
      {L"-x:2 GB", kNoSizeLimit, 0, 2147483648, L""},
      {L"/t:1M", kNoSizeLimit, 0, kNoSizeLimit, L"/t:1M"},
  };
  for (const auto& c : cases) {
    ResetRunOptions();
    EXPECT_EQ(Parse({c.arg}), 0);
    EXPECT_EQ(RunOptions.TestBlockSize, c.test) << c.arg;
    EXPECT_EQ(RunOptions.MinFileSize, c.min) << c.arg;
    EXPECT_EQ(RunOptions.MaxFileSize, c.max) << c.arg;
    EXPECT_STREQ(FileSpec1, c.spec);
  }
}

TEST_F(ParseArgumentsTest, OptionWordsSetTheirFlags) {
  EXPECT_EQ(Parse({L"/S", L"-fh1", L"-R2", L"-i", L"-u", L"-DEF", L"-n", L"-v", L"-p", L"/dsn"}), 0);
  EXPECT_EQ(RunOptions.RecurseSpec1, 1);
  EXPECT_EQ(RunOptions.RecurseSpec2, 1);
  EXPECT_EQ(RunOptions.FindHardlinks1, 1);
  EXPECT_EQ(RunOptions.FindHardlinks2, 0);
  EXPECT_EQ(RunOptions.ReparseSpec1, 0);
  EXPECT_EQ(RunOptions.ReparseSpec2, 1);
  EXPECT_EQ(RunOptions.SameNameOnly, 1);
  EXPECT_EQ(RunOptions.SortBySize, 0);
  EXPECT_EQ(RunOptions.DeleteEmptiedDirs, 1);
  EXPECT_EQ(RunOptions.NoWaitForKey, 1);
  EXPECT_EQ(RunOptions.Action, 8u);
  EXPECT_EQ(FileSpec1[0], 0);
}

TEST_F(ParseArgumentsTest, EveryActionWordHasItsCode) {
  const wchar_t* words[] = {L"-d1", L"-d2", L"-da", L"-d",  L"-h1", L"-h2", L"-h",  L"-dsn",
                            L"-dln", L"-dsp", L"-dlp", L"-do", L"-dn", L"-e1", L"-e2"};
  for (uint32_t code = 1; code <= 15; ++code) {
    ResetRunOptions();
    EXPECT_EQ(Parse({words[code - 1]}), 0);
    EXPECT_EQ(RunOptions.Action, code) << words[code - 1];
    EXPECT_EQ(RunOptions.FindHardlinks1, code == 1 ? 1 : 0);
    EXPECT_EQ(RunOptions.FindHardlinks2, code == 2 ? 1 : 0);
  }
}

TEST_F(ParseArgumentsTest, SpecificationsAndUnknownWords) {
  EXPECT_EQ(Parse({L"", L"/foo", L"", L"C:\\b"}), 0);
  EXPECT_STREQ(FileSpec1, L"-foo");
  EXPECT_STREQ(FileSpec2, L"C:\\b");
  // A third specification stops the parse before later arguments are looked at.
  ResetRunOptions();
  EXPECT_EQ(Parse({L"a", L"b", std::wstring(30000, L'c'), L"-d", L"-h"}), 4);
  EXPECT_EQ(RunOptions.Action, 0u);
}
}  // namespace
