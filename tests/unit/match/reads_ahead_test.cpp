// Files read ahead of the walk: the checksums of small ones, what the pieces of large ones rule out, that a
// file that cannot be read or has changed is left to the walk, and that a run longer than the stretch the
// readers may hold is read all the same.
#include <cstdint>

#include "compare/checksum_buffers.h"
#include "compare/whole_file_checksum.h"
#include "match/reads_ahead.h"
#include "../test_support.h"

namespace {
namespace fs = std::filesystem;
constexpr size_t kLarge = 1 << 20;

std::string Changed(std::string bytes, size_t at) {
  bytes[at] ^= 0x5A;
  return bytes;
}

void ReadAllAhead(std::vector<FileRecord>& first, std::vector<FileRecord>& second, uint32_t most) {
  ReadsAhead* ahead =
      StartReadsAhead(first.data(), uint32_t(first.size()), second.data(), uint32_t(second.size()), most);
  ASSERT_NE(ahead, nullptr);
  TakeReadsAhead(ahead, INT64_MAX);
  StopReadsAhead(ahead);
}

TEST(ReadsAhead, SmallFilesGetTheirChecksumsLargeOnesAreReadWholeOnlyWhenTheirPiecesAreShared) {
  InitChecksumBuffers();
  const fs::path dir = TempPath(L"pieces");
  const std::wstring folder = L"\\\\?\\" + (dir / L"").wstring();
  // Records of the files in the order given, which must be by size, as a sorted pool holds them.
  std::vector<std::wstring> names;
  names.reserve(64);
  auto pool = [&](const std::vector<std::pair<std::wstring, std::string>>& files) {
    std::vector<FileRecord> records(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
      PutFile(dir / files[i].first, files[i].second);
      names.push_back(files[i].first);
      records[i].dir = const_cast<wchar_t*>(folder.c_str());
      records[i].name = const_cast<wchar_t*>(names.back().c_str());
      records[i].size = int64_t(files[i].second.size());
    }
    return records;
  };
  auto whole = [&](const FileRecord& record) {
    uint32_t error = 0;
    return ChecksumWholeFile((folder + record.name).c_str(), record.size, &error);
  };
  const std::string large(kLarge + 100, 'L'), other(kLarge + 200, 'M');
  std::vector<FileRecord> one = pool({
      {L"alone", "only size"},
      {L"s1", std::string(100, 's')}, {L"s2", std::string(100, 's')}, {L"s3", std::string(100, 't')},
      {L"grown", std::string(100, 'g')}, {L"locked", std::string(100, 'k')},
      {L"l1", large}, {L"l2", large},
      {L"start", Changed(large, 3)},            // its first piece is its own: never read whole
      {L"end", Changed(large, kLarge + 99)},    // so is its last
      {L"middle", Changed(large, kLarge / 2)},  // only a whole read tells it from l1 and l2
      {L"m1", other}, {L"m2", Changed(other, 0)},  // m1 cannot be read: nothing of its size is ruled out
  });
  PutFile(dir / L"grown", std::string(101, 'g'));
  HANDLE lock = CreateFileW((folder + L"m1").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE lockSmall = CreateFileW((folder + L"locked").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ReadAllAhead(one, one, kReadsAheadMost);
  CloseHandle(lock);
  CloseHandle(lockSmall);
  for (size_t i : {1, 2, 3}) EXPECT_EQ(one[i].checksum, whole(one[i])) << i;
  // A size of its own, a changed or unreadable small file, large ones that may have a copy, and a size with a
  // file unread are left to the walk.
  for (size_t i : {0, 4, 5, 6, 7, 10, 11, 12}) EXPECT_EQ(one[i].checksum, 0u) << i;
  for (size_t i : {8, 9}) {
    EXPECT_NE(one[i].checksum, 0u);
    for (size_t j : {6, 7, 8, 9, 10}) EXPECT_NE(one[i].checksum, whole(one[j])) << i << " " << j;  // its digest
  }
  EXPECT_NE(one[8].checksum, one[9].checksum);

  // Two pools: only the sizes that both have are read.
  const std::string shared(kLarge, 'S');
  std::vector<FileRecord> first = pool({{L"a1", shared}, {L"a2", Changed(shared, 1)}, {L"a3", large}});
  std::vector<FileRecord> second = pool({{L"b1", shared}, {L"b2", Changed(shared, 2)}, {L"b4", other}});
  ReadAllAhead(first, second, kReadsAheadMost);
  for (const std::vector<FileRecord>* records : {&first, &second}) {
    EXPECT_EQ((*records)[0].checksum, 0u);
    EXPECT_NE((*records)[1].checksum, 0u);
    EXPECT_EQ((*records)[2].checksum, 0u);  // no file of its size in the other pool: never a pair
  }

  // Readers that may hold one open ahead still read a run of many.
  std::vector<std::pair<std::wstring, std::string>> run;
  for (int i = 0; i < 12; ++i) run.push_back({L"r" + std::to_wstring(i), std::string(10, char('a' + i % 3))});
  std::vector<FileRecord> many = pool(run);
  ReadAllAhead(many, many, 1);
  for (const FileRecord& record : many) EXPECT_EQ(record.checksum, whole(record)) << record.name;
  fs::remove_all(dir);
}
}  // namespace
