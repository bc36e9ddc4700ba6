#include "compare_test_support.h"

#include "compare/crc64.h"
#include "console/output.h"
#include "seam/file_system.h"

namespace {
CRITICAL_SECTION g_logLock;
ReadLog g_log;
DWORD g_openFailure = 0;
LONG g_folderSerial = 0;
struct LockSetUp {
  LockSetUp() { InitializeCriticalSection(&g_logLock); }
} g_lockSetUp;

BOOL WINAPI LoggingRead(HANDLE file, LPVOID buffer, DWORD bytes, LPDWORD bytesRead, LPOVERLAPPED overlapped) {
  LARGE_INTEGER zero{}, position{};
  SetFilePointerEx(file, zero, &position, FILE_CURRENT);
  EnterCriticalSection(&g_logLock);
  int number = static_cast<int>(g_log.reads.size()) + 1;
  bool fail = number == g_log.failAt;
  g_log.reads.push_back({file, position.QuadPart, 0, buffer, GetCurrentThreadId()});
  LeaveCriticalSection(&g_logLock);
  if (fail) {
    *bytesRead = 0;
    SetLastError(g_log.failCode);
    return FALSE;
  }
  BOOL ok = ReadFile(file, buffer, bytes, bytesRead, overlapped);
  EnterCriticalSection(&g_logLock);
  g_log.reads[number - 1].delivered = *bytesRead;
  LeaveCriticalSection(&g_logLock);
  if (g_log.afterRead) g_log.afterRead();
  return ok;
}

HANDLE WINAPI FailingOpen(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
  SetLastError(g_openFailure);
  return INVALID_HANDLE_VALUE;
}
}  // namespace

TempFolder::TempFolder() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  folder_ = std::wstring(temp) + L"zav_compare_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
            std::to_wstring(InterlockedIncrement(&g_folderSerial)) + L"\\";
  CreateDirectoryW(folder_.c_str(), nullptr);
}

TempFolder::~TempFolder() {
  for (const std::wstring& file : files_) DeleteFileW(file.c_str());
  RemoveDirectoryW(folder_.c_str());
}

std::wstring TempFolder::PathOf(const wchar_t* name) const { return L"\\\\?\\" + folder_ + name; }

std::wstring TempFolder::Write(const wchar_t* name, const std::vector<unsigned char>& content) {
  std::wstring path = folder_ + name;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  if (!content.empty()) WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
  files_.push_back(path);
  return L"\\\\?\\" + path;
}

std::vector<unsigned char> PatternBytes(size_t count, uint32_t seed) {
  std::vector<unsigned char> bytes(count);
  uint32_t state = seed * 2654435761u + 1;
  for (auto& b : bytes) {
    state = state * 1664525u + 1013904223u;
    b = static_cast<unsigned char>(state >> 24);
  }
  return bytes;
}

uint64_t ReferenceChecksum(const std::vector<unsigned char>& content,
                           const std::vector<std::pair<size_t, size_t>>& ranges) {
  uint64_t crc = kCrc64AllOnes;
  for (const auto& range : ranges) crc = Crc64UpdateBytewise(crc, content.data() + range.first, range.second);
  return crc ^ kCrc64AllOnes;
}

uint64_t ReferenceChecksum(const std::vector<unsigned char>& content) {
  return ReferenceChecksum(content, {{0, content.size()}});
}

OutputCapture::OutputCapture() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  path_ = std::wstring(temp) + L"zav_output_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
          std::to_wstring(InterlockedIncrement(&g_folderSerial)) + L".txt";
  file_ = CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      CREATE_ALWAYS, 0, nullptr);
  SetOutputHandleForTesting(file_);
}

OutputCapture::~OutputCapture() {
  SetOutputHandleForTesting(GetStdHandle(STD_OUTPUT_HANDLE));
  CloseHandle(file_);
  DeleteFileW(path_.c_str());
}

std::string OutputCapture::Text() {
  LARGE_INTEGER zero{};
  SetFilePointerEx(file_, zero, nullptr, FILE_BEGIN);
  std::string text;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(file_, chunk, sizeof chunk, &got, nullptr) && got) text.append(chunk, got);
  SetFilePointerEx(file_, zero, nullptr, FILE_END);
  return text;
}

std::vector<std::pair<int64_t, uint32_t>> ReadLog::Ranges(HANDLE file) const {
  std::vector<std::pair<int64_t, uint32_t>> ranges;
  for (const ReadRecord& read : reads)
    if (!file || read.file == file) ranges.push_back({read.offset, read.delivered});
  return ranges;
}

ReadLog& LogReads() {
  g_log = ReadLog();
  FileSystem.Read = LoggingRead;
  return g_log;
}

void FailOpens(DWORD code) {
  g_openFailure = code;
  FileSystem.Open = FailingOpen;
}

std::wstring WithoutPrefix(const std::wstring& path) { return path.substr(4); }

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }
