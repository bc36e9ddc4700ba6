#include <thread>

#include "format/error_names.h"
#include "format/size_format.h"
#include "../test_support.h"

namespace {
constexpr int64_t kTiB = int64_t(1) << 40;

using SizeCase = std::pair<int64_t, const wchar_t*>;

TEST(FormatSize, RoundsInUnitsOf1024And1000AsTheMessagesShowIt) {
  const SizeCase cases[] = {
      {0, L"0 Bytes"},          {1024, L"1024 Bytes"},       {1025, L"1 KB"},          {1536, L"1 KB"},
      {716800, L"700 KB"},      {728064, L"720 KB"},         {737280, L"720 KB"},      {757759, L"720 KB"},
      {757760, L"740 KB"},      {1048575, L"1023 KB"},       {1048576, L"1 MB"},       {1048676, L"1 MB"},
      {1536000, L"1.4 MB"},     {1572864, L"1.5 MB"},        {10485759, L"9.9 MB"},    {10485760, L"10 MB"},
      {1073741823, L"1023 MB"}, {1073741824, L"1 GB"},       {1610612736, L"1.5 GB"},  {kTiB, L"1 TB"},
      {-1, L"4294967295 Bytes"}, {kTiB * 3 / 2, L"1.5 TB"},  {int64_t(0x7FFFFFFFFFFFFFFF), L"8388608 TB"},
      {11274289152, L"10 GB"},  {11381663334, L"11 GB"},     // 10.5 GiB rounds down, 10.6 GiB up
  };
  for (const auto& [bytes, text] : cases) EXPECT_STREQ(FormatSize1024(bytes), text) << bytes;
  const SizeCase cases1000[] = {
      {100000, L"100000 Bytes"}, {100001, L"100 KB"},       {739999, L"720 KB"},      {740000, L"740 KB"},
      {1000000, L"1000 KB"},     {1000001, L"1.0 MB"},      {1500000, L"1.5 MB"},     {9999999, L"9.9 MB"},
      {10000000, L"10 MB"},      {999999999, L"999 MB"},    {1000000000, L"1 GB"},    {1040000000, L"1 GB"},
      {1060000000, L"1.1 GB"},   {1950000000, L"2 GB"},     {2250000000, L"2.3 GB"},  {5450000000, L"5.5 GB"},
      {9960000000, L"10 GB"},    {1000000000000, L"1 TB"},  {1500000000000, L"1.5 TB"}, {-2, L"4294967294 Bytes"},
      {10500000000, L"10 GB"},   {10600000000, L"11 GB"},
  };
  for (const auto& [bytes, text] : cases1000) EXPECT_STREQ(FormatSize1000(bytes), text) << bytes;
}

TEST(FormatDuration, UnitsAndTenths) {
  const std::pair<uint32_t, const wchar_t*> cases[] = {
      {0, L"0 ms"},           {999, L"999 ms"},          {1000, L"1.0 Seconds"},   {1050, L"1.0 Seconds"},
      {59999, L"59.9 Seconds"}, {60000, L"1.0 Minutes"}, {61000, L"1.0 Minutes"},  {90000, L"1.5 Minutes"},
      {3600000, L"1.0 Hours"}, {5400000, L"1.5 Hours"},  {0xFFFFFFFF, L"1193.0 Hours"},
  };
  for (const auto& [ms, text] : cases) EXPECT_STREQ(FormatDuration(ms), text) << ms;
}

// The user's locale as the test chooses it; an empty separator stands for a locale without one.
const wchar_t* LocaleSeparator = L"";
int WINAPI LocaleOfTest(LCID, LCTYPE type, LPWSTR data, int capacity) {
  if (type != LOCALE_STHOUSAND) return 0;
  lstrcpynW(data, LocaleSeparator, capacity);
  return lstrlenW(data) + 1;
}

TEST(FormatCount, SeparatesThousandsAboveAMillionAndThreeCountsStandInOneMessage) {
  Process.GetLocaleInfo = LocaleOfTest;
  LocaleSeparator = L",";
  const SizeCase cases[] = {
      {0, L"0"},          {999999, L"999999"},           {1000000, L"1,000,000"},
      {12345678901, L"12,345,678,901"}, {-5000000, L"-5000000"}, {INT64_MAX, L"9,223,372,036,854,775,807"},
  };
  for (const auto& [count, text] : cases) EXPECT_STREQ(FormatCount(count), text) << count;
  LocaleSeparator = L"";
  EXPECT_STREQ(FormatCount(12345678), L"12345678") << "a locale without a separator";
  LocaleSeparator = L".";
  const wchar_t* texts[] = {FormatCount(12345678), FormatCount(7), FormatCount(1000000)};
  EXPECT_EQ(std::vector<std::wstring>(texts, texts + 3), std::vector<std::wstring>({L"12.345.678", L"7", L"1.000.000"}));
  EXPECT_EQ(FormatCount(5), texts[0]) << "a fourth reuses the first";
  EXPECT_STREQ(texts[0], L"5");  // a shorter number leaves nothing of the longer one behind
}

// ACCESS_DENIED, CRC, FILE_NOT_FOUND and SHARING_VIOLATION are checked where the actions and reads print them.
TEST(ErrorName, KnownWordsAndDecimalForTheRestNeverSharedByTwoThreads) {
  const std::pair<uint32_t, const char*> cases[] = {
      {183, "ERROR_ALREADY_EXISTS"}, {206, "FILENAME_EXCED_RANGE"}, {1921, "CANT_RESOLVE_FILENAME"}, {0, "0"},
      {4294967295u, "4294967295"}};
  for (const auto& [code, text] : cases) EXPECT_STREQ(ErrorName(code), text) << code;
  auto hammer = [](uint32_t base, bool* clean) {  // formats its own codes, checking the text after every call
    for (uint32_t i = 0; i < 20000; ++i)
      if (std::to_string(base + i % 7 * 2) != ErrorName(base + i % 7 * 2)) *clean = false;
  };
  bool clean[2] = {true, true};
  std::thread one(hammer, 100001, &clean[0]), two(hammer, 200001, &clean[1]);
  one.join();
  two.join();
  EXPECT_TRUE(clean[0] && clean[1]);
}
}  // namespace
