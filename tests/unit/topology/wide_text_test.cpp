// The text helpers, including texts at the 32,768-unit limit: nothing may be written past a buffer.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "topology/wide_text.h"

namespace {
constexpr int kLimit = 32768;
constexpr wchar_t kGuard = 0xBEEF;

// A text in a buffer of exactly capacity units followed by guard units.
struct GuardedText {
  GuardedText(const std::wstring& text, int capacity) : units(capacity + 16, kGuard), capacity(capacity) {
    std::copy(text.begin(), text.end(), units.begin());
    units[text.size()] = 0;
  }
  bool GuardIntact() const {
    for (size_t i = capacity; i < units.size(); ++i)
      if (units[i] != kGuard) return false;
    return true;
  }
  std::wstring Text() const { return std::wstring(units.data()); }
  wchar_t* data() { return units.data(); }
  std::vector<wchar_t> units;
  int capacity;
};

TEST(WideText, StartsWithNoCase) {
  struct Case {
    const wchar_t* text;
    const wchar_t* prefix;
    bool expected;
  } cases[] = {
      {L"\\\\?\\C:\\", L"\\\\?\\", true}, {L"\\device\\floppy0", L"\\Device\\Floppy", true},
      {L"abc", L"abc", true},             {L"abc", L"", false},
      {L"", L"", false},                  {L"", L"a", false},
      {L"ab", L"abc", false},             {L"xabc", L"abc", false},
      {L"abcabc", L"bc", false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, StartsWithNoCase(c.text, c.prefix)) << c.text << L"|" << c.prefix;
  EXPECT_FALSE(StartsWithNoCase(nullptr, L"a"));
  EXPECT_FALSE(StartsWithNoCase(L"a", nullptr));
  std::wstring full(kLimit - 1, L'a');
  EXPECT_TRUE(StartsWithNoCase(full.c_str(), full.c_str()));
  EXPECT_FALSE(StartsWithNoCase(full.c_str(), (full + L"a").c_str()));
}

TEST(WideText, LettersAndDriveLetters) {
  for (wchar_t c : {L'A', L'Z', L'a', L'z', L'm'}) EXPECT_TRUE(IsAsciiLetter(c)) << int(c);
  for (wchar_t c : {L'@', L'[', L'`', L'{', L'0', L':', wchar_t(0xC4), wchar_t(0)}) EXPECT_FALSE(IsAsciiLetter(c)) << int(c);
  struct Case {
    const wchar_t* path;
    wchar_t letter;
  } cases[] = {{L"C:\\x", L'C'},  {L"d:", L'd'},       {L"\\\\?\\e:\\", L'e'}, {L"\\\\?\\Volume{x}\\", 0},
               {L"\\\\s\\x", 0},  {L"1:\\", 0},        {L"C", 0},              {L"", 0},
               {L"\\\\?\\", 0},   {L"\\\\.\\C:\\", 0}};
  for (const Case& c : cases) EXPECT_EQ(c.letter, GetDriveLetter(c.path)) << c.path;
}

TEST(WideText, StripTrailingChar) {
  struct Case {
    const wchar_t* text;
    const wchar_t* expected;
  } cases[] = {{L"\\\\?\\Volume{x}\\", L"\\\\?\\Volume{x}"}, {L"a\\\\", L"a\\"}, {L"\\", L""}, {L"abc", L"abc"}, {L"", L""}};
  for (const Case& c : cases) {
    wchar_t text[32];
    lstrcpyW(text, c.text);
    StripTrailingChar(text, L'\\');
    EXPECT_STREQ(c.expected, text) << c.text;
  }
}

TEST(WideText, CutAfterNthChar) {
  struct Case {
    const wchar_t* text;
    int n;
    int result;
    const wchar_t* expected;
  } cases[] = {
      {L"\\\\server\\share\\dir\\x", 4, 1, L"\\\\server\\share\\"},
      {L"\\\\server\\share\\dir\\x", 1, 1, L"\\"},
      {L"\\\\server\\share", 4, 0, L"\\\\server\\share"},  // fewer than n: unchanged
      {L"a\\b\\", 2, 1, L"a\\b\\"},                       // the last character: nothing after it to cut
      {L"", 1, 0, L""},
      {L"a\\b", 0, 0, L"a\\b"},
      {L"a\\b", -1, 0, L"a\\b"},
  };
  for (const Case& c : cases) {
    wchar_t text[64];
    lstrcpyW(text, c.text);
    EXPECT_EQ(c.result, CutAfterNthChar(text, L'\\', c.n)) << c.text << L" " << c.n;
    EXPECT_STREQ(c.expected, text);
  }
  GuardedText full(std::wstring(kLimit - 2, L'a') + L"\\", kLimit);
  EXPECT_EQ(1, CutAfterNthChar(full.data(), L'\\', 1));
  EXPECT_EQ(size_t(kLimit - 1), full.Text().size());
  EXPECT_TRUE(full.GuardIntact());
}

TEST(WideText, ReplaceAllNoCase) {
  struct Case {
    const wchar_t* text;
    const wchar_t* find;
    const wchar_t* replacement;
    int count;
    const wchar_t* expected;
  } cases[] = {
      {L"Z:\\docs", L"z:", L"\\\\server\\share", 1, L"\\\\server\\share\\docs"},
      {L"abcABCabc", L"b", L"", 3, L"acACac"},
      {L"aaa", L"aa", L"b", 1, L"ba"},  // occurrences do not overlap
      {L"MiXeD", L"mixed", L"x", 1, L"x"},
      {L"xyz", L"q", L"r", 0, L"xyz"},
      {L"", L"a", L"b", 0, L""},
      {L"abc", L"", L"x", 0, L"abc"},  // an empty search would never end
      {L"\x00e4\x00c4", L"\x00c4", L"o", 2, L"oo"},
  };
  for (const Case& c : cases) {
    GuardedText text(c.text, 64);
    EXPECT_EQ(c.count, ReplaceAllNoCase(text.data(), c.find, c.replacement, 64)) << c.text << L"|" << c.find;
    EXPECT_EQ(std::wstring(c.expected), text.Text());
  }
  wchar_t text[8] = L"abc";
  EXPECT_EQ(0, ReplaceAllNoCase(nullptr, L"a", L"b", 8));
  EXPECT_EQ(0, ReplaceAllNoCase(text, nullptr, L"b", 8));
  EXPECT_EQ(0, ReplaceAllNoCase(text, L"a", nullptr, 8));
  EXPECT_STREQ(L"abc", text);
}

TEST(WideText, ReplaceAllNoCaseNeverOutgrowsItsBuffer) {
  struct Case {
    std::wstring text;
    int capacity;
    const wchar_t* replacement;
    int count;
    size_t length;
  } cases[] = {
      // Grows to exactly one unit below the capacity: fits.
      {std::wstring(kLimit - 4, L'x') + L"a", kLimit, L"bbb", 1, size_t(kLimit - 1)},
      // One more unit would reach the capacity: unchanged.
      {std::wstring(kLimit - 3, L'x') + L"a", kLimit, L"bbb", 0, size_t(kLimit - 2)},
      // Many replacements, the last of which would not fit: all or nothing.
      {std::wstring(kLimit - 11, L'a'), kLimit, L"bb", 0, size_t(kLimit - 11)},
      // A text that fills the buffer already shrinks fine.
      {std::wstring(kLimit - 1, L'a'), kLimit, L"", kLimit - 1, 0},
      // A capacity above the limit is held to the limit.
      {std::wstring(kLimit - 3, L'x') + L"a", kLimit + 100, L"bbb", 0, size_t(kLimit - 2)},
      // Small buffers too.
      {L"a:\\x", 8, L"\\\\s\\sh", 0, 4},
      {L"a:\\x", 9, L"\\\\s\\sh", 1, 8},
  };
  for (const Case& c : cases) {
    GuardedText text(c.text, c.capacity);
    EXPECT_EQ(c.count, ReplaceAllNoCase(text.data(), c.text.find(L"a:") == 0 ? L"A:" : L"a", c.replacement,
                                        c.capacity))
        << c.text.size();
    EXPECT_EQ(c.length, text.Text().size());
    EXPECT_TRUE(text.GuardIntact());
  }
  GuardedText tooLong(std::wstring(kLimit, L'a'), kLimit + 1);
  EXPECT_EQ(0, ReplaceAllNoCase(tooLong.data(), L"a", L"b", kLimit + 1));
  EXPECT_EQ(L'a', tooLong.units[0]);
}
}  // namespace
