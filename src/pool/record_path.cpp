#include "pool/record_path.h"

#include <cwchar>

#include "base/memory.h"

wchar_t* JoinPath(const wchar_t* dir, const wchar_t* name) {
  size_t dirLength = wcslen(dir), nameLength = wcslen(name);
  wchar_t* path = static_cast<wchar_t*>(MemAlloc((dirLength + nameLength + 2) * sizeof(wchar_t)));
  wmemcpy(path, dir, dirLength);
  wmemcpy(path + dirLength, name, nameLength + 1);
  return path;
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
