// The floor: lists a tree and opens, reads and closes once every file that shares its size with another,
// reading as ZAV's checksums read: unbuffered and sequential into page-aligned memory, each read asking for
// what ZAV's PieceToAsk asks (the sectors reaching one byte past the listed end, at most 1 MiB: Wine checks
// every page a read may fill), a short read ending the file. No checksum, no comparison, no output but one
// line: the least any duplicate finder must do on that tree.
// Usage: floor.exe FOLDER
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "compare/checksum_buffers.h"
#include "tree_listing.h"

namespace {
// Returns the bytes read.
int64_t ReadWhole(const std::wstring& path, int64_t size, unsigned char* buffer) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  int64_t total = 0;
  for (;;) {
    DWORD ask = PieceToAsk(size - total), got = 0;
    if (!ReadFile(file, buffer, ask, &got, nullptr) || !got) break;
    total += got;
    if (got < ask) break;
  }
  CloseHandle(file);
  return total;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: floor.exe FOLDER\n");
    return 3;
  }
  std::wstring root = argv[1];
  if (root.back() != L'\\') root += L'\\';
  std::vector<Found> found;
  List(root, &found);
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.size < b.size; });
  auto* buffer = static_cast<unsigned char*>(VirtualAlloc(nullptr, kReadPiece, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  int64_t files = 0, bytes = 0;
  for (size_t i = 0; i < found.size(); ++i) {
    bool shared = (i > 0 && found[i - 1].size == found[i].size) ||
                  (i + 1 < found.size() && found[i + 1].size == found[i].size);
    if (!shared || found[i].size == 0) continue;
    bytes += ReadWhole(found[i].path, found[i].size, buffer);
    ++files;
  }
  printf("%zu files listed, %lld of them read (%lld bytes)\n", found.size(), (long long)files, (long long)bytes);
  return 0;
}
