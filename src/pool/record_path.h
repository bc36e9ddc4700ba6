#pragma once
// The paths a record stands for: its full path and the depth of its folder.

#include <cstddef>

// dir followed by name, for as long as the object lives. The matching joins a path for nearly every file, so
// a path of common length stays on the stack: a heap block per file breaks the heap up under Wine.
class JoinedPath {
 public:
  JoinedPath(const wchar_t* dir, const wchar_t* name);
  ~JoinedPath();
  JoinedPath(const JoinedPath&) = delete;
  JoinedPath& operator=(const JoinedPath&) = delete;
  wchar_t* Text() { return text_; }  // the caller may cut it short, as an action cuts a path to its folder

 private:
  static constexpr size_t kInlineUnits = 384;
  wchar_t inline_[kInlineUnits];
  wchar_t* text_;
};

// The last part of a path that holds a backslash: the name after it.
inline const wchar_t* NameOnly(const wchar_t* path) {
  const wchar_t* name = path;
  for (const wchar_t* p = path; *p; ++p)
    if (*p == L'\\') name = p + 1;
  return name;
}

// Backslashes in a folder path, not counting a leading \\ or \\?\ (the long-path form of C:\a\ counts 2).
int CountPathDepth(const wchar_t* folder);
