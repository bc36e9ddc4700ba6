#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "match/folder_keys.h"
#include "match/name_key.h"

namespace {
// The cache grows several times over 3,000 folders: each folder string must still answer its own key.
TEST(FolderKeys, EveryFolderKeepsItsOwnKeyAsTheCacheGrows) {
  std::vector<std::wstring> folders;
  for (int i = 0; i < 3000; ++i) folders.push_back(L"C:\\Data\\Ordner " + std::to_wstring(i) + L"\\");
  FolderKeys keys;
  for (const std::wstring& folder : folders) keys.KeyOf(folder.c_str());
  for (const std::wstring& folder : folders)
    ASSERT_EQ(keys.KeyOf(folder.c_str()), CaseBlindKey(folder.c_str())) << folder;
}
}  // namespace
