// Large files ruled out by their pieces ahead of the walk: which files are read, what the pieces rule out, and
// that a file that cannot be read leaves its size to the walk.
#include "compare/checksum_buffers.h"
#include "compare/whole_file_checksum.h"
#include "match/pieces_ahead.h"
#include "../test_support.h"

namespace {
namespace fs = std::filesystem;
constexpr size_t kLarge = 1 << 20;

std::string Changed(std::string bytes, size_t at) { return bytes[at] ^= 0x5A, bytes; }

TEST(PiecesAhead, LargeFilesAreReadWholeOnlyWhenTheirPiecesAreShared) {
  InitChecksumBuffers();
  const fs::path dir = TempPath(L"pieces");
  const std::wstring folder = L"\\\\?\\" + (dir / L"").wstring();
  // Records of the files in the order given, which must be by size, as a sorted pool holds them.
  auto pool = [&](const std::vector<std::pair<const wchar_t*, std::string>>& files) {
    std::vector<FileRecord> records(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
      PutFile(dir / files[i].first, files[i].second);
      records[i].dir = const_cast<wchar_t*>(folder.c_str()), records[i].name = const_cast<wchar_t*>(files[i].first);
      records[i].size = int64_t(files[i].second.size());
    }
    return records;
  };
  const std::string large(kLarge + 100, 'L'), other(kLarge + 200, 'M');
  std::vector<FileRecord> one = pool({
      {L"alone", "only size"},
      {L"s1", std::string(100, 's')}, {L"s2", std::string(100, 's')}, {L"s3", std::string(100, 't')},
      {L"l1", large}, {L"l2", large},
      {L"start", Changed(large, 3)},            // its first piece is its own: never read whole
      {L"end", Changed(large, kLarge + 99)},    // so is its last
      {L"middle", Changed(large, kLarge / 2)},  // only a whole read tells it from l1 and l2
      {L"m1", other}, {L"m2", Changed(other, 0)},  // m1 cannot be read: nothing of its size is ruled out
  });
  HANDLE lock = CreateFileW((folder + L"m1").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  RuleOutLargeFilesByPieces(one.data(), uint32_t(one.size()), one.data(), uint32_t(one.size()));
  CloseHandle(lock);
  auto whole = [&](size_t i, uint32_t error = 0) {
    return ChecksumWholeFile((folder + one[i].name).c_str(), one[i].size, &error);
  };
  // Small files, large ones that may have a copy, and a size with a file unread are left to the walk.
  for (size_t i : {0, 1, 2, 3, 4, 5, 8, 9, 10}) EXPECT_EQ(one[i].checksum, 0u) << i;
  for (size_t i : {6, 7}) {
    EXPECT_NE(one[i].checksum, 0u);
    for (size_t j : {4, 5, 6, 7, 8}) EXPECT_NE(one[i].checksum, whole(j)) << i << " " << j;  // its pieces' digest
  }
  EXPECT_NE(one[6].checksum, one[7].checksum);

  // Two pools: only the sizes that both have are read.
  const std::string shared(kLarge, 'S');
  std::vector<FileRecord> first = pool({{L"a1", shared}, {L"a2", Changed(shared, 1)}, {L"a3", large}});
  std::vector<FileRecord> second = pool({{L"b1", shared}, {L"b2", Changed(shared, 2)}, {L"b4", other}});
  RuleOutLargeFilesByPieces(first.data(), 3, second.data(), 3);
  for (const std::vector<FileRecord>* records : {&first, &second}) {
    EXPECT_EQ((*records)[0].checksum, 0u);
    EXPECT_NE((*records)[1].checksum, 0u);
    EXPECT_EQ((*records)[2].checksum, 0u);  // no file of its size in the other pool: never a pair
  }
  fs::remove_all(dir);
}
}  // namespace
