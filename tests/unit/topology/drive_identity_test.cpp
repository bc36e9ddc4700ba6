// The physical drive behind a path and the run driver's verdict. Wine's C: and Z: are real volumes; their
// disks, substituted drives, the encryption driver and VirtDisk are made up behind the device seam.
#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>
#include <virtdisk.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "console/output.h"
#include "run/options.h"
#include "run/process_setup.h"
#include "run/run_main.h"
#include "topology/device_calls.h"
#include "topology/drive_identity.h"
#include "topology/encrypted_volume.h"
#include "topology/virtual_disk.h"
#include "topology/wide_text.h"

namespace {
struct Dependency {
  std::wstring host, relative;  // HostVolumeName, DependentVolumeRelativePath
  ULONG bytesNeeded;            // a larger reply is asked for first when above the offered size
};
struct FakeMachine {
  std::map<std::wstring, int32_t> disks;          // \\?\Volume{...} -> disk number
  std::map<std::wstring, uint32_t> busTypes;      // \\.\PhysicalDriveN, \\.\CdRomN -> bus type
  std::map<std::wstring, Dependency> images;      // \\.\PhysicalDriveN -> its image file
  std::map<std::wstring, std::wstring> dosNames;  // S: -> \??\Z:\tmp; the rest is Wine's
  std::vector<BYTE> trueCryptList;                // the encryption driver, absent when empty
  bool virtDisk = true;
  std::vector<std::wstring> opened;
  int dependencyCalls = 0;
} Machine;

template <typename Value>
const Value* Find(const std::map<std::wstring, Value>& table, const std::wstring& key) {
  auto entry = table.find(key);
  return entry == table.end() ? nullptr : &entry->second;
}
const std::wstring* PathOf(HANDLE handle) {
  size_t index = reinterpret_cast<uintptr_t>(handle) - 0x7000;
  return index < Machine.opened.size() ? &Machine.opened[index] : nullptr;
}

HANDLE WINAPI FakeOpen(LPCWSTR path, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
  bool driver = lstrcmpW(path, L"\\\\.\\TrueCrypt") == 0 && !Machine.trueCryptList.empty();
  if (!driver && !Find(Machine.disks, path) && !Find(Machine.busTypes, path)) return INVALID_HANDLE_VALUE;
  Machine.opened.push_back(path);
  return reinterpret_cast<HANDLE>(uintptr_t(0x7000) + Machine.opened.size() - 1);
}

BOOL WINAPI FakeControl(HANDLE handle, DWORD code, LPVOID, DWORD, LPVOID out, DWORD, LPDWORD returned, LPOVERLAPPED) {
  const std::wstring* path = PathOf(handle);
  const int32_t* disk = path ? Find(Machine.disks, *path) : nullptr;
  const uint32_t* bus = path ? Find(Machine.busTypes, *path) : nullptr;
  if (code == IOCTL_STORAGE_GET_DEVICE_NUMBER && disk) {
    STORAGE_DEVICE_NUMBER reply = {FILE_DEVICE_DISK, static_cast<DWORD>(*disk), 1};
    memcpy(out, &reply, *returned = sizeof reply);
  } else if (code == IOCTL_STORAGE_QUERY_PROPERTY && bus) {
    memcpy(static_cast<BYTE*>(out) + 28, bus, *returned = 4);  // STORAGE_DEVICE_DESCRIPTOR.BusType
  } else if (code == kTrueCryptListCode && path && !disk && !bus) {
    memcpy(out, Machine.trueCryptList.data(), *returned = kTrueCryptListBytes);
  } else {
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI FakeClose(HANDLE handle) { return PathOf(handle) != nullptr; }
void WINAPI NoPause(DWORD) {}

DWORD WINAPI FakeQueryDosDevice(LPCWSTR name, LPWSTR out, DWORD capacity) {
  const std::wstring* target = name ? Find(Machine.dosNames, name) : nullptr;
  if (!target) return QueryDosDeviceW(name, out, capacity);
  memcpy(out, target->c_str(), (target->size() + 1) * sizeof(wchar_t));
  out[target->size() + 1] = 0;
  return DWORD(target->size() + 2);
}

HMODULE WINAPI FakeLoadLibrary(LPCSTR) { return Machine.virtDisk ? reinterpret_cast<HMODULE>(0x5000) : nullptr; }

DWORD WINAPI FakeGetStorageDependencyInformation(HANDLE disk, GET_STORAGE_DEPENDENCY_FLAG, ULONG bytes,
                                                 PSTORAGE_DEPENDENCY_INFO reply, PULONG used) {
  ++Machine.dependencyCalls;
  const Dependency* image = PathOf(disk) ? Find(Machine.images, *PathOf(disk)) : nullptr;
  if (!image) return ERROR_FILE_NOT_FOUND;
  if (image->bytesNeeded > bytes) return *used = image->bytesNeeded, ERROR_INSUFFICIENT_BUFFER;
  reply->NumberEntries = 1;
  reply->Version2Entries[0].HostVolumeName = const_cast<PWSTR>(image->host.c_str());
  reply->Version2Entries[0].DependentVolumeRelativePath = const_cast<PWSTR>(image->relative.c_str());
  return ERROR_SUCCESS;
}

FARPROC WINAPI FakeGetProcAddress(HMODULE, LPCSTR name) {  // the entries not called here are there too
  bool dependency = strcmp(name, "GetStorageDependencyInformation") == 0;
  return reinterpret_cast<FARPROC>(dependency ? reinterpret_cast<void*>(FakeGetStorageDependencyInformation)
                                              : reinterpret_cast<void*>(NoPause));
}

// Mounts an encrypted volume at a letter with the driver's host path (\??\Z:\c.hc, \Device\Harddisk5\...).
void MountEncrypted(wchar_t letter, const std::wstring& host) {
  Machine.trueCryptList.resize(kTrueCryptListBytes);
  Machine.trueCryptList[(letter - L'A') / 8] |= BYTE(1 << ((letter - L'A') % 8));
  memcpy(&Machine.trueCryptList[4 + 520 * (letter - L'A')], host.c_str(), (host.size() + 1) * sizeof(wchar_t));
}

// What the program prints, in its redirected form, while body runs.
template <typename Body>
std::string Capture(Body body) {
  HANDLE reader, writer;
  CreatePipe(&reader, &writer, nullptr, 1 << 16);
  SetOutputHandleForTesting(writer);
  body();
  SetOutputHandleForTesting(GetStdHandle(STD_OUTPUT_HANDLE));
  DWORD size = 0;
  PeekNamedPipe(reader, nullptr, 0, nullptr, &size, nullptr);
  std::string text(size + 1, 0);
  ReadFile(reader, &text[0], size, &size, nullptr);
  CloseHandle(reader), CloseHandle(writer);
  return text.substr(0, size);
}

const char kSame[] = "Files are located on the same physical drive -> sequential operation\r\n";
const char kDifferent[] = "Files are located on different physical drives -> parallel operation\r\n";

class Topology : public ::testing::Test {
 protected:
  void SetUp() override {
    saved = SystemVersion;
    SystemVersion = {0x1000, 0};
    Machine = FakeMachine();
    GetVolumeNameForVolumeMountPointW(L"C:\\", volumeC, 64);
    GetVolumeNameForVolumeMountPointW(L"Z:\\", volumeZ, 64);
    StripTrailingChar(volumeC, L'\\'), StripTrailingChar(volumeZ, L'\\');
    Devices = {FakeOpen, FakeControl, FakeClose, FakeQueryDosDevice, GetVolumePathNameW, GetDriveTypeW,
               GetVolumeNameForVolumeMountPointW, FakeLoadLibrary, FakeGetProcAddress, NoPause};
    ForgetVirtDisk();
  }
  void TearDown() override {
    RestoreDeviceCalls(), ForgetVirtDisk(), ResetRunOptions();
    SystemVersion = saved;
  }
  // C: on disk 0 and Z: on the disk given; disk 3 is an image file on C:, disk 4 one on Z: itself.
  void PutZOnDisk(int32_t disk) {
    Machine.disks = {{volumeC, 0}, {volumeZ, disk}};
    Machine.busTypes = {{L"\\\\.\\PhysicalDrive3", 15}, {L"\\\\.\\PhysicalDrive4", 15}};
    Machine.images = {{L"\\\\.\\PhysicalDrive3", {L"C:\\", L"\\images\\v.vhdx", 0}},
                      {L"\\\\.\\PhysicalDrive4", {L"Z:\\", L"\\w.vhdx", 0}}};
  }
  SystemVersionRecord saved;
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
      {0, L"\\\\?\\Z:\\tmp\\", 0},  // another partition of disk 0
      {1, L"\\\\?\\S:\\data\\", 1},  // substituted drive: its target's disk
      {2, L"s:\\data\\", 2},
      {1, L"\\\\?\\T:\\", -1},  // substitutions in a ring end unresolved
      {1, L"\\\\?\\Q:\\nothing\\", -1},
      {1, L"\\\\server\\share\\dir\\", -2},
      {1, L"\\\\?\\Z:\\" + std::wstring(300, L'x') + L"\\", 1},  // too long to copy: its volume root decides
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

TEST_F(Topology, SameDriveVerdictAndItsLine) {
  struct Case {
    int32_t diskOfZ;
    const wchar_t* path1;
    const wchar_t* path2;
    const char* line;
  } cases[] = {
      {0, L"\\\\?\\C:\\a\\", L"\\\\?\\Z:\\b\\", kSame},
      {1, L"\\\\?\\C:\\a\\", L"\\\\?\\Z:\\b\\", kDifferent},
      {1, L"\\\\server\\a\\", L"\\\\other\\b\\", kSame},
      {0, L"\\\\server\\a\\", L"\\\\?\\C:\\b\\", kDifferent},
  };
  for (const Case& c : cases) {
    PutZOnDisk(c.diskOfZ);
    EXPECT_EQ(c.line, Capture([&] { EXPECT_EQ(c.line == kSame, IsSamePhysicalDrive(c.path1, c.path2)); }));
  }
}

TEST_F(Topology, WithoutDriversOrOn32BitNothingIsFollowed) {
  PutZOnDisk(3);
  for (const wchar_t* path : {L"\\\\?\\M:\\secret", L"P:\\", L"\\\\?\\Z:\\"}) {
    wchar_t out[260] = L"untouched";
    int32_t identity = -1;
    EXPECT_EQ(0, ResolveEncryptedVolume(path, out, &identity)) << path;
    EXPECT_STREQ(L"untouched", out);
    EXPECT_EQ(-1, identity);
  }
  SystemVersion.IsWow64 = 1;
  EXPECT_EQ(3, GetPhysicalDriveId(L"\\\\?\\Z:\\inside\\"));
  EXPECT_EQ(0, Machine.dependencyCalls);
  SystemVersion.IsWow64 = 0;
  Machine.virtDisk = false;
  ForgetVirtDisk();
  EXPECT_EQ(3, GetPhysicalDriveId(L"\\\\?\\Z:\\inside\\"));
}

TEST_F(Topology, DependencyRepliesOfEverySize) {
  struct Case {
    const wchar_t* host;
    const wchar_t* relative;
    ULONG bytesNeeded;
    const wchar_t* expected;
    int calls;
  } cases[] = {
      {L"\\\\?\\Volume{g}\\", L"\\images\\v.vhdx", 0, L"\\\\?\\Volume{g}\\images\\v.vhdx", 1},
      {L"\\\\?\\Volume{g}", L"\\images\\v.vhdx", 0, L"\\\\?\\Volume{g}\\images\\v.vhdx", 1},
      {L"\\\\?\\Volume{g}\\", L"images\\v.vhdx", 0, L"\\\\?\\Volume{g}\\images\\v.vhdx", 1},
      {L"\\\\?\\Volume{g}\\", L"\\big.vhdx", 20000, L"\\\\?\\Volume{g}\\big.vhdx", 2},
      {L"\\\\?\\Volume{g}\\", L"\\big.vhdx", 1048576, L"\\\\?\\Volume{g}\\big.vhdx", 2},
      {L"\\\\?\\Volume{g}\\", L"\\huge.vhdx", 1048577, L"", 1},  // more than 1 MiB is not believed
  };
  PutZOnDisk(1);
  for (const Case& c : cases) {
    Machine.images[L"\\\\.\\PhysicalDrive3"] = {c.host, c.relative, c.bytesNeeded};
    Machine.dependencyCalls = 0;
    wchar_t out[260] = L"x";
    EXPECT_EQ(c.expected[0] != 0, GetVirtualDiskHostPath(L"\\\\.\\PhysicalDrive3", out, 260)) << c.bytesNeeded;
    EXPECT_STREQ(c.expected, out);
    EXPECT_EQ(c.calls, Machine.dependencyCalls) << c.bytesNeeded;
  }
}

// Two drives that differ get both pool labels before either scan and parallel reading; one drive gets one
// scan after the other (pool 1 is empty, so the run ends before pool 2 is labelled).
TEST_F(Topology, RunDriverFollowsTheVerdict) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring suffix = L"zav-topology-" + std::to_wstring(GetCurrentProcessId());
  std::wstring program = L"zav.exe", folderC = temp + suffix, folderZ = L"Z:\\tmp\\" + suffix, noWait = L"-n";
  ASSERT_EQ(L'C', folderC[0]);
  ASSERT_TRUE(CreateDirectoryW(folderC.c_str(), nullptr) && CreateDirectoryW(folderZ.c_str(), nullptr));
  for (int32_t diskOfZ : {1, 0}) {
    PutZOnDisk(diskOfZ);
    ResetRunOptions();
    wchar_t* argv[] = {&program[0], &folderC[0], &folderZ[0], &noWait[0], nullptr};
    std::string text = Capture([&] { EXPECT_EQ(9, RunMain(4, argv)); });  // both pools empty
    text = text.substr(text.find("\r\n") + 2);  // after the banner
    EXPECT_EQ(0u, text.find(std::string(diskOfZ ? kDifferent : kSame) + "scanning file pool 1: "));
    EXPECT_EQ(diskOfZ ? strlen(kDifferent) + 24 : std::string::npos, text.find("scanning file pool 2: "));
    EXPECT_EQ(diskOfZ, RunOptions.ParallelRead);
  }
  RemoveDirectoryW(folderC.c_str()), RemoveDirectoryW(folderZ.c_str());
}
}  // namespace
