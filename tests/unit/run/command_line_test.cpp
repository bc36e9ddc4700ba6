#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pool/memory.h"
#include "run/command_line.h"

namespace {
std::vector<std::wstring> Split(const std::wstring& line) {
  ArgumentVector args;
  SplitCommandLine(line.c_str(), &args);
  std::vector<std::wstring> out(args.items, args.items + args.count);
  MemFree(args.buffer);
  return out;
}

TEST(SplitCommandLine, QuotesWhiteSpaceAndBackslashes) {
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
}

TEST(SplitCommandLine, The32ndArgumentAndAllAfterItAreIgnored) {
  std::wstring line = L"zav";
  for (int i = 1; i < 40; ++i) line += L" a" + std::to_wstring(i);
  std::vector<std::wstring> args = Split(line);
  ASSERT_EQ(args.size(), 31u);
  EXPECT_EQ(args[30], L"a30");
}

TEST(SplitCommandLine, OddLinesStayInsideTheBuffer) {
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
}  // namespace
