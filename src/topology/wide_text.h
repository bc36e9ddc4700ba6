#pragma once
// Small UTF-16 text helpers shared by drive topology and the run driver. None writes past the end of the
// text it is given, nor past the capacity named.

// True when both are non-empty and the text starts with the prefix, ignoring case.
bool StartsWithNoCase(const wchar_t* text, const wchar_t* prefix);
// 'A' to 'Z' and 'a' to 'z' only.
bool IsAsciiLetter(wchar_t c);
// The drive letter of X:... or \\?\X:..., else 0.
wchar_t GetDriveLetter(const wchar_t* path);
// Removes the last character when it is c.
void StripTrailingChar(wchar_t* text, wchar_t c);
// Replaces every occurrence of find, ignoring case, by replacement. The result must stay shorter than
// capacity (and than 32768); if it would not, or an argument is missing or empty, the text is left
// unchanged and the result is 0. Otherwise the number of replacements.
int ReplaceAllNoCase(wchar_t* text, const wchar_t* find, const wchar_t* replacement, int capacity);
