// The least a duplicate action costs under Wine: for each of the N second files of the tree bench/actions/run
// makes, delete it, or replace it by a hard link to its first file (a link beside it, moved over it, as ZAV
// replaces a file). Nothing is listed, read or compared.
//   actions_floor.exe delete|link ROOT N
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {
// The bench's naming: pair i is a\d<i % 50>\f<i>.bin and b\d<i % 50>\f<i>.bin below the root.
void PairPath(wchar_t* out, size_t units, const wchar_t* root, const wchar_t* side, unsigned i) {
  swprintf(out, units, L"%ls\\%ls\\d%u\\f%u.bin", root, side, i % 50, i);
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    fwprintf(stderr, L"usage: actions_floor.exe delete|link ROOT N\n");
    return 1;
  }
  bool link = wcscmp(argv[1], L"link") == 0;
  const wchar_t* root = argv[2];
  unsigned count = static_cast<unsigned>(_wtoi(argv[3]));
  unsigned done = 0;
  wchar_t first[1024], second[1024], temporary[1040];
  for (unsigned i = 0; i < count; ++i) {
    PairPath(second, 1024, root, L"b", i);
    if (!link) {
      done += DeleteFileW(second) ? 1 : 0;
      continue;
    }
    PairPath(first, 1024, root, L"a", i);
    swprintf(temporary, 1040, L"%ls.~link", second);
    if (CreateHardLinkW(temporary, first, nullptr) && MoveFileExW(temporary, second, MOVEFILE_REPLACE_EXISTING))
      ++done;
  }
  wprintf(L"%u of %u files %ls\n", done, count, link ? L"linked" : L"deleted");
  return done == count ? 0 : 2;
}
