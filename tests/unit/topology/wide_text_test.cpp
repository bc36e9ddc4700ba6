// The text helpers, including texts at the 32,768-unit limit: nothing may be written past a buffer.
#include <gtest/gtest.h>

#include <algorithm>
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
    return std::all_of(units.begin() + capacity, units.end(), [](wchar_t c) { return c == kGuard; });
  }
  std::vector<wchar_t> units;
  int capacity;
};

TEST(WideText, StartsWithNoCase) {
  const std::wstring full(kLimit - 1, L'a'), longer = full + L"a";
  struct Case {
    const wchar_t* text;
    const wchar_t* prefix;
    bool expected;
  } cases[] = {
      {L"\\device\\floppy0", L"\\Device\\Floppy", true}, {L"abc", L"abc", true}, {L"abc", L"", false},
      {L"", L"", false}, {L"ab", L"abc", false}, {L"xabc", L"abc", false}, {nullptr, L"a", false},
      {L"a", nullptr, false}, {full.c_str(), full.c_str(), true}, {full.c_str(), longer.c_str(), false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, StartsWithNoCase(c.text, c.prefix)) << c.text << L"|" << c.prefix;
}

TEST(WideText, CutAfterNthChar) {
  struct Case {
    std::wstring text;
    int n;
    int result;
    std::wstring expected;
  } cases[] = {
      {L"\\\\server\\share\\dir\\x", 4, 1, L"\\\\server\\share\\"},
      {L"\\\\server\\share", 4, 0, L"\\\\server\\share"},  // fewer than n: unchanged
      {L"a\\b\\", 2, 1, L"a\\b\\"},                       // the last character: nothing after it to cut
      {L"", 1, 0, L""},
      {L"a\\b", 0, 0, L"a\\b"},
      {std::wstring(kLimit - 2, L'a') + L"\\", 1, 1, std::wstring(kLimit - 2, L'a') + L"\\"},
  };
  for (const Case& c : cases) {
    GuardedText text(c.text, int(c.text.size()) + 1);
    EXPECT_EQ(c.result, CutAfterNthChar(text.units.data(), L'\\', c.n)) << c.text.size() << L" " << c.n;
    EXPECT_EQ(c.expected, text.units.data());
    EXPECT_TRUE(text.GuardIntact());
  }
}

TEST(WideText, ReplaceAllNoCaseNeverOutgrowsItsBuffer) {
  const std::wstring x3(kLimit - 3, L'x'), x4(kLimit - 4, L'x'), a11(kLimit - 11, L'a'), a1(kLimit - 1, L'a');
  const std::wstring full(kLimit, L'a');
  struct Case {
    std::wstring text;
    const wchar_t* find;
    const wchar_t* replacement;
    int capacity;
    int count;
    std::wstring expected;
  } cases[] = {
      {L"Z:\\docs", L"z:", L"\\\\server\\share", 64, 1, L"\\\\server\\share\\docs"},
      {L"abcABCabc", L"b", L"", 64, 3, L"acACac"},
      {L"aaa", L"aa", L"b", 64, 1, L"ba"},  // occurrences do not overlap
      {L"\x00e4\x00c4", L"\x00c4", L"o", 64, 2, L"oo"},
      {L"abc", L"", L"x", 64, 0, L"abc"},  // an empty search would never end
      {L"abc", nullptr, L"x", 64, 0, L"abc"},
      {L"abc", L"a", nullptr, 64, 0, L"abc"},
      {L"a:\\x", L"A:", L"\\\\s\\sh", 8, 0, L"a:\\x"},  // would fill the buffer to its last unit
      {L"a:\\x", L"A:", L"\\\\s\\sh", 9, 1, L"\\\\s\\sh\\x"},
      {x4 + L"a", L"a", L"bbb", kLimit, 1, x4 + L"bbb"},  // one unit below the limit: fits
      {x3 + L"a", L"a", L"bbb", kLimit, 0, x3 + L"a"},
      {x3 + L"a", L"a", L"bbb", kLimit + 100, 0, x3 + L"a"},  // a larger capacity is held to the limit
      {a11, L"a", L"bb", kLimit, 0, a11},                     // all or nothing
      {a1, L"a", L"", kLimit, kLimit - 1, L""},
      {full, L"a", L"b", kLimit + 1, 0, full},  // already past the limit
  };
  for (const Case& c : cases) {
    GuardedText text(c.text, c.capacity);
    EXPECT_EQ(c.count, ReplaceAllNoCase(text.units.data(), c.find, c.replacement, c.capacity)) << c.text.size();
    EXPECT_EQ(c.expected, text.units.data());
    EXPECT_TRUE(text.GuardIntact());
  }
  EXPECT_EQ(0, ReplaceAllNoCase(nullptr, L"a", L"b", 8));
}
}  // namespace
