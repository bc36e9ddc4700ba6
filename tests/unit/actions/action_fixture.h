#pragma once
// A pair of equal files in a temporary folder with their records, the output captured, and failing seam calls.
#include <windows.h>

#include <gtest/gtest.h>

#include <list>
#include <string>

#include "actions/actions.h"
#include "console/output.h"
#include "pool/memory.h"
#include "run/options.h"
#include "seam/file_system.h"

// Seam calls on a path ending with FailSuffix (empty: every path) fail with ACCESS_DENIED.
inline std::wstring FailSuffix;
inline bool Fails(const std::wstring& path) {
  if (path.size() < FailSuffix.size() || path.compare(path.size() - FailSuffix.size(), FailSuffix.size(), FailSuffix))
    return false;
  SetLastError(ERROR_ACCESS_DENIED);
  return true;
}
inline BOOL WINAPI FailingDelete(LPCWSTR path) { return !Fails(path) && DeleteFileW(path); }
inline BOOL WINAPI FailingLink(LPCWSTR link, LPCWSTR existing, LPSECURITY_ATTRIBUTES security) {
  return !Fails(link) && CreateHardLinkW(link, existing, security);
}
inline BOOL WINAPI FailingCopy(LPCWSTR from, LPCWSTR to, BOOL failIfExists) {
  return !Fails(to) && CopyFileW(from, to, failIfExists);
}
inline HANDLE WINAPI FailingOpen(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                 DWORD disposition, DWORD flags, HANDLE templateFile) {
  return Fails(path) ? INVALID_HANDLE_VALUE
                     : CreateFileW(path, access, share, security, disposition, flags, templateFile);
}

struct TestFile {
  FileRecord record = {};
  wchar_t path[MAX_PATH] = {};  // the actions may cut it in place
};

// file1 is a\x.txt and file2 b\y.txt, both "same"; Act() hands them to ActOnDuplicate.
class ActionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    root_ = std::wstring(L"\\\\?\\") + temp + L"zav_actions_" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(root_.c_str(), nullptr);
    wcscpy(SearchFolder1, root_.c_str());
    wcscpy(SearchFolder2, root_.c_str());
    ResetRunOptions();
    FailSuffix.clear();
    DeletedCount = RenamedCount = ReplacedCount = 0;
    SavedBytes = redundant_ = 0;
    output_ = CreateFileW((root_ + L"output").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0,
                          nullptr);
    SetOutputHandleForTesting(output_);
    one_ = Record(L"a\\x.txt", "same");
    two_ = Record(L"b\\y.txt", "same");
  }
  void TearDown() override {
    RestoreFileSystemCalls();
    SetOutputHandleForTesting(GetStdHandle(STD_OUTPUT_HANDLE));
    CloseHandle(output_);
    RemoveTree(root_);
  }
  static void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &entry);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &entry)) {
      std::wstring path = folder + entry.cFileName;
      if (entry.cFileName[0] == L'.') continue;  // "." and ".."
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(path + L"\\");
      DeleteFileW(path.c_str());
    }
    FindClose(search);
    RemoveDirectoryW(folder.c_str());
  }
  // A record as a resolved scan leaves it (single link, allocation known); with content the file is written.
  TestFile* Record(const std::wstring& relative, const std::string& content = "") {
    TestFile* file = &files_.emplace_back();
    wcscpy(file->path, (root_ + relative).c_str());
    wchar_t* name = wcsrchr(file->path, L'\\') + 1;
    file->record.name = DupString(name);
    file->record.dir = DupString(std::wstring(file->path, name).c_str());
    CreateDirectoryW(file->record.dir, nullptr);
    HANDLE handle = CreateFileW(file->path, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(handle, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    file->record.size = GetFileSize(handle, nullptr);
    CloseHandle(handle);
    file->record.allocSize = 4096;
    file->record.linkState = 1;
    file->record.linkCount = static_cast<uint32_t*>(MemAlloc(sizeof(uint32_t)));
    *file->record.linkCount = 1;
    return file;
  }
  int Act(int alreadyLinked = 0) {
    return ActOnDuplicate(&one_->record, &two_->record, one_->path, two_->path, alreadyLinked, &redundant_);
  }
  static BY_HANDLE_FILE_INFORMATION Info(TestFile* file) {
    BY_HANDLE_FILE_INFORMATION info = {};
    HANDLE handle = CreateFileW(file->path, 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    GetFileInformationByHandle(handle, &info);
    CloseHandle(handle);
    return info;
  }
  static uint64_t FileIndex(TestFile* file) {
    BY_HANDLE_FILE_INFORMATION info = Info(file);
    return (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  }
  static std::string Content(const wchar_t* path) {
    std::string bytes(4096, '\0');
    DWORD read = 0;
    HANDLE handle = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    ReadFile(handle, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(handle);
    return bytes.substr(0, read);
  }
  // Everything printed since the last call.
  std::string Output() {
    std::string printed = Content((root_ + L"output").c_str());
    SetFilePointer(output_, 0, nullptr, FILE_BEGIN);
    SetEndOfFile(output_);
    return printed;
  }

  std::wstring root_;
  HANDLE output_ = INVALID_HANDLE_VALUE;
  std::list<TestFile> files_;
  TestFile* one_ = nullptr;
  TestFile* two_ = nullptr;
  int64_t redundant_ = 0;
};
