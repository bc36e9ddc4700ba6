// The physical drive behind a path, on a made-up machine: partitions, substitutions, network drives,
// CD-ROM and floppy volumes, encrypted volumes and virtual disk files.
#include <gtest/gtest.h>

#include <string>

#include "captured_output.h"
#include "fake_devices.h"
#include "run/process_setup.h"
#include "topology/drive_identity.h"
#include "topology/encrypted_volume.h"
#include "topology/virtual_disk.h"

namespace {
const wchar_t kGuidC[] = L"00000000-0000-0000-0000-0000000000c0";
const wchar_t kGuidE[] = L"00000000-0000-0000-0000-0000000000e0";
const wchar_t kGuidM[] = L"00000000-0000-0000-0000-0000000000a0";
const wchar_t kGuidW[] = L"00000000-0000-0000-0000-0000000000b0";

class DriveIdentity : public ::testing::Test {
 protected:
  void SetUp() override {
    savedVersion = SystemVersion;
    SystemVersion.VersionCode = 0x1000;
    SystemVersion.IsWow64 = 0;
    Machine = FakeMachine();
    AddFixedDrive(L'C', kGuidC, 0);
    AddFixedDrive(L'D', L"00000000-0000-0000-0000-0000000000d0", 0);  // second partition of disk 0
    AddFixedDrive(L'E', kGuidE, 1);
    Machine.dosDevices[L"C:"] = L"\\Device\\HarddiskVolume1";
    Machine.dosDevices[L"S:"] = L"\\??\\E:\\share";  // subst S: E:\share
    Machine.dosDevices[L"T:"] = L"\\??\\U:\\";       // T: and U: stand for each other
    Machine.dosDevices[L"U:"] = L"\\??\\T:\\loop";
    Machine.dosDevices[L"Y:"] = L"\\Device\\HarddiskVolume9";  // not a substitution
    Machine.volumeRoots[L"N:\\"] = L"N:\\";
    Machine.driveTypes[L"N:\\"] = DRIVE_REMOTE;
    Machine.volumeRoots[L"\\\\?\\N:\\"] = L"\\\\?\\N:\\";
    Machine.driveTypes[L"\\\\?\\N:\\"] = DRIVE_REMOTE;
    AddFixedDrive(L'R', L"00000000-0000-0000-0000-0000000000f0", 0, DRIVE_CDROM);
    AddFixedDrive(L'A', L"00000000-0000-0000-0000-0000000000f1", 2, DRIVE_REMOVABLE);
    Machine.dosDevices[L"Volume{00000000-0000-0000-0000-0000000000f1}"] = L"\\Device\\Floppy0";
    AddFixedDrive(L'B', L"00000000-0000-0000-0000-0000000000f2", 2, DRIVE_REMOVABLE);
    // V: is a VHDX file on C:; W: is a disk whose image lies on W: itself.
    AddFixedDrive(L'V', L"00000000-0000-0000-0000-0000000000f3", 3);
    Machine.busTypes[L"\\\\.\\PhysicalDrive3"] = 15;
    Machine.dependencies[L"\\\\.\\PhysicalDrive3"] = {std::wstring(L"\\\\?\\Volume{") + kGuidC + L"}\\",
                                                       L"\\images\\v.vhdx"};
    AddFixedDrive(L'W', kGuidW, 4);
    Machine.busTypes[L"\\\\.\\PhysicalDrive4"] = 15;
    Machine.dependencies[L"\\\\.\\PhysicalDrive4"] = {std::wstring(L"\\\\?\\Volume{") + kGuidW + L"}\\",
                                                       L"\\w.vhdx"};
    OfferFullVirtDisk();
    // Encrypted volumes: a container file on E:, a partition of disk 5, a CD-ROM and a floppy.
    AddFixedDrive(L'M', kGuidM, 7);
    Machine.dosDevices[std::wstring(L"Volume{") + kGuidM + L"}"] = L"\\Device\\VeraCryptVolumeM";
    AddEncryptedVolume(L'M', L"\\??\\E:\\vaults\\m.hc");
    AddEncryptedVolume(L'P', L"\\Device\\Harddisk5\\Partition1");
    Machine.busTypes[L"\\\\.\\PhysicalDrive5"] = 1;
    AddEncryptedVolume(L'K', L"\\Device\\CdRom1");
    Machine.busTypes[L"\\\\.\\CdRom1"] = 5;
    AddEncryptedVolume(L'F', L"\\Device\\Floppy0");
    AddEncryptedVolume(L'H', L"\\Device\\HarddiskVolume3");  // a name without a disk number
    // G: is a volume whose mount point the system does not name.
    AddFixedDrive(L'G', L"00000000-0000-0000-0000-0000000000f4", 6);
    Machine.volumeRoots.erase(L"G:\\");
    Machine.volumeRoots.erase(L"\\\\?\\G:\\");
    InstallFakeMachine();
  }
  void TearDown() override {
    RemoveFakeMachine();
    SystemVersion = savedVersion;
  }
  SystemVersionRecord savedVersion;
};

TEST_F(DriveIdentity, ResolvesEveryKindOfVolumeToItsDrive) {
  const std::wstring longTail(300, L'x');
  struct Case {
    std::wstring path;
    DriveId expected;
  } cases[] = {
      {L"\\\\?\\C:\\data\\", 0},
      {L"\\\\?\\D:\\other\\", 0},  // another partition of the same disk
      {L"\\\\?\\E:\\x\\", 1},
      {L"E:\\x\\", 1},
      {L"\\\\?\\S:\\data\\", 1},  // substituted drive: its target's disk
      {L"\\\\?\\s:\\data\\", 1},
      {L"\\\\?\\Y:\\", -1},       // a DOS device that is no substitution and no volume
      {L"\\\\?\\T:\\", -1},       // substitutions in a ring end unresolved
      {L"\\\\server\\share\\dir\\", -2},
      {L"\\\\other\\x\\", -2},
      {L"\\\\?\\N:\\docs\\", -2},  // mapped network drive
      {L"\\\\?\\R:\\", 0x1000000},
      {L"\\\\?\\A:\\", 0x2000002},
      {L"\\\\?\\B:\\", 2},         // device 2 that is no floppy
      {L"\\\\?\\V:\\inside\\", 0},  // inside a virtual disk whose file lies on disk 0
      {L"\\\\?\\W:\\", -1},         // a virtual disk inside itself
      {L"\\\\?\\M:\\secret\\", 1},  // encrypted container file on E:
      {std::wstring(L"\\\\?\\Volume{") + kGuidM + L"}\\secret\\", 1},
      {L"\\\\?\\P:\\", 5},  // encrypted partition of disk 5
      {L"\\\\?\\K:\\", 0x10001},
      {L"\\\\?\\F:\\", 0x20000},
      {L"\\\\?\\H:\\", -1},
      {L"\\\\?\\Q:\\nothing\\", -1},
      {L"\\\\?\\G:\\dir\\x\\", 6},  // the root is cut from the path itself
      {L"G:\\dir\\x\\", 6},
      {L"\\\\?\\E:\\" + longTail + L"\\", 1},  // longer than the working copy: its volume root decides
      {L"\\\\?\\Q:\\" + longTail + L"\\", -1},
      {L"\\\\server\\share\\" + longTail + L"\\", -2},
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, GetPhysicalDriveId(c.path.c_str())) << c.path.c_str();
}

TEST_F(DriveIdentity, DevicePathOfEachKindOfIdentity) {
  struct Case {
    DriveId identity;
    const wchar_t* expected;
  } cases[] = {{0, L"\\\\.\\PhysicalDrive0"},   {12, L"\\\\.\\PhysicalDrive12"}, {0x10000, L"\\\\.\\CdRom0"},
               {0x10003, L"\\\\.\\CdRom3"},     {0x20001, L"\\\\.\\Floppy1"}};
  for (const Case& c : cases) {
    wchar_t path[64];
    GetDevicePathOfId(c.identity, path);
    EXPECT_STREQ(c.expected, path) << c.identity;
  }
}

TEST_F(DriveIdentity, SubstitutedDriveRewritesToItsTarget) {
  wchar_t out[260];
  ASSERT_EQ(1, ResolveSubstDrive(L"\\\\?\\S:\\data", out));
  EXPECT_STREQ(L"\\\\?\\E:\\share\\data", out);
  ASSERT_EQ(1, ResolveSubstDrive(L"s:", out));
  EXPECT_STREQ(L"\\\\?\\E:\\share", out);
  for (const wchar_t* notSubst : {L"\\\\?\\C:\\data", L"\\\\?\\Y:\\", L"\\\\server\\share", L"1:\\x", L"", L"\\\\?\\"})
    EXPECT_EQ(0, ResolveSubstDrive(notSubst, out)) << notSubst;
  std::wstring tooLong = L"\\\\?\\S:\\" + std::wstring(250, L'x');
  EXPECT_EQ(0, ResolveSubstDrive(tooLong.c_str(), out));
}

TEST_F(DriveIdentity, EncryptedVolumeGivesItsHost) {
  wchar_t out[260] = L"untouched";
  int32_t identity = -1;
  ASSERT_EQ(1, ResolveEncryptedVolume(L"\\\\?\\M:\\secret", out, &identity));
  EXPECT_STREQ(L"E:\\vaults\\m.hc", out);
  EXPECT_EQ(-1, identity);  // a container file has no identity of its own
  ASSERT_EQ(1, ResolveEncryptedVolume(L"P:\\", out, &identity));
  EXPECT_STREQ(L"\\Device\\Harddisk5\\Partition1", out);
  EXPECT_EQ(5, identity);
  identity = -1;
  lstrcpyW(out, L"untouched");
  EXPECT_EQ(0, ResolveEncryptedVolume(L"\\\\?\\C:\\", out, &identity));  // not mounted by the driver
  EXPECT_EQ(0, ResolveEncryptedVolume(L"\\\\?\\Volume{00000000-0000-0000-0000-0000000000c0}\\", out, &identity));
  EXPECT_EQ(0, ResolveEncryptedVolume(L"\\\\server\\share\\", out, &identity));
  EXPECT_STREQ(L"untouched", out);
  EXPECT_EQ(-1, identity);
  EXPECT_EQ(0, GetTrueCryptHostPath(L'1', out));
  EXPECT_STREQ(L"", out);
}

TEST_F(DriveIdentity, WithoutTheEncryptionDriverNothingIsEncrypted) {
  Machine.trueCryptReply.clear();
  for (const wchar_t* path : {L"\\\\?\\M:\\secret", L"P:\\", L"K:\\", L"F:\\", L"\\\\?\\C:\\"}) {
    wchar_t out[260] = L"untouched";
    int32_t identity = -1;
    EXPECT_EQ(0, ResolveEncryptedVolume(path, out, &identity)) << path;
    EXPECT_STREQ(L"untouched", out);
    EXPECT_EQ(-1, identity);
  }
  EXPECT_EQ(7, GetPhysicalDriveId(L"\\\\?\\M:\\secret\\"));  // the volume's own disk then
}

TEST_F(DriveIdentity, SameDriveVerdictAndItsLine) {
  struct Case {
    const wchar_t* path1;
    const wchar_t* path2;
    int same;
  } cases[] = {
      {L"\\\\?\\C:\\a\\", L"\\\\?\\D:\\b\\", 1},
      {L"\\\\?\\S:\\a\\", L"\\\\?\\E:\\b\\", 1},
      {L"\\\\server\\a\\", L"\\\\other\\b\\", 1},
      {L"\\\\server\\a\\", L"\\\\?\\C:\\b\\", 0},
      {L"\\\\?\\C:\\a\\", L"\\\\?\\E:\\b\\", 0},
      {L"\\\\?\\V:\\a\\", L"\\\\?\\C:\\b\\", 1},
      {L"\\\\?\\Q:\\a\\", L"\\\\?\\T:\\b\\", 1},  // both unresolved: read one after the other
  };
  for (const Case& c : cases) {
    CapturedOutput output;
    EXPECT_EQ(c.same, IsSamePhysicalDrive(c.path1, c.path2)) << c.path1 << L" " << c.path2;
    EXPECT_EQ(c.same ? "Files are located on the same physical drive -> sequential operation\r\n"
                     : "Files are located on different physical drives -> parallel operation\r\n",
              output.Text());
  }
}

TEST_F(DriveIdentity, WowProcessNeverFollowsVirtualDisks) {
  SystemVersion.IsWow64 = 1;
  EXPECT_EQ(3, GetPhysicalDriveId(L"\\\\?\\V:\\inside\\"));
  wchar_t out[260] = L"x";
  EXPECT_EQ(0, GetVirtualDiskHostPath(L"\\\\.\\PhysicalDrive3", out, 260));
  EXPECT_STREQ(L"", out);
  EXPECT_EQ(0, Machine.dependencyCalls);
}

TEST_F(DriveIdentity, VirtDiskLoadNeedsItsFiveEntries) {
  struct Case {
    std::vector<std::string> exports;
    int loads;
  } cases[] = {
      {{"GetVirtualDiskPhysicalPath", "AttachVirtualDisk", "DetachVirtualDisk", "OpenVirtualDisk",
        "GetStorageDependencyInformation"}, 1},
      {{"GetVirtualDiskPhysicalPath", "AttachVirtualDisk", "DetachVirtualDisk", "OpenVirtualDisk"}, 0},
      {{"AttachVirtualDisk", "DetachVirtualDisk", "OpenVirtualDisk", "GetStorageDependencyInformation"}, 0},
      {{}, 0},
  };
  for (const Case& c : cases) {
    ForgetVirtDisk();
    Machine.virtDiskExports = c.exports;
    EXPECT_EQ(c.loads, LoadVirtDisk()) << c.exports.size();
  }
  // Once loaded it stays loaded.
  ForgetVirtDisk();
  OfferFullVirtDisk();
  ASSERT_EQ(1, LoadVirtDisk());
  Machine.virtDiskExports.clear();
  EXPECT_EQ(1, LoadVirtDisk());
  // Before Windows 7 nothing is loaded and no disk is followed.
  ForgetVirtDisk();
  SystemVersion.VersionCode = 0x0600;
  EXPECT_EQ(1, LoadVirtDisk());
  EXPECT_EQ(3, GetPhysicalDriveId(L"\\\\?\\V:\\inside\\"));
}

TEST_F(DriveIdentity, DependencyRepliesOfEverySize) {
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
  for (const Case& c : cases) {
    Machine.dependencies[L"\\\\.\\PhysicalDrive3"] = {c.host, c.relative, c.bytesNeeded};
    Machine.dependencyCalls = 0;
    wchar_t out[260] = L"x";
    EXPECT_EQ(c.expected[0] != 0, GetVirtualDiskHostPath(L"\\\\.\\PhysicalDrive3", out, 260)) << c.relative;
    EXPECT_STREQ(c.expected, out);
    EXPECT_EQ(c.calls, Machine.dependencyCalls) << c.relative;
  }
  wchar_t out[260] = L"x";
  EXPECT_EQ(0, GetVirtualDiskHostPath(L"\\\\.\\PhysicalDrive9", out, 260));  // no such disk
  EXPECT_STREQ(L"", out);
}
}  // namespace
