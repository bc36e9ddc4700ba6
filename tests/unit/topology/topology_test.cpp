// Drive topology: Wine's C: and Z: are real; disks, substitutions, encryption and VirtDisk are faked.
#include <windows.h>
#include <winioctl.h>
#include <virtdisk.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <tuple>

#include "console/status_line.h"
#include "pool/scanner.h"
#include "run/process_setup.h"
#include "run/run_main.h"
#include "topology/device_queries.h"
#include "topology/drive_identity.h"
#include "topology/encrypted_volume.h"
#include "topology/wide_text.h"
#include "../test_support.h"

namespace {
struct FakeMachine {
  std::map<std::wstring, int32_t> disks;                                 // \\?\Volume{...} -> disk number
  std::map<std::wstring, std::pair<std::wstring, std::wstring>> images = {  // disk device -> host, file; 4 on Z:
      {L"\\\\.\\PhysicalDrive3", {L"C:\\", L"\\v.vhdx"}}, {L"\\\\.\\PhysicalDrive4", {L"Z:\\", L"\\w.vhdx"}}};
  std::map<std::wstring, std::wstring> dosNames;  // S: -> \??\Z:\tmp; the rest is Wine's
  std::vector<BYTE> trueCryptList;                // the encryption driver, absent when empty
} Machine;

// A handle is the path the device was opened with.
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
  const std::wstring& path = *static_cast<std::wstring*>(handle);
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

DWORD WINAPI FakeGetStorageDependencyInformation(HANDLE disk, GET_STORAGE_DEPENDENCY_FLAG, ULONG,
                                                 PSTORAGE_DEPENDENCY_INFO reply, PULONG used) {
  const std::wstring& path = *static_cast<std::wstring*>(disk);
  if (!Machine.images.count(path)) return ERROR_FILE_NOT_FOUND;
  *used = 0;
  reply->NumberEntries = 1;
  reply->Version2Entries[0].HostVolumeName = &Machine.images[path].first[0];
  reply->Version2Entries[0].DependentVolumeRelativePath = &Machine.images[path].second[0];
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

CapturedOutput* Output = nullptr;  // what the run in progress has printed

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
               GetVolumeNameForVolumeMountPointW, FakeLoadLibrary, FakeGetProcAddress, NoPause, GetVolumeInformationW};
  }
  void PutZOnDisk(int32_t disk) { Machine.disks = {{volumeC, 0}, {volumeZ, disk}}; }
  wchar_t volumeC[64] = {}, volumeZ[64] = {};
};

TEST_F(Topology, ResolvesEveryKindOfVolumeToItsDrive) {
  wchar_t out[260] = L"untouched";
  int32_t identity = -1;
  EXPECT_EQ(0, ResolveEncryptedVolume(L"\\\\?\\M:\\secret", out, &identity));  // no driver: nothing to follow
  EXPECT_TRUE(out == std::wstring(L"untouched") && identity == -1);
  Machine.dosNames = {{L"S:", L"\\??\\Z:\\tmp"}, {L"T:", L"\\??\\U:\\"}, {L"U:", L"\\??\\T:\\loop"}};
  MountEncrypted(L'M', L"\\??\\Z:\\vaults\\m.hc");
  MountEncrypted(L'P', L"\\Device\\Harddisk5\\Partition1");
  const std::tuple<int32_t, std::wstring, DriveId> cases[] = {  // disk of Z:, path, identity
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
  for (const auto& [diskOfZ, path, expected] : cases) {
    PutZOnDisk(diskOfZ);
    EXPECT_EQ(expected, GetPhysicalDriveId(path.c_str())) << path.c_str();
  }
  EXPECT_EQ(0, ResolveSubstDrive((L"\\\\?\\S:\\" + std::wstring(250, L'x')).c_str(), out));  // would not fit
  // Network paths are read one after the other, and beside a local disk at once.
  CapturedOutput output;
  EXPECT_EQ(1, IsSamePhysicalDrive(L"\\\\server\\a\\", L"\\\\other\\b\\"));
  EXPECT_EQ(0, IsSamePhysicalDrive(L"\\\\server\\a\\", L"C:\\b\\"));
  EXPECT_EQ(output.Text(), std::string(kSame) + kDifferent);
}

// Holds the first caller until a second arrives: getting through proves two threads were inside at once.
struct Meeting {
  HANDLE bothIn = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  volatile LONG arrivals = 0;
  bool met = false;
  void Arrive() {
    if (InterlockedIncrement(&arrivals) == 1) met = WaitForSingleObject(bothIn, 30000) == WAIT_OBJECT_0;
    else SetEvent(bothIn);
  }
};

// One run's scans and checksum reads, held at a meeting when the run reads two drives at once.
struct RunWatch {
  Meeting scans, checksums;
  volatile LONG counts = 0;
  std::string printedAtFirstCount;
} * Watch;

void WatchScanner(uint32_t, const wchar_t*) {
  if (InterlockedIncrement(&Watch->counts) == 1) Watch->printedAtFirstCount = Output->Text();
  if (RunOptions.ParallelRead) Watch->scans.Arrive();
}

HANDLE WINAPI WatchOpen(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                        DWORD flags, HANDLE templateFile) {
  if ((flags & FILE_FLAG_NO_BUFFERING) && RunOptions.ParallelRead) Watch->checksums.Arrive();  // a checksum's reads
  return CreateFileW(path, access, share, security, disposition, flags, templateFile);
}

// On two disks both labels come before either scan, and scans and pair reads run on two threads at once. The
// 32-bit exe on 64-bit Windows has system32 redirected per thread: read by those threads, the notepad.exe named
// in system32 must be the real (64-bit) one the main thread copied; the 64-bit exe is never redirected.
TEST_F(Topology, TwoDrivesWorkOnTwoThreadsAndPrintWhatOneDrivePrints) {
  DisableWow64Redirection();  // as the run does first: the copy below is then of the real file
  const std::wstring name = L"zav-parallel-" + std::to_wstring(GetCurrentProcessId());
  const std::filesystem::path folders[] = {L"C:\\" + name, L"Z:\\tmp\\" + name};
  const std::tuple<int, const wchar_t*, char> files[] = {{0, L"same", 1}, {0, L"differs", 3}, {0, L"one", 4},
                                                         {1, L"copy", 1}, {1, L"copy2", 1}, {1, L"differs", 5}};
  for (auto [pool, file, seed] : files) PutFile(folders[pool] / file, std::string(seed == 4 ? 123 : 20000, seed));
  const wchar_t* notepad = L"C:\\windows\\system32\\notepad.exe";
  ASSERT_TRUE(CopyFileW(notepad, (folders[1] / L"notepad.exe").c_str(), FALSE));
  // whole files, test blocks, the system folder's notepad.exe beside the folder on Z:; -n again for no option
  const std::tuple<bool, const wchar_t*, const char*> cases[] = {
      {false, L"-n", "\r\nsame == copy\r\nsame == copy2\r\n"},
      {false, L"-t:8K", "\r\nsame == copy\r\nsame == copy2\r\n"},
      {true, L"-n", "\r\nnotepad.exe == notepad.exe\r\n"}};
  for (const auto& [systemFolder, option, pairs] : cases) {
    SCOPED_TRACE(testing::Message() << systemFolder << " " << option);
    RunWatch watch[2];
    std::string text[2];
    for (int32_t disk : {0, 1}) {
      PutZOnDisk(disk);
      ResetRunOptions();
      Watch = &watch[disk];
      ConsoleScreen.ShownAt = WatchScanner;
      FileSystem.Open = WatchOpen;
      Argv args({L"zav.exe", systemFolder ? notepad : folders[0].wstring(), folders[1], L"-n", option});
      CapturedOutput output;
      Output = &output;
      EXPECT_EQ(0, RunMain(args.Count(), args.Data()));
      text[disk] = output.Text().substr(0, output.Text().rfind(" in "));  // the duration differs
    }
    size_t verdictAt = text[0].find(kSame);  // the only line that differs
    EXPECT_NE(std::string::npos, verdictAt) << text[0];
    if (verdictAt != std::string::npos) text[0].replace(verdictAt, strlen(kSame), kDifferent);
    EXPECT_EQ(text[0], text[1]);
    EXPECT_NE(std::string::npos, text[1].find(pairs)) << text[1];
    EXPECT_EQ(std::string::npos, watch[0].printedAtFirstCount.find("scanning file pool 2: "));
    EXPECT_NE(std::string::npos, watch[1].printedAtFirstCount.find("scanning file pool 2: "));
    EXPECT_TRUE(watch[1].scans.met && watch[1].checksums.met);
  }
  for (const auto& folder : folders) std::filesystem::remove_all(folder);
}

// Each text stands in a buffer of exactly capacity units with 16 guard units behind it that must stay untouched.
TEST(WideText, ReplaceAllNoCaseNeverOutgrowsItsBuffer) {
  constexpr int kLimit = 32768;
  const std::wstring x3(kLimit - 3, L'x'), x4(kLimit - 4, L'x'), a11(kLimit - 11, L'a'), a1(kLimit - 1, L'a');
  const std::wstring full(kLimit, L'a');
  const std::tuple<std::wstring, const wchar_t*, const wchar_t*, int, int, std::wstring> cases[] = {
      {L"abcABCabc", L"b", L"", 64, 3, L"acACac"},
      {L"aaa", L"aa", L"b", 64, 1, L"ba"},  // occurrences do not overlap
      {L"abc", L"", L"x", 64, 0, L"abc"},  // an empty search would never end
      {L"a:\\x", L"A:", L"\\\\s\\sh", 8, 0, L"a:\\x"},  // would fill the buffer to its last unit
      {L"a:\\x", L"A:", L"\\\\s\\sh", 9, 1, L"\\\\s\\sh\\x"},
      {x4 + L"a", L"a", L"bbb", kLimit, 1, x4 + L"bbb"},  // one unit below the limit: fits
      {x3 + L"a", L"a", L"bbb", kLimit + 100, 0, x3 + L"a"},  // a larger capacity is held to the limit
      {a11, L"a", L"bb", kLimit, 0, a11},                     // all or nothing
      {a1, L"a", L"", kLimit, kLimit - 1, L""},
      {full, L"a", L"b", kLimit + 1, 0, full},  // already past the limit
  };
  for (const auto& [before, find, replacement, capacity, count, expected] : cases) {
    std::vector<wchar_t> text(capacity + 16, 0xBEEF);
    std::copy(before.c_str(), before.c_str() + before.size() + 1, text.begin());
    EXPECT_EQ(count, ReplaceAllNoCase(text.data(), find, replacement, capacity)) << before.size();
    EXPECT_EQ(expected, text.data());
    EXPECT_EQ(16, std::count(text.begin() + capacity, text.end(), 0xBEEF));
  }
}
}  // namespace
