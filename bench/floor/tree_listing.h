#pragma once
// How both floors list a tree: every file with its size, folders entered but not folder links (a floor reads
// what any tool must read, and a folder link adds nothing of its own).
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct Found {
  int64_t size;
  std::wstring path;
};

inline void List(const std::wstring& folder, std::vector<Found>* found) {
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileExW((folder + L"*").c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr,
                                 FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) List(folder + name + L"\\", found);
      continue;
    }
    found->push_back({int64_t(entry.nFileSizeHigh) << 32 | entry.nFileSizeLow, folder + name});
  } while (FindNextFileW(find, &entry));
  FindClose(find);
}
