#pragma once
// The \\?\ prefix that lets a path pass MAX_PATH. It holds no letters, so no compare of it depends on case.

// The prefix itself, four units.
constexpr wchar_t kLongPathPrefix[] = L"\\\\?\\";

// False for a null path.
bool HasLongPathPrefix(const wchar_t* path);
// The path after a leading \\?\, else the path itself.
const wchar_t* SkipLongPathPrefix(const wchar_t* path);
// The path as messages show it: without a leading \\?\.
inline const wchar_t* DisplayPath(const wchar_t* path) { return SkipLongPathPrefix(path); }
