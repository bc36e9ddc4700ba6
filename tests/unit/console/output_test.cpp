#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "console/output.h"
#include "../test_support.h"

namespace {
TEST(ExpandLineEnds, PutsACarriageReturnBeforeEveryBareLineFeed) {
  const std::pair<const char*, const char*> cases[] = {
      {"a\nb", "a\r\nb"}, {"a\r\nb", "a\r\nb"}, {"\nx", "\r\nx"}, {"\n\n", "\r\n\r\n"},
      {"", ""},           {"\r\r\n", "\r\r\n"}, {"x\n", "x\r\n"},
  };
  char narrow[1024];
  wchar_t wide[1024];
  for (const auto& [in, out] : cases) {
    strcpy(narrow, in);
    EXPECT_EQ(ExpandLineEnds(narrow), int(strlen(out)));
    EXPECT_STREQ(narrow, out);
    for (size_t i = 0; i <= strlen(in); ++i) wide[i] = static_cast<unsigned char>(in[i]);
    EXPECT_EQ(ExpandLineEnds(wide), int(strlen(out)));
    EXPECT_EQ(std::wstring(wide), std::wstring(out, out + strlen(out)));
    char expanded[16];
    EXPECT_EQ(ExpandLineEnds(in, expanded), int(strlen(out)));
    EXPECT_STREQ(expanded, out);
  }
  // 1023 line feeds cannot all take a CR in 1024 units: the bounded form stops inside its buffer.
  std::fill(wide, wide + 1023, L'\n');
  wide[1023] = 0;
  int length = ExpandLineEnds(wide);
  EXPECT_LE(length, 1023);
  EXPECT_EQ(wide[length], 0);
}

// Output redirected to a file, as when a user writes "zav ... > list.txt".
class RedirectedOutput : public ::testing::Test {
 protected:
  std::string Written() { return output_.Take(); }
  CapturedOutput output_;
};

TEST_F(RedirectedOutput, MessagesBecomeOemBytesWithCrLf) {
  EXPECT_EQ(GetOutputMode(), OutputMode::Redirected);
  ASSERT_EQ(GetOEMCP(), 437u) << "the expectations below are in code page 437";
  EXPECT_EQ(ConsolePrint(L"%s file%u deleted %S\n", L"caf\x00E9", 2u, "ok"), 23);
  EXPECT_EQ(Written(), "caf\x82 file2 deleted ok\r\n");
  // A character the code page lacks becomes its default character.
  ConsolePrint(L"\x4E2D\n");
  EXPECT_EQ(Written(), "?\r\n");
  EXPECT_EQ(ConsolePrint(L"%s", L""), -1) << "an empty message writes nothing and fails";
  EXPECT_EQ(Written(), "");
}

TEST_F(RedirectedOutput, AnOverlongMessageIsCutNotWrittenPastItsBuffer) {
  std::wstring huge(5000, L'x');
  int written = ConsolePrint(L"%s\n", huge.c_str());
  std::string bytes = Written();
  EXPECT_EQ(written, int(bytes.size()));
  EXPECT_LE(bytes.size(), 1024u);
  EXPECT_EQ(bytes.find_first_not_of('x'), std::string::npos);
}

TEST_F(RedirectedOutput, PathLinesAndPairNamesTakeAnyLength) {
  std::wstring path = L"C:\\" + std::wstring(30000, L'd') + L"\\%s%u";
  EXPECT_EQ(ConsolePrintPath(L"'%s'\n", path.c_str()), int(path.size() + 3));
  EXPECT_EQ(Written(), "'" + std::string(path.begin(), path.end()) + "'\n");
  EXPECT_EQ(ConsolePrintPath(L"no slot %S here\n", L"x"), -1);
  EXPECT_EQ(Written(), "");
  std::wstring names = std::wstring(40000, L'n') + L"\n";  // a pair's names are expanded whole
  EXPECT_EQ(ConsoleWriteText(names.c_str()), 40002);
  EXPECT_EQ(Written(), std::string(40000, 'n') + "\r\n");
}
}  // namespace
