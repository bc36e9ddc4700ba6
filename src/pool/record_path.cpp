#include "pool/record_path.h"

#include <cwchar>

#include "base/memory.h"

JoinedPath::JoinedPath(const wchar_t* dir, const wchar_t* name) : text_(inline_) {
  size_t dirLength = wcslen(dir), nameLength = wcslen(name);
  size_t units = dirLength + nameLength + 1;
  if (units > kInlineUnits) text_ = static_cast<wchar_t*>(MemAlloc(units * sizeof(wchar_t)));
  wmemcpy(text_, dir, dirLength);
  wmemcpy(text_ + dirLength, name, nameLength + 1);
}

JoinedPath::~JoinedPath() {
  if (text_ != inline_) MemFree(text_);
}

int CountPathDepth(const wchar_t* folder) {
  const wchar_t* p = folder;
  if (p[0] == L'\\' && p[1] == L'\\') {
    p += 2;
    if (p[0] == L'?' && p[1] == L'\\') p += 2;
  }
  int depth = 0;
  for (; *p; ++p)
    if (*p == L'\\') ++depth;
  return depth;
}
