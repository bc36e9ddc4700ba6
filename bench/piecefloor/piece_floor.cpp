// The first-piece floor: lists a tree and opens, reads and closes once every file that shares its size with
// another, reading only its first 4 KiB (a smaller file: the sectors reaching one byte past its listed end, as
// ZAV asks), unbuffered into page-aligned memory, in the order of the listing. A tool that tells files apart
// by a first piece before it reads any whole must do at least this. Such a tool must then read whole the files
// whose first piece another file of their size shares; the one line of output counts them (by a hash of the
// piece, which keeps the memory small; a collision could only overcount).
// Usage: piece_floor.exe FOLDER
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "compare/checksum_buffers.h"
#include "../floor/tree_listing.h"

namespace {
constexpr int64_t kFirstPiece = 4096;

// A hash of the first piece's bytes (of none when the file cannot be opened or read); adds the bytes read.
size_t ReadFirstPiece(const std::wstring& path, int64_t size, unsigned char* buffer, int64_t* bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD ask = size < kFirstPiece ? PieceToAsk(size) : DWORD(kFirstPiece), got = 0;
  if (!ReadFile(file, buffer, ask, &got, nullptr)) got = 0;
  CloseHandle(file);
  *bytes += got;
  return std::hash<std::string_view>()(
      std::string_view(reinterpret_cast<char*>(buffer), std::min<size_t>(got, size_t(kFirstPiece))));
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: piece_floor.exe FOLDER\n");
    return 3;
  }
  std::wstring root = argv[1];
  if (root.back() != L'\\') root += L'\\';
  std::vector<Found> found;
  List(root, &found);
  std::map<int64_t, int> files_of_size;
  for (const Found& f : found) ++files_of_size[f.size];
  auto* buffer = static_cast<unsigned char*>(VirtualAlloc(nullptr, kReadPiece, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  // Per size and first piece, the files that have it.
  std::map<std::pair<int64_t, size_t>, int> pieces;
  int64_t files = 0, bytes = 0;
  for (const Found& f : found) {
    if (f.size == 0 || files_of_size[f.size] < 2) continue;
    ++pieces[{f.size, ReadFirstPiece(f.path, f.size, buffer, &bytes)}];
    ++files;
  }
  int64_t still_paired = 0, still_paired_bytes = 0;
  for (const auto& [key, count] : pieces) {
    if (count < 2) continue;
    still_paired += count;
    still_paired_bytes += count * key.first;
  }
  printf("%zu files listed, %lld of them read in part (%lld bytes); %lld share their first piece with another "
         "of their size (%lld bytes whole)\n",
         found.size(), (long long)files, (long long)bytes, (long long)still_paired, (long long)still_paired_bytes);
  return 0;
}
