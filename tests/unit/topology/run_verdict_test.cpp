// The run driver follows the drive verdict: two drives that differ get both pool labels before either scan
// and parallel reading; one drive gets one scan after the other. Wine's drives are all device 0, so C: is
// made out to be disk 1 here.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "captured_output.h"
#include "fake_devices.h"
#include "run/options.h"
#include "run/run_main.h"
#include "topology/wide_text.h"

namespace {
std::wstring VolumeNameOf(const wchar_t* root) {
  wchar_t name[64] = {};
  GetVolumeNameForVolumeMountPointW(root, name, 64);
  StripTrailingChar(name, L'\\');
  return name;
}

// Two empty search folders, one on C: (the temporary folder) and one on Z:.
class RunVerdict : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring suffix = L"zav-topology-" + std::to_wstring(GetCurrentProcessId());
    folderC = std::wstring(temp) + suffix;
    folderZ = L"Z:\\tmp\\" + suffix;
    ASSERT_EQ(L'C', folderC[0]);
    ASSERT_TRUE(CreateDirectoryW(folderC.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(folderZ.c_str(), nullptr));
    RemoveFakeMachine();
    ResetRunOptions();
  }
  void TearDown() override {
    RemoveFakeMachine();
    ResetRunOptions();
    RemoveDirectoryW(folderC.c_str());
    RemoveDirectoryW(folderZ.c_str());
  }
  // The run's output after the banner line.
  std::string Run(int* exitCode) {
    CapturedOutput output;
    std::wstring program = L"zav.exe", noWait = L"-n";
    wchar_t* argv[] = {program.data(), folderC.data(), folderZ.data(), noWait.data(), nullptr};
    *exitCode = RunMain(4, argv);
    std::string text = output.Text();
    return text.substr(text.find("\r\n") + 2);
  }
  void PutDriveCOnDisk(int32_t disk) {
    Machine.deviceNumbers[VolumeNameOf(L"C:\\")] = disk;
    Machine.deviceNumbers[VolumeNameOf(L"Z:\\")] = 0;
    Machine.busTypes[L"\\\\.\\PhysicalDrive0"] = 3;
    Machine.busTypes[L"\\\\.\\PhysicalDrive1"] = 3;
    InstallFakeMachine(true);
  }
  std::wstring folderC, folderZ;
};

TEST_F(RunVerdict, TwoDrivesScanBothPoolsAtOnce) {
  PutDriveCOnDisk(1);
  int exitCode = 0;
  std::string text = Run(&exitCode);
  EXPECT_EQ(
      "Files are located on different physical drives -> parallel operation\r\n"
      "scanning file pool 1: \r\n"
      "scanning file pool 2: ",
      text.substr(0, text.find("scanning file pool 2: ") + 22));
  EXPECT_EQ(1, RunOptions.ParallelRead);
  EXPECT_EQ(9, exitCode);  // both pools empty
}

TEST_F(RunVerdict, OneDriveScansOnePoolAfterTheOther) {
  PutDriveCOnDisk(0);
  int exitCode = 0;
  std::string text = Run(&exitCode);
  // Pool 1 is empty, so the run ends before pool 2 is labelled.
  EXPECT_EQ(0u, text.find("Files are located on the same physical drive -> sequential operation\r\n"
                          "scanning file pool 1: "));
  EXPECT_EQ(std::string::npos, text.find("scanning file pool 2: "));
  EXPECT_EQ(0, RunOptions.ParallelRead);
  EXPECT_EQ(9, exitCode);
}
}  // namespace
