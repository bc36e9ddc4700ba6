#pragma once
// Files in a fresh temporary folder, removed with everything in it at the end of the test.
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

struct TempTree {
  // Each relative path gets a file of that size; a path ending in a backslash is a folder.
  explicit TempTree(const std::map<std::wstring, size_t>& files) {
    for (const auto& [relative, size] : files) {
      std::filesystem::create_directories((path / relative).parent_path());
      if (relative.back() != L'\\') std::ofstream(path / relative, std::ios::binary) << std::string(size, 'x');
    }
  }
  ~TempTree() { Remove(L"\\\\?\\" + path.wstring()); }
  // By hand: the library's removal stops at folders past MAX_PATH.
  static void Remove(const std::wstring& folder) {
    WIN32_FIND_DATAW entry;
    HANDLE listing = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    for (BOOL more = listing != INVALID_HANDLE_VALUE; more; more = FindNextFileW(listing, &entry)) {
      const std::wstring name = entry.cFileName, child = folder + L"\\" + name;
      if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW(child.c_str());
      else if (name != L"." && name != L"..") Remove(child);
    }
    if (listing != INVALID_HANDLE_VALUE) FindClose(listing);
    RemoveDirectoryW(folder.c_str());
  }
  std::wstring root() const { return (path / L"").wstring(); }
  const std::filesystem::path path = std::filesystem::temp_directory_path() /
      (L"zav_test_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(uintptr_t(this)));
};
