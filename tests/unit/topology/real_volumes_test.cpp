// Drive topology on Wine's own drives: C: is the prefix's drive_c, Z: the Linux root; both are volumes of
// device 0. Only what Wine cannot show (object names of the \Device form, pauses) is made up.
#include <gtest/gtest.h>
#include <windows.h>
#include <winternl.h>

#include <string>

#include "captured_output.h"
#include "fake_devices.h"
#include "run/process_setup.h"
#include "topology/device_calls.h"
#include "topology/device_queries.h"
#include "topology/drive_identity.h"
#include "topology/wide_text.h"

namespace {
std::wstring FakeObjectName;

LONG NTAPI FakeNtQueryObject(HANDLE, int, void* reply, ULONG bytes, ULONG* returned) {
  auto* name = static_cast<UNICODE_STRING*>(reply);
  size_t nameBytes = FakeObjectName.size() * sizeof(wchar_t);
  if (sizeof(UNICODE_STRING) + nameBytes + 2 > bytes) return static_cast<LONG>(0xC0000004);  // info length mismatch
  name->Buffer = reinterpret_cast<PWSTR>(name + 1);
  name->Length = static_cast<USHORT>(nameBytes);
  name->MaximumLength = static_cast<USHORT>(nameBytes + 2);
  memcpy(name->Buffer, FakeObjectName.c_str(), nameBytes + 2);
  *returned = static_cast<ULONG>(sizeof(UNICODE_STRING) + nameBytes + 2);
  return 0;
}

std::wstring VolumeNameOf(const wchar_t* root) {
  wchar_t name[64] = {};
  GetVolumeNameForVolumeMountPointW(root, name, 64);
  StripTrailingChar(name, L'\\');
  return name;
}

std::wstring DosTarget(const wchar_t* name) {
  wchar_t target[260] = {};
  QueryDosDeviceW(name, target, 260);
  return target;
}

class RealVolumes : public ::testing::Test {
 protected:
  void SetUp() override {
    RemoveFakeMachine();
    LookupNtQueryObject();
    ReadSystemVersion();
    realEntry = NtQueryObjectEntry;
  }
  void TearDown() override {
    NtQueryObjectEntry = realEntry;
    RemoveFakeMachine();
  }
  void* realEntry;
};

TEST_F(RealVolumes, DriveCAndDriveZAreOneDiskButTwoVolumes) {
  EXPECT_NE(VolumeNameOf(L"C:\\"), VolumeNameOf(L"Z:\\"));
  for (const wchar_t* path : {L"\\\\?\\C:\\windows\\", L"C:\\windows", L"\\\\?\\Z:\\tmp\\", L"Z:\\"})
    EXPECT_EQ(0, GetPhysicalDriveId(path)) << path;
  CapturedOutput output;
  EXPECT_EQ(1, IsSamePhysicalDrive(L"\\\\?\\C:\\windows\\", L"\\\\?\\Z:\\tmp\\"));
  EXPECT_EQ("Files are located on the same physical drive -> sequential operation\r\n", output.Text());
}

TEST_F(RealVolumes, DeviceQueriesOfRealDevices) {
  wchar_t volume[64] = {};
  ASSERT_TRUE(GetVolumeNameForVolumeMountPointW(L"C:\\", volume, 64));
  EXPECT_EQ(0, GetDeviceNumber(volume));
  EXPECT_EQ(L'}', volume[lstrlenW(volume) - 1]);  // queried without its trailing backslash
  wchar_t missing[] = L"\\\\?\\Volume{00000000-0000-0000-0000-00000000ffff}\\";
  EXPECT_EQ(-1, GetDeviceNumber(missing));

  uint32_t busType = 99;
  EXPECT_EQ(1, GetBusType(L"\\\\.\\PhysicalDrive0\\", &busType));
  EXPECT_NE(15u, busType);
  // A disk that does not exist answers at once, without the pause for a failing query.
  InstallFakeMachine(true);
  Devices.Open = CreateFileW;
  Devices.Control = DeviceIoControl;
  Devices.Close = CloseHandle;
  busType = 99;
  EXPECT_EQ(0, GetBusType(L"\\\\.\\PhysicalDrive77", &busType));
  EXPECT_EQ(0, GetBusType(L"", &busType));
  EXPECT_EQ(99u, busType);
  EXPECT_EQ(0, Machine.pauses);
}

TEST_F(RealVolumes, VolumePathOfAFolder) {
  wchar_t out[32768];
  // Wine names an open folder \??\Z:\tmp, which no device covers: the folder itself is its volume path.
  ASSERT_EQ(1, GetVolumePath(L"Z:\\tmp", out, 32768));
  std::wstring volumeZ = VolumeNameOf(L"Z:\\");
  EXPECT_TRUE(std::wstring(out) == L"Z:\\tmp" || std::wstring(out) == volumeZ + L"\\tmp") << out;
  EXPECT_EQ(0, GetVolumePath(L"Z:\\tmp\\no such folder here", out, 32768));

  // As Windows names it: the device of Z: is swapped for Z:'s volume name.
  NtQueryObjectEntry = reinterpret_cast<void*>(FakeNtQueryObject);
  FakeObjectName = DosTarget(L"Z:") + L"\\tmp";
  ASSERT_EQ(1, GetVolumePath(L"Z:\\tmp", out, 32768));
  EXPECT_EQ(volumeZ + L"\\tmp", out);
  FakeObjectName = DosTarget(L"C:") + L"\\windows";
  ASSERT_EQ(1, GetVolumePath(L"C:\\windows", out, 260));
  EXPECT_EQ(VolumeNameOf(L"C:\\") + L"\\windows", out);
  // A device whose name only starts like another's is not that one.
  FakeObjectName = DosTarget(L"C:") + L"7\\windows";
  ASSERT_EQ(1, GetVolumePath(L"C:\\windows", out, 260));
  EXPECT_STREQ(L"C:\\windows", out);
  // The object name must fit the capacity; so must the volume path.
  FakeObjectName = DosTarget(L"Z:") + L"\\tmp";
  EXPECT_EQ(0, GetVolumePath(L"Z:\\tmp", out, static_cast<int>(FakeObjectName.size())));
  EXPECT_EQ(1, GetVolumePath(L"Z:\\tmp", out, static_cast<int>(FakeObjectName.size() + 1)));
  NtQueryObjectEntry = nullptr;
  EXPECT_EQ(0, GetVolumePath(L"Z:\\tmp", out, 32768));
}

TEST_F(RealVolumes, LongFolderKeepsItsVolume) {
  std::wstring folder = L"\\\\?\\Z:\\tmp\\zav-topology-long-" + std::to_wstring(GetCurrentProcessId());
  std::wstring deep = folder + L"\\" + std::wstring(120, L'd') + L"\\" + std::wstring(120, L'e') + L"\\" +
                      std::wstring(120, L'f');
  CreateDirectoryW(folder.c_str(), nullptr);
  CreateDirectoryW((folder + L"\\" + std::wstring(120, L'd')).c_str(), nullptr);
  CreateDirectoryW((folder + L"\\" + std::wstring(120, L'd') + L"\\" + std::wstring(120, L'e')).c_str(), nullptr);
  ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
  EXPECT_EQ(0, GetPhysicalDriveId((deep + L"\\").c_str()));
  wchar_t* out = new wchar_t[32768];
  EXPECT_EQ(1, GetVolumePath(deep.c_str() + 4, out, 32768));
  EXPECT_EQ(0, GetVolumePath(deep.c_str() + 4, out, 260));
  delete[] out;
  RemoveDirectoryW(deep.c_str());
  RemoveDirectoryW((folder + L"\\" + std::wstring(120, L'd') + L"\\" + std::wstring(120, L'e')).c_str());
  RemoveDirectoryW((folder + L"\\" + std::wstring(120, L'd')).c_str());
  RemoveDirectoryW(folder.c_str());
}
}  // namespace
