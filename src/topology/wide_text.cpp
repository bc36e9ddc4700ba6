#include "topology/wide_text.h"

#include <windows.h>
#include <shlwapi.h>

#include <cwchar>

#include "base/long_path.h"
#include "base/memory.h"
#include "base/run_options.h"

bool StartsWithNoCase(const wchar_t* text, const wchar_t* prefix) {
  if (!text || !prefix || !*text || !*prefix) return false;
  size_t prefixLength = wcslen(prefix);
  if (prefixLength > wcslen(text)) return false;
  return StrCmpNIW(text, prefix, static_cast<int>(prefixLength)) == 0;
}

bool IsAsciiLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

wchar_t GetDriveLetter(const wchar_t* path) {
  path = SkipLongPathPrefix(path);
  return IsAsciiLetter(path[0]) && path[1] == L':' ? path[0] : 0;
}

void StripTrailingChar(wchar_t* text, wchar_t c) {
  size_t length = wcslen(text);
  if (length > 0 && text[length - 1] == c) text[length - 1] = 0;
}

namespace {
wchar_t* UpperCopy(const wchar_t* text, size_t length) {
  wchar_t* copy = static_cast<wchar_t*>(MemAlloc((length + 1) * sizeof(wchar_t)));
  wmemcpy(copy, text, length);
  CharUpperBuffW(copy, static_cast<DWORD>(length));
  return copy;
}
}  // namespace

int ReplaceAllNoCase(wchar_t* text, const wchar_t* find, const wchar_t* replacement, int capacity) {
  if (!text || !find || !replacement || !*find || capacity < 1) return 0;
  size_t limit = capacity < kPathUnits ? size_t(capacity) : size_t(kPathUnits);
  size_t textLength = wcslen(text);
  if (textLength >= limit) return 0;
  size_t findLength = wcslen(find);
  size_t replacementLength = wcslen(replacement);

  // Upper-case mapping keeps every UTF-16 unit in place, so positions found in the copies hold in text.
  wchar_t* upperText = UpperCopy(text, textLength);
  wchar_t* upperFind = UpperCopy(find, findLength);
  wchar_t* result = static_cast<wchar_t*>(MemAlloc(limit * sizeof(wchar_t)));
  size_t resultLength = 0, position = 0;
  int count = 0;
  bool fits = true;
  for (const wchar_t* hit; (hit = wcsstr(upperText + position, upperFind)) != nullptr;) {
    size_t at = size_t(hit - upperText);
    size_t before = at - position;
    // Replace all or nothing: a path with only some of its parts rewritten would name a wrong place.
    if (resultLength + before + replacementLength >= limit) {
      fits = false;
      break;
    }
    wmemcpy(result + resultLength, text + position, before);
    wmemcpy(result + resultLength + before, replacement, replacementLength);
    resultLength += before + replacementLength;
    position = at + findLength;
    ++count;
  }
  size_t rest = textLength - position;
  if (fits && resultLength + rest < limit) {
    wmemcpy(result + resultLength, text + position, rest);
    result[resultLength + rest] = 0;
    wmemcpy(text, result, resultLength + rest + 1);
  } else {
    count = 0;
  }
  MemFree(result);
  MemFree(upperFind);
  MemFree(upperText);
  return count;
}
