// The pair comparison on real files: what it proves before anything is reported or acted on.
#include <windows.h>
#include <winternl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <list>
#include <random>
#include <string>
#include <tuple>

#include "actions/action_counters.h"
#include "base/run_options.h"
#include "compare/checksum_buffers.h"
#include "console/output.h"
#include "identity/link_groups.h"
#include "match/compare_pair.h"
#include "seam/file_system.h"

namespace {
namespace fs = std::filesystem;

// The CRC-64 polynomial with its top bit: XORed into a file it leaves the checksum as it was.
const unsigned char kCollider[] = {0x01, 0x42, 0xF0, 0xE1, 0xEB, 0xA9, 0xEA, 0x36, 0x93};

class PairFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetRunOptions();
    fs::create_directories(dir_);
    sink_ = CreateFileW(L"NUL", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    SetOutputHandleForTesting(sink_);
    InitChecksumBuffers();
    lstrcpyW(SearchFolder1, dir_.c_str());
    lstrcpyW(SearchFolder2, dir_.c_str());
  }
  void TearDown() override {
    RestoreFileSystemCalls();
    FreeChecksumBuffers();
    SetOutputHandleForTesting(GetStdHandle(STD_OUTPUT_HANDLE));
    CloseHandle(sink_);
    fs::remove_all(dir_);
  }
  void Write(const std::wstring& name, const std::string& content) {
    std::ofstream(fs::path(dir_ + name), std::ios::binary) << content;
  }
  std::string Content(const std::wstring& name) {
    std::ifstream in(fs::path(dir_ + name), std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<gone>";
  }
  // A record as the scan leaves it; its name is its own copy, which a delete empties.
  FileRecord Record(const std::wstring& name, uint32_t index) {
    names_.push_back(name);
    FileRecord record = {};
    record.dir = const_cast<wchar_t*>(dir_.c_str());
    record.name = const_cast<wchar_t*>(names_.back().c_str());
    record.size = static_cast<int64_t>(fs::file_size(dir_ + name));
    record.index = index;
    return record;
  }
  void Compare(FileRecord* a, FileRecord* b) { ComparePair(a, b, &tested_, &found_, &redundant_); }

  const std::wstring dir_ = fs::temp_directory_path() / (L"zav_pair_" + std::to_wstring(GetCurrentProcessId()) + L"\\");
  std::list<std::wstring> names_;
  HANDLE sink_ = INVALID_HANDLE_VALUE;
  int64_t tested_ = 0;
  int32_t found_ = 0;
  int64_t redundant_ = 0;
};

// Another process writes to a file of the pair between the byte check and the action: the hold refuses it,
// so what goes is what was compared.
std::wstring g_written;
DWORD g_writeError = 0;
void WriteBetweenCheckAndAction(const wchar_t* path1, const wchar_t* path2) {
  HANDLE file = CreateFileW(g_written == L"1" ? path1 : path2, GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  g_writeError = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  DWORD written = 0;
  if (file != INVALID_HANDLE_VALUE) WriteFile(file, "new!", 4, &written, nullptr), CloseHandle(file);
}

TEST_F(PairFiles, AWriteBetweenTheByteCheckAndTheActionIsRefused) {
  for (uint32_t action : {ActionDeleteFile2, ActionLinkFile2, ActionDeleteFile1, ActionRenameFile1}) {
    for (const wchar_t* written : {L"1", L"2"}) {
      SCOPED_TRACE(testing::Message() << action << " " << written[0]);
      Write(L"one", "same");
      Write(L"two", "same");
      RunOptions.Action = action;
      g_written = written;
      FileSystem.AfterByteCheck = WriteBetweenCheckAndAction;
      FileRecord a = Record(L"one", 0), b = Record(L"two", 1);
      Compare(&a, &b);
      EXPECT_EQ(g_writeError, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
      // Whatever was done, "same" is still on disk and nothing else changed.
      std::string one = Content(L"one"), two = Content(L"two");
      EXPECT_TRUE(one == "same" || two == "same") << one << " " << two;
      EXPECT_TRUE((one == "same" || one == "<gone>") && (two == "same" || two == "<gone>")) << one << " " << two;
    }
  }
}

// Files of other volumes can carry equal indexes: here every file shows index 7, and the volume serial tells
// them apart (it is the real index, so each file lies on a volume of its own).
NTSTATUS NTAPI IndexSeven(HANDLE file, PIO_STATUS_BLOCK status, PVOID information, ULONG bytes,
                          FILE_INFORMATION_CLASS type) {
  NTSTATUS result = NtQueryInformationFile(file, status, information, bytes, type);
  if (type == FileInternalInformation) static_cast<FILE_INTERNAL_INFORMATION*>(information)->IndexNumber.QuadPart = 7;
  return result;
}
NTSTATUS NTAPI SerialFromIndex(HANDLE file, PIO_STATUS_BLOCK status, PVOID information, ULONG bytes,
                               FS_INFORMATION_CLASS type) {
  NTSTATUS result = NtQueryVolumeInformationFile(file, status, information, bytes, type);
  FILE_INTERNAL_INFORMATION internal;
  IO_STATUS_BLOCK io;
  NtQueryInformationFile(file, &io, &internal, sizeof internal, FileInternalInformation);
  static_cast<FILE_FS_VOLUME_INFORMATION*>(information)->VolumeSerialNumber = internal.IndexNumber.LowPart;
  return result;
}

TEST_F(PairFiles, EqualIndexesOnTwoVolumesAreTwoFiles) {
  FileSystem.QueryInformation = IndexSeven;
  FileSystem.QueryVolumeInformation = SerialFromIndex;
  RunOptions.SameVolume = 1;
  Write(L"a", "mine");
  ASSERT_TRUE(CreateHardLinkW((dir_ + L"c").c_str(), (dir_ + L"a").c_str(), nullptr));
  Write(L"b", "else");
  Write(L"d", "mine");
  FileRecord records[] = {Record(L"a", 0), Record(L"b", 1), Record(L"c", 2), Record(L"d", 3)};
  ResolveLinkGroup(records, 4, &records[0]);
  EXPECT_EQ(*records[0].groupCount, 2u) << "b has the index of a, on another volume";
  EXPECT_EQ(records[1].linkState, 0);
  // Two names of one file stay one file; b is no further name of a, and d is a copy of it.
  for (FileRecord* record : {&records[1], &records[3]}) ResolveLinkGroup(records, 4, record);
  EXPECT_EQ(HasEqualFileIndex(&records[0], &records[2]), 1);
  EXPECT_EQ(HasEqualFileIndex(&records[0], &records[1]), 0);
  RunOptions.FindHardlinks1 = RunOptions.FindHardlinks2 = 1;
  RunOptions.Action = ActionDeleteFile1;
  Compare(&records[1], &records[0]);
  EXPECT_EQ(Content(L"b"), "else");
  Compare(&records[0], &records[3]);
  EXPECT_EQ(Content(L"a"), "<gone>");
  EXPECT_EQ(Content(L"c"), "mine");
  EXPECT_EQ(Content(L"d"), "mine");
}

// Two files whose test blocks differ but share a CRC-64: never a pair, read one after the other or at once.
TEST_F(PairFiles, TestBlocksWithACollidingChecksumAreCompared) {
  std::string first(300000, 0);
  std::mt19937 random(1);
  for (char& c : first) c = static_cast<char>(random());
  for (size_t offset : {size_t{100}, size_t{150000}, size_t{299000}}) {
    std::string second = first;
    for (size_t i = 0; i < sizeof kCollider; ++i) second[offset + i] ^= static_cast<char>(kCollider[i]);
    for (int parallel : {0, 1}) {
      for (uint32_t action : {ActionReport, ActionDeleteFile2, ActionLinkFile1}) {
        Write(L"first", first);
        Write(L"second", second);
        RunOptions.TestBlockSize = 8192;
        RunOptions.ParallelRead = parallel;
        RunOptions.Action = action;
        FileRecord a = Record(L"first", 0), b = Record(L"second", 1);
        found_ = 0;
        Compare(&a, &b);
        EXPECT_EQ(a.checksum, b.checksum);
        EXPECT_EQ(found_, 0) << offset << " " << parallel << " " << action;
        EXPECT_EQ(Content(L"second"), second);
        EXPECT_EQ(Content(L"first"), first);
      }
    }
  }
}
}  // namespace
