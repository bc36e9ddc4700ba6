// The physical drive behind a path, the run driver's verdict and the text helpers. Wine's C: and Z: are real
// volumes; their disks, substituted drives, the encryption driver and VirtDisk are made up behind the seam.
#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>
#include <virtdisk.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "console/output.h"
#include "console/status_line.h"
#include "pool/scanner.h"
#include "run/options.h"
#include "run/process_setup.h"
#include "run/run_main.h"
#include "seam/file_system.h"
#include "topology/device_calls.h"
#include "topology/device_queries.h"
#include "topology/drive_identity.h"
#include "topology/encrypted_volume.h"
#include "topology/virtual_disk.h"
#include "topology/wide_text.h"

namespace {
struct FakeMachine {
  std::map<std::wstring, int32_t> disks;                                 // \\?\Volume{...} -> disk number
  std::map<std::wstring, std::pair<std::wstring, std::wstring>> images;  // \\.\PhysicalDriveN -> host, file
  ULONG replyBytes = 0;                           // asked for first when above the offered size
  std::map<std::wstring, std::wstring> dosNames;  // S: -> \??\Z:\tmp; the rest is Wine's
  std::vector<BYTE> trueCryptList;                // the encryption driver, absent when empty
  int dependencyCalls = 0;
} Machine;

// A handle is the path the device was opened with.
const std::wstring& PathOf(HANDLE handle) { return *static_cast<std::wstring*>(handle); }

HANDLE WINAPI FakeOpen(LPCWSTR path, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
  bool driver = lstrcmpW(path, L"\\\\.\\TrueCrypt") == 0 && !Machine.trueCryptList.empty();
  if (!driver && !Machine.disks.count(path) && !Machine.images.count(path)) return INVALID_HANDLE_VALUE;
  return new std::wstring(path);
}

BOOL WINAPI FakeClose(HANDLE handle) {
  delete static_cast<std::wstring*>(handle);
  return TRUE;
}

BOOL WINAPI FakeControl(HANDLE handle, DWORD code, LPVOID, DWORD, LPVOID out, DWORD, LPDWORD returned, LPOVERLAPPED) {
  const std::wstring& path = PathOf(handle);
  if (code == IOCTL_STORAGE_GET_DEVICE_NUMBER && Machine.disks.count(path)) {
    STORAGE_DEVICE_NUMBER reply = {FILE_DEVICE_DISK, static_cast<DWORD>(Machine.disks[path]), 1};
    memcpy(out, &reply, *returned = sizeof reply);
  } else if (code == IOCTL_STORAGE_QUERY_PROPERTY && Machine.images.count(path)) {
    memcpy(static_cast<BYTE*>(out) + 28, &kBusTypeFileBackedVirtual, *returned = 4);  // the descriptor's BusType
  } else if (code == kTrueCryptListCode && path == L"\\\\.\\TrueCrypt") {
    memcpy(out, Machine.trueCryptList.data(), *returned = kTrueCryptListBytes);
  } else {
    return FALSE;
  }
  return TRUE;
}

DWORD WINAPI FakeQueryDosDevice(LPCWSTR name, LPWSTR out, DWORD capacity) {
  if (!name || !Machine.dosNames.count(name)) return QueryDosDeviceW(name, out, capacity);
  lstrcpynW(out, Machine.dosNames[name].c_str(), int(capacity));
  return DWORD(lstrlenW(out) + 1);
}

void WINAPI NoPause(DWORD) {}
HMODULE WINAPI FakeLoadLibrary(LPCSTR) { return reinterpret_cast<HMODULE>(0x5000); }

DWORD WINAPI FakeGetStorageDependencyInformation(HANDLE disk, GET_STORAGE_DEPENDENCY_FLAG, ULONG bytes,
                                                 PSTORAGE_DEPENDENCY_INFO reply, PULONG used) {
  ++Machine.dependencyCalls;
  if (!Machine.images.count(PathOf(disk))) return ERROR_FILE_NOT_FOUND;
  *used = Machine.replyBytes;
  if (Machine.replyBytes > bytes) return ERROR_INSUFFICIENT_BUFFER;
  reply->NumberEntries = 1;
  reply->Version2Entries[0].HostVolumeName = &Machine.images[PathOf(disk)].first[0];
  reply->Version2Entries[0].DependentVolumeRelativePath = &Machine.images[PathOf(disk)].second[0];
  return ERROR_SUCCESS;
}

FARPROC WINAPI FakeGetProcAddress(HMODULE, LPCSTR) {  // every entry is there; only this one is called
  return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(FakeGetStorageDependencyInformation));
}

// Mounts an encrypted volume at a letter with the driver's host path (\??\Z:\c.hc, \Device\Harddisk5\...).
void MountEncrypted(wchar_t letter, const std::wstring& host) {
  Machine.trueCryptList.resize(kTrueCryptListBytes);
  Machine.trueCryptList[(letter - L'A') / 8] |= BYTE(1 << ((letter - L'A') % 8));
  memcpy(&Machine.trueCryptList[4 + 520 * (letter - L'A')], host.c_str(), (host.size() + 1) * sizeof(wchar_t));
}

HANDLE CaptureReader = nullptr;

// What the program has printed so far, in its redirected form.
std::string Captured() {
  char text[4096];
  DWORD size = 0;
  PeekNamedPipe(CaptureReader, text, sizeof text, &size, nullptr, nullptr);
  return std::string(text, size);
}

// What the program prints while body runs.
template <typename Body>
std::string Capture(Body body) {
  HANDLE writer;
  CreatePipe(&CaptureReader, &writer, nullptr, 1 << 16);
  SetOutputHandleForTesting(writer);
  body();
  SetOutputHandleForTesting(GetStdHandle(STD_OUTPUT_HANDLE));
  std::string text = Captured();
  CloseHandle(CaptureReader);
  CloseHandle(writer);
  return text;
}

const char kSame[] = "Files are located on the same physical drive -> sequential operation\r\n";
const char kDifferent[] = "Files are located on different physical drives -> parallel operation\r\n";

class Topology : public ::testing::Test {
 protected:
  void SetUp() override {
    SystemVersion = {0x1000, 0};
    Machine = FakeMachine();
    for (wchar_t* volume : {volumeC, volumeZ}) {
      GetVolumeNameForVolumeMountPointW(volume == volumeC ? L"C:\\" : L"Z:\\", volume, 64);
      StripTrailingChar(volume, L'\\');
    }
    Devices = {FakeOpen, FakeControl, FakeClose, FakeQueryDosDevice, GetVolumePathNameW, GetDriveTypeW,
               GetVolumeNameForVolumeMountPointW, FakeLoadLibrary, FakeGetProcAddress, NoPause};
    Machine.images = {{L"\\\\.\\PhysicalDrive3", {L"C:\\", L"\\images\\v.vhdx"}},
                      {L"\\\\.\\PhysicalDrive4", {L"Z:\\", L"\\w.vhdx"}}};  // an image on Z: itself
    ForgetVirtDisk();
  }
  void TearDown() override {
    RestoreDeviceCalls();
    ForgetVirtDisk();
  }
  void PutZOnDisk(int32_t disk) { Machine.disks = {{volumeC, 0}, {volumeZ, disk}}; }
  wchar_t volumeC[64] = {}, volumeZ[64] = {};
};

TEST_F(Topology, ResolvesEveryKindOfVolumeToItsDrive) {
  Machine.dosNames = {{L"S:", L"\\??\\Z:\\tmp"}, {L"T:", L"\\??\\U:\\"}, {L"U:", L"\\??\\T:\\loop"}};
  MountEncrypted(L'M', L"\\??\\Z:\\vaults\\m.hc");
  MountEncrypted(L'P', L"\\Device\\Harddisk5\\Partition1");
  struct Case {
    int32_t diskOfZ;
    std::wstring path;
    DriveId expected;
  } cases[] = {
      {1, L"\\\\?\\C:\\data\\", 0},
      {0, L"\\\\?\\Z:\\tmp\\", 0},   // another partition of disk 0
      {1, L"\\\\?\\S:\\data\\", 1},  // substituted drive: its target's disk
      {2, L"s:\\data\\", 2},
      {1, L"\\\\?\\T:\\", -1},  // substitutions in a ring end unresolved
      {1, L"\\\\server\\share\\dir\\", -2},
      {1, L"\\\\?\\S:\\" + std::wstring(300, L'x') + L"\\", 1},  // too long to copy: its volume root decides
      {3, L"\\\\?\\Z:\\inside\\", 0},  // inside a virtual disk whose file lies on disk 0
      {4, L"\\\\?\\Z:\\", -1},         // a virtual disk inside itself
      {6, L"\\\\?\\M:\\secret\\", 6},  // encrypted container file on Z:
      {1, L"\\\\?\\P:\\", 5},          // encrypted partition of disk 5
  };
  for (const Case& c : cases) {
    PutZOnDisk(c.diskOfZ);
    EXPECT_EQ(c.expected, GetPhysicalDriveId(c.path.c_str())) << c.path.c_str();
  }
  wchar_t out[260];
  EXPECT_EQ(0, ResolveSubstDrive((L"\\\\?\\S:\\" + std::wstring(250, L'x')).c_str(), out));  // would not fit
}

TEST_F(Topology, WithoutTheDriverOrOn32BitNothingIsFollowed) {
  PutZOnDisk(3);
  wchar_t out[260] = L"untouched";
  int32_t identity = -1;
  for (const wchar_t* path : {L"\\\\?\\M:\\secret", L"P:\\", L"\\\\?\\Z:\\"})
    EXPECT_EQ(0, ResolveEncryptedVolume(path, out, &identity)) << path;
  EXPECT_STREQ(L"untouched", out);
  EXPECT_EQ(-1, identity);
  SystemVersion.IsWow64 = 1;
  EXPECT_EQ(3, GetPhysicalDriveId(L"\\\\?\\Z:\\inside\\"));
  EXPECT_EQ(0, Machine.dependencyCalls);
}

TEST_F(Topology, DependencyRepliesOfEverySize) {
  struct Case {
    const wchar_t *host, *relative, *expected;
    ULONG bytesNeeded;
    int calls;
  } cases[] = {
      {L"\\\\?\\Volume{g}\\", L"\\images\\v.vhdx", L"\\\\?\\Volume{g}\\images\\v.vhdx", 0, 1},
      {L"\\\\?\\Volume{g}", L"\\images\\v.vhdx", L"\\\\?\\Volume{g}\\images\\v.vhdx", 0, 1},
      {L"\\\\?\\Volume{g}\\", L"\\big.vhdx", L"\\\\?\\Volume{g}\\big.vhdx", 1048576, 2},
      {L"\\\\?\\Volume{g}\\", L"\\huge.vhdx", L"", 1048577, 1},  // more than 1 MiB is not believed
  };
  PutZOnDisk(1);
  for (const Case& c : cases) {
    Machine.images[L"\\\\.\\PhysicalDrive3"] = {c.host, c.relative};
    Machine.replyBytes = c.bytesNeeded;
    Machine.dependencyCalls = 0;
    wchar_t out[260] = L"x";
    EXPECT_EQ(c.expected[0] != 0, GetVirtualDiskHostPath(L"\\\\.\\PhysicalDrive3", out, 260)) << c.bytesNeeded;
    EXPECT_STREQ(c.expected, out);
    EXPECT_EQ(c.calls, Machine.dependencyCalls) << c.bytesNeeded;
  }
}

// Holds the first caller until a second arrives: getting through proves two threads were inside at once.
struct Meeting {
  HANDLE bothIn = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  volatile LONG arrivals = 0;
  bool met = false;
  void Arrive() {
    LONG order = InterlockedIncrement(&arrivals);
    if (order == 2) SetEvent(bothIn);
    if (order == 1) met = WaitForSingleObject(bothIn, 30000) == WAIT_OBJECT_0;
  }
};

// Which threads scanned and read during one run, and what was printed when the first count came.
struct RunWatch {
  bool hold = false;
  Meeting scans, checksums;
  std::set<DWORD> scanThreads, checksumThreads;
  std::multiset<std::wstring> checksumPaths;
  std::string printedAtFirstCount;
} * Watch;
CRITICAL_SECTION WatchLock;

void WatchScanner(uint32_t, const wchar_t*, ...) {
  EnterCriticalSection(&WatchLock);
  if (Watch->scanThreads.empty()) Watch->printedAtFirstCount = Captured();
  Watch->scanThreads.insert(GetCurrentThreadId());
  LeaveCriticalSection(&WatchLock);
  if (Watch->hold) Watch->scans.Arrive();
}

HANDLE WINAPI WatchOpen(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                        DWORD flags, HANDLE templateFile) {
  if (flags & FILE_FLAG_NO_BUFFERING) {  // the checksum's reads
    EnterCriticalSection(&WatchLock);
    Watch->checksumThreads.insert(GetCurrentThreadId());
    Watch->checksumPaths.insert(path);
    LeaveCriticalSection(&WatchLock);
    if (Watch->hold) Watch->checksums.Arrive();
  }
  return CreateFileW(path, access, share, security, disposition, flags, templateFile);
}

std::string WithoutLine(std::string text, const char* start) {
  size_t at = text.find(start);
  return at == std::string::npos ? text : text.erase(at, text.find("\r\n", at) + 2 - at);
}

// Pool 1 on C:, pool 2 on Z:, with copies across them, equal sizes of other content and sizes on one side only.
// On one disk both are scanned and read one after the other; on two, both labels come before either scan,
// the scans run on two threads at once and the files of a pair are read on two threads at once. Either way
// the same lines are printed but for the verdict.
class ParallelRun : public Topology, public ::testing::WithParamInterface<const wchar_t*> {};

TEST_P(ParallelRun, TwoDrivesWorkOnTwoThreadsAndPrintWhatOneDrivePrints) {
  std::wstring suffix = L"zav-parallel-" + std::to_wstring(GetCurrentProcessId());
  std::wstring folders[] = {L"C:\\" + suffix, L"Z:\\tmp\\" + suffix};
  const std::pair<std::wstring, int> files[] = {{L"0\\same", 1}, {L"0\\differs", 3}, {L"0\\one", 4},
                                                {L"1\\copy", 1}, {L"1\\copy2", 1}, {L"1\\differs", 5}};
  for (const auto& folder : folders) CreateDirectoryW(folder.c_str(), nullptr);
  for (const auto& [name, seed] : files) {
    std::string bytes(seed == 4 ? 123 : 20000, char(seed));
    HANDLE f = CreateFileW((folders[name[0] - L'0'] + name.substr(1)).c_str(), GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, 0, nullptr);
    DWORD written;
    WriteFile(f, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(f);
  }
  InitializeCriticalSection(&WatchLock);
  RunWatch watch[2];
  std::string text[2];
  for (int32_t disk : {0, 1}) {
    PutZOnDisk(disk);
    ResetRunOptions();
    Watch = &watch[disk];
    watch[disk].hold = disk == 1;
    ScanPrintAt = WatchScanner;
    FileSystem.Open = WatchOpen;
    std::wstring program = L"zav.exe", noWait = L"-n", extra = GetParam();
    std::vector<wchar_t*> argv = {&program[0], &folders[0][0], &folders[1][0], &noWait[0]};
    if (!extra.empty()) argv.push_back(&extra[0]);
    text[disk] = Capture([&] { EXPECT_EQ(0, RunMain(int(argv.size()), argv.data())); });
    ScanPrintAt = PrintAt;
    RestoreFileSystemCalls();
    EXPECT_EQ(disk, RunOptions.ParallelRead);
    EXPECT_NE(std::string::npos, text[disk].find(disk ? kDifferent : kSame)) << text[disk];
    text[disk] = WithoutLine(WithoutLine(text[disk], "Files are located on "), "ZAV V");
    text[disk] = text[disk].substr(0, text[disk].rfind(" in "));  // the duration differs
  }
  DeleteCriticalSection(&WatchLock);
  for (const auto& [name, seed] : files) DeleteFileW((folders[name[0] - L'0'] + name.substr(1)).c_str());
  for (const auto& folder : folders) RemoveDirectoryW(folder.c_str());

  EXPECT_EQ(text[0], text[1]);
  EXPECT_NE(std::string::npos, text[1].find("Matching 3 with 3 files...\r\nsame == copy\r\nsame == copy2\r\n"))
      << text[1];
  EXPECT_EQ(std::string::npos, watch[0].printedAtFirstCount.find("scanning file pool 2: "));
  EXPECT_NE(std::string::npos, watch[1].printedAtFirstCount.find("scanning file pool 2: "));
  DWORD mainThread = GetCurrentThreadId();
  EXPECT_TRUE(watch[1].scans.met && watch[1].checksums.met);
  EXPECT_EQ(2u, watch[1].scanThreads.size());
  EXPECT_EQ(0u, watch[1].scanThreads.count(mainThread) + watch[1].checksumThreads.count(mainThread));
  EXPECT_EQ(std::set<DWORD>{mainThread}, watch[0].checksumThreads);
  EXPECT_EQ(watch[0].checksumPaths, watch[1].checksumPaths);
}

// Whole-file checksums, and test blocks.
INSTANTIATE_TEST_SUITE_P(Checksums, ParallelRun, ::testing::Values(L"", L"-t:8K"));

TEST_F(Topology, NetworkPathsAreReadOneAfterTheOtherAndBesideALocalDiskAtOnce) {
  EXPECT_EQ(kSame, Capture([] { EXPECT_EQ(1, IsSamePhysicalDrive(L"\\\\server\\a\\", L"\\\\other\\b\\")); }));
  EXPECT_EQ(kDifferent, Capture([] { EXPECT_EQ(0, IsSamePhysicalDrive(L"\\\\server\\a\\", L"C:\\b\\")); }));
}

constexpr int kLimit = 32768;  // the text helpers must not write past a buffer even at this length

// The text in a buffer of exactly capacity units, followed by guard units that must stay untouched.
std::vector<wchar_t> Guarded(const std::wstring& text, int capacity) {
  std::vector<wchar_t> units(capacity + 16, 0xBEEF);
  std::copy(text.c_str(), text.c_str() + text.size() + 1, units.begin());
  return units;
}
bool GuardIntact(const std::vector<wchar_t>& units, int capacity) {
  return std::all_of(units.begin() + capacity, units.end(), [](wchar_t c) { return c == 0xBEEF; });
}

TEST(WideText, StartsWithNoCase) {
  const std::wstring full(kLimit - 1, L'a'), longer = full + L"a";
  struct Case {
    const wchar_t *text, *prefix;
    bool expected;
  } cases[] = {
      {L"\\device\\floppy0", L"\\Device\\Floppy", true}, {L"abc", L"abc", true}, {L"abc", L"", false},
      {L"", L"", false}, {L"ab", L"abc", false}, {L"xabc", L"abc", false}, {nullptr, L"a", false},
      {L"a", nullptr, false}, {full.c_str(), full.c_str(), true}, {full.c_str(), longer.c_str(), false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, StartsWithNoCase(c.text, c.prefix)) << c.text << L"|" << c.prefix;
}

TEST(WideText, CutAfterNthChar) {
  const std::wstring full = std::wstring(kLimit - 2, L'a') + L"\\";
  struct Case {
    std::wstring text, expected;
    int n, result;
  } cases[] = {
      {L"\\\\server\\share\\dir\\x", L"\\\\server\\share\\", 4, 1},
      {L"\\\\server\\share", L"\\\\server\\share", 4, 0},  // fewer than n: unchanged
      {L"a\\b\\", L"a\\b\\", 2, 1},                      // the last character: nothing after it to cut
      {full, full, 1, 1},
  };
  for (const Case& c : cases) {
    std::vector<wchar_t> text = Guarded(c.text, int(c.text.size()) + 1);
    EXPECT_EQ(c.result, CutAfterNthChar(text.data(), L'\\', c.n)) << c.text.size() << L" " << c.n;
    EXPECT_EQ(c.expected, text.data());
    EXPECT_TRUE(GuardIntact(text, int(c.text.size()) + 1));
  }
}

TEST(WideText, ReplaceAllNoCaseNeverOutgrowsItsBuffer) {
  const std::wstring x3(kLimit - 3, L'x'), x4(kLimit - 4, L'x'), a11(kLimit - 11, L'a'), a1(kLimit - 1, L'a');
  const std::wstring full(kLimit, L'a');
  struct Case {
    std::wstring text;
    const wchar_t *find, *replacement;
    int capacity, count;
    std::wstring expected;
  } cases[] = {
      {L"Z:\\docs", L"z:", L"\\\\server\\share", 64, 1, L"\\\\server\\share\\docs"},
      {L"abcABCabc", L"b", L"", 64, 3, L"acACac"},
      {L"aaa", L"aa", L"b", 64, 1, L"ba"},  // occurrences do not overlap
      {L"\x00e4\x00c4", L"\x00c4", L"o", 64, 2, L"oo"},
      {L"abc", L"", L"x", 64, 0, L"abc"},  // an empty search would never end
      {L"a:\\x", L"A:", L"\\\\s\\sh", 8, 0, L"a:\\x"},  // would fill the buffer to its last unit
      {L"a:\\x", L"A:", L"\\\\s\\sh", 9, 1, L"\\\\s\\sh\\x"},
      {x4 + L"a", L"a", L"bbb", kLimit, 1, x4 + L"bbb"},  // one unit below the limit: fits
      {x3 + L"a", L"a", L"bbb", kLimit, 0, x3 + L"a"},
      {x3 + L"a", L"a", L"bbb", kLimit + 100, 0, x3 + L"a"},  // a larger capacity is held to the limit
      {a11, L"a", L"bb", kLimit, 0, a11},                     // all or nothing
      {a1, L"a", L"", kLimit, kLimit - 1, L""},
      {full, L"a", L"b", kLimit + 1, 0, full},  // already past the limit
  };
  for (const Case& c : cases) {
    std::vector<wchar_t> text = Guarded(c.text, c.capacity);
    EXPECT_EQ(c.count, ReplaceAllNoCase(text.data(), c.find, c.replacement, c.capacity)) << c.text.size();
    EXPECT_EQ(c.expected, text.data());
    EXPECT_TRUE(GuardIntact(text, c.capacity));
  }
}
}  // namespace
