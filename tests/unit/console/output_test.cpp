#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "console/output.h"
#include "../test_support.h"

namespace {
std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// Output redirected to a file, as when a user writes "zav ... > list.txt": OEM bytes with CR LF, whichever call.
TEST(RedirectedOutput, EveryCallWritesOemBytesWithCrLf) {
  CapturedOutput output;
  EXPECT_EQ(GetOutputMode(), OutputMode::Redirected);
  ASSERT_EQ(GetOEMCP(), 437u) << "the expectations below are in code page 437";
  const std::pair<const char*, const char*> lineEnds[] = {
      {"a\nb", "a\r\nb"}, {"a\r\nb", "a\r\nb"}, {"\nx", "\r\nx"}, {"\n\n", "\r\n\r\n"}, {"\r\r\n", "\r\r\n"},
      {"x\n", "x\r\n"}};
  for (const auto& [in, out] : lineEnds) {
    const int length = int(strlen(out));
    EXPECT_EQ(ConsolePrint(L"%s", Wide(in).c_str()), length);
    EXPECT_EQ(ConsolePrintA("%s", in), length);
    EXPECT_EQ(ConsoleWriteText(Wide(in).c_str()), length);
    EXPECT_EQ(output.Take(), std::string(out) + out + out) << in;
  }
  EXPECT_EQ(ConsolePrint(L"%s file%u deleted %S\n", L"caf\x00E9", 2u, "ok"), 23);
  EXPECT_EQ(output.Take(), "caf\x82 file2 deleted ok\r\n");
  ConsolePrint(L"\x4E2D\n");  // a character the code page lacks becomes its default character
  EXPECT_EQ(output.Take(), "?\r\n");
  EXPECT_EQ(ConsolePrint(L"%s", L""), -1) << "an empty message writes nothing and fails";
  EXPECT_EQ(output.Take(), "");
  // An overlong message is cut, not written past its buffer; a path line and a pair's names take any length.
  const int written = ConsolePrint(L"%s\n", std::wstring(5000, L'x').c_str());
  const std::string bytes = output.Take();
  EXPECT_EQ(written, int(bytes.size()));
  EXPECT_LE(bytes.size(), 1024u);
  EXPECT_EQ(bytes.find_first_not_of('x'), std::string::npos);
  std::wstring path = L"C:\\" + std::wstring(30000, L'd') + L"\\%s%u";
  EXPECT_EQ(ConsolePrintPath(L"'%s'\n", path.c_str()), int(path.size() + 3));
  EXPECT_EQ(output.Take(), "'" + std::string(path.begin(), path.end()) + "'\n");
  EXPECT_EQ(ConsolePrintPath(L"no slot %S here\n", L"x"), -1);
  EXPECT_EQ(output.Take(), "");
  EXPECT_EQ(ConsoleWriteText((std::wstring(40000, L'n') + L"\n").c_str()), 40002);
  EXPECT_EQ(output.Take(), std::string(40000, 'n') + "\r\n");
  // 1023 line feeds cannot all take a CR in 1024 units: the expansion stops inside its buffer.
  wchar_t wide[1024];
  std::fill(wide, wide + 1023, L'\n');
  wide[1023] = 0;
  const int length = ExpandLineEnds(wide);
  EXPECT_LE(length, 1023);
  EXPECT_EQ(wide[length], 0);
}
}  // namespace
