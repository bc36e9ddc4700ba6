#include "identity/file_identity.h"
#include "../test_support.h"

namespace {
NTSTATUS NTAPI RefusedVolumeQuery(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FS_INFORMATION_CLASS) {
  return static_cast<NTSTATUS>(0xC0000022L);  // access denied
}

// Two pools share a volume tag only when both roots answer for one volume: a root that cannot be opened or
// asked keeps the pools apart, so that their files are asked for their own serials.
TEST(FoldersShareVolume, TwoFoldersOfOneVolumeAndOnesThatCannotBeAsked) {
  const std::filesystem::path root = TempPath(L"share_volume");
  std::filesystem::create_directories(root / L"a" / L"deep");
  std::filesystem::create_directories(root / L"b");
  const std::wstring a = (root / L"a\\").wstring(), b = (root / L"b").wstring();
  EXPECT_TRUE(FoldersShareVolume(a.c_str(), b.c_str()));
  EXPECT_TRUE(FoldersShareVolume((root / L"a" / L"deep").wstring().c_str(), a.c_str()));
  EXPECT_FALSE(FoldersShareVolume(a.c_str(), (root / L"missing").wstring().c_str()));
  EXPECT_FALSE(FoldersShareVolume((root / L"missing").wstring().c_str(), a.c_str()));
  FileSystem.QueryVolumeInformation = RefusedVolumeQuery;
  EXPECT_FALSE(FoldersShareVolume(a.c_str(), b.c_str()));
  std::filesystem::remove_all(root);
}
}  // namespace
