#include "pool/scanner.h"

#include <cwchar>

// Folders are not listed yet: every pool comes out empty.
void ScanFolder(FilePool*, wchar_t*) {}
int MatchWildcard(const wchar_t*, const wchar_t*) { return 0; }

const wchar_t* DisplayPath(const wchar_t* path) {
  return wcsncmp(path, L"\\\\?\\", 4) == 0 ? path + 4 : path;
}
