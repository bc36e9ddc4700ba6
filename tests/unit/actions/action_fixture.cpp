#include "action_fixture.h"

#include "actions/actions.h"
#include "console/output.h"
#include "pool/memory.h"
#include "run/options.h"
#include "seam/file_system.h"
#include "fault_seam.h"

namespace {
void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileW((folder + L"*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring path = folder + name;
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(path + L"\\");
      else
        DeleteFileW(path.c_str());
    } while (FindNextFileW(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryW(folder.c_str());
}

BY_HANDLE_FILE_INFORMATION Information(const std::wstring& path) {
  BY_HANDLE_FILE_INFORMATION info = {};
  HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    GetFileInformationByHandle(file, &info);
    CloseHandle(file);
  }
  return info;
}
}  // namespace

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

void ActionTest::SetUp() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  static int serial = 0;
  wchar_t name[64];
  wsprintfW(name, L"zav_actions_%u_%u\\", GetCurrentProcessId(), ++serial);
  root_ = std::wstring(L"\\\\?\\") + temp + name;
  CreateDirectoryW(root_.c_str(), nullptr);
  // The climb of emptied folders stops here: the root always holds this file.
  WriteFile(L"keep.txt", "keep");
  wcscpy(SearchFolder1, root_.c_str());
  wcscpy(SearchFolder2, root_.c_str());
  ResetRunOptions();
  FailPathSuffix.clear();
  FailError = ERROR_ACCESS_DENIED;
  DeletedCount = RenamedCount = ReplacedCount = 0;
  SavedBytes = 0;

  wchar_t outputName[MAX_PATH];
  GetTempFileNameW(temp, L"zav", 0, outputName);
  output_ = CreateFileW(outputName, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                        FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  SetOutputHandleForTesting(output_);
}

void ActionTest::TearDown() {
  RestoreFileSystemCalls();
  SetOutputHandleForTesting(GetStdHandle(STD_OUTPUT_HANDLE));
  CloseHandle(output_);
  RemoveTree(root_);
}

std::wstring ActionTest::WriteFile(const std::wstring& relative, const std::string& content) {
  for (size_t slash = relative.find(L'\\'); slash != std::wstring::npos; slash = relative.find(L'\\', slash + 1))
    CreateDirectoryW((root_ + relative.substr(0, slash)).c_str(), nullptr);
  std::wstring path = root_ + relative;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE) << "cannot create a test file";
  DWORD written = 0;
  ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
  return path;
}

void ActionTest::MakeFolder(const std::wstring& relative) {
  std::wstring path = relative + L"\\";
  for (size_t slash = path.find(L'\\'); slash != std::wstring::npos; slash = path.find(L'\\', slash + 1))
    CreateDirectoryW((root_ + path.substr(0, slash)).c_str(), nullptr);
}

bool ActionTest::Exists(const std::wstring& relative) const {
  return GetFileAttributesW((root_ + relative).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ActionTest::ReadFile(const std::wstring& relative) const {
  std::string content(4096, '\0');
  HANDLE file = CreateFileW((root_ + relative).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  DWORD read = 0;
  if (file != INVALID_HANDLE_VALUE) {
    ::ReadFile(file, &content[0], static_cast<DWORD>(content.size()), &read, nullptr);
    CloseHandle(file);
  }
  content.resize(read);
  return content;
}

DWORD ActionTest::Attributes(const std::wstring& relative) const {
  return GetFileAttributesW((root_ + relative).c_str());
}

uint32_t ActionTest::Links(const std::wstring& relative) const {
  return Information(root_ + relative).nNumberOfLinks;
}

uint64_t ActionTest::FileIndex(const std::wstring& relative) const {
  BY_HANDLE_FILE_INFORMATION info = Information(root_ + relative);
  return (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
}

TestFile* ActionTest::Record(const std::wstring& relative) {
  files_.push_back(std::make_unique<TestFile>());
  TestFile* file = files_.back().get();
  std::wstring full = root_ + relative;
  size_t slash = full.rfind(L'\\');
  file->record.dir = DupString(full.substr(0, slash + 1).c_str());
  file->record.name = DupString(full.substr(slash + 1).c_str());
  wcscpy(file->Path(), full.c_str());
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  GetFileAttributesExW(full.c_str(), GetFileExInfoStandard, &data);
  file->record.size = (int64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  file->record.allocSize = 4096;
  file->record.linkState = 1;
  file->record.linkCount = static_cast<uint32_t*>(MemAlloc(sizeof(uint32_t)));
  *file->record.linkCount = 1;
  return file;
}

std::string ActionTest::Output() {
  std::string bytes(70000, '\0');
  DWORD read = 0;
  SetFilePointer(output_, 0, nullptr, FILE_BEGIN);
  ::ReadFile(output_, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr);
  bytes.resize(read);
  SetFilePointer(output_, 0, nullptr, FILE_BEGIN);
  SetEndOfFile(output_);
  return bytes;
}
