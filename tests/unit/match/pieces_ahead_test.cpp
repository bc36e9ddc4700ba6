// Large files ruled out by their pieces ahead of the walk: which files are read, what the pieces rule out, and
// that a file that cannot be read leaves its size to the walk.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "compare/checksum_buffers.h"
#include "compare/whole_file_checksum.h"
#include "match/pieces_ahead.h"
#include "../test_support.h"

namespace {
namespace fs = std::filesystem;
constexpr size_t kLarge = 1 << 20;

struct Planned {
  const wchar_t* name;
  std::string content;
};

class PiecesAhead : public ::testing::Test {
 protected:
  void SetUp() override { InitChecksumBuffers(); }
  void TearDown() override {
    for (HANDLE lock : locks_) CloseHandle(lock);
    fs::remove_all(dir_);
  }
  // Records of the files in the order given, which must be by size, as a sorted pool holds them.
  std::vector<FileRecord> Pool(const std::vector<Planned>& files) {
    std::vector<FileRecord> records;
    for (const Planned& file : files) {
      PutFile(dir_ / file.name, file.content);
      FileRecord record = {};
      record.dir = const_cast<wchar_t*>(folder_.c_str());
      record.name = const_cast<wchar_t*>(file.name);
      record.size = static_cast<int64_t>(file.content.size());
      records.push_back(record);
    }
    return records;
  }
  uint64_t Whole(const wchar_t* name) {
    uint32_t error = 0;
    return ChecksumWholeFile((folder_ + name).c_str(), static_cast<int64_t>(fs::file_size(dir_ / name)), &error);
  }
  void Lock(const wchar_t* name) {
    locks_.push_back(CreateFileW((folder_ + name).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  }

  const fs::path dir_ = TempPath(L"pieces");
  const std::wstring folder_ = L"\\\\?\\" + (dir_ / L"").wstring();
  std::vector<HANDLE> locks_;
};

std::string Changed(std::string bytes, size_t at) {
  bytes[at] ^= 0x5A;
  return bytes;
}

TEST_F(PiecesAhead, LargeFilesAreReadWholeOnlyWhenTheirPiecesAreShared) {
  const std::string large(kLarge + 100, 'L'), other(kLarge + 200, 'M');
  std::vector<FileRecord> pool = Pool({
      {L"alone", "only size"},
      {L"s1", std::string(100, 's')}, {L"s2", std::string(100, 's')}, {L"s3", std::string(100, 't')},
      {L"l1", large}, {L"l2", large},
      {L"start", Changed(large, 3)},     // its first piece is its own: never read whole
      {L"end", Changed(large, kLarge + 99)},  // so is its last
      {L"middle", Changed(large, kLarge / 2)},  // only a whole read tells it from l1 and l2
      {L"m1", other}, {L"m2", Changed(other, 0)},  // m1 cannot be read: nothing of its size is ruled out
  });
  Lock(L"m1");
  RuleOutLargeFilesByPieces(pool.data(), static_cast<uint32_t>(pool.size()), pool.data(),
                            static_cast<uint32_t>(pool.size()));
  auto checksum = [&](const wchar_t* name) {
    for (const FileRecord& record : pool)
      if (std::wstring(record.name) == name) return record.checksum;
    return uint64_t{0};
  };
  // Small files, large ones that may have a copy, and a size with a file unread are left to the walk.
  for (const wchar_t* name : {L"alone", L"s1", L"s2", L"s3", L"l1", L"l2", L"middle", L"m1", L"m2"})
    EXPECT_EQ(checksum(name), 0u) << fs::path(name);
  for (const wchar_t* name : {L"start", L"end"}) {
    EXPECT_NE(checksum(name), 0u);
    EXPECT_NE(checksum(name), Whole(name));  // its pieces' digest stands for it
    for (const wchar_t* other : {L"l1", L"l2", L"middle", L"start", L"end"})
      if (std::wstring(other) != name) {
        EXPECT_NE(checksum(name), Whole(other));
      }
  }
  EXPECT_NE(checksum(L"start"), checksum(L"end"));
}

// Two pools: only the sizes that both have are read.
TEST_F(PiecesAhead, TwoPoolsReadTheSizesTheyShare) {
  const std::string large(kLarge, 'L');
  std::vector<FileRecord> one = Pool({{L"a1", large}, {L"a2", Changed(large, 1)}, {L"a3", std::string(kLarge + 1, 'x')}});
  std::vector<FileRecord> two = Pool({{L"b1", large}, {L"b2", Changed(large, 2)}, {L"b4", std::string(kLarge + 2, 'y')}});
  RuleOutLargeFilesByPieces(one.data(), 3, two.data(), 3);
  EXPECT_EQ(one[0].checksum, 0u);
  EXPECT_EQ(two[0].checksum, 0u);
  EXPECT_NE(one[1].checksum, 0u);
  EXPECT_NE(two[1].checksum, 0u);
  EXPECT_EQ(one[2].checksum, 0u);  // no file of its size in the other pool: never a pair
  EXPECT_EQ(two[2].checksum, 0u);
}
}  // namespace
