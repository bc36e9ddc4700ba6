#include "base/long_path.h"

#include <cwchar>

bool HasLongPathPrefix(const wchar_t* path) { return path && wcsncmp(path, kLongPathPrefix, 4) == 0; }

const wchar_t* SkipLongPathPrefix(const wchar_t* path) { return HasLongPathPrefix(path) ? path + 4 : path; }
