#pragma once
// Temp files, captured output and recording or failing file-system calls for the content comparison tests.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// A fresh folder under the temp folder, removed with its files at the end of the test.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  // Writes the file and returns its full path with the \\?\ prefix.
  std::wstring Write(const wchar_t* name, const std::vector<unsigned char>& content);
  std::wstring PathOf(const wchar_t* name) const;  // with the prefix, whether or not the file exists

 private:
  std::wstring folder_;
  std::vector<std::wstring> files_;
};

// Pseudo-random content, the same for the same seed.
std::vector<unsigned char> PatternBytes(size_t count, uint32_t seed);
// CRC-64 of the given byte ranges of content, one after the other, one table look-up per byte.
uint64_t ReferenceChecksum(const std::vector<unsigned char>& content,
                           const std::vector<std::pair<size_t, size_t>>& ranges);
uint64_t ReferenceChecksum(const std::vector<unsigned char>& content);

// Everything printed while it lives, as the bytes of redirected output.
class OutputCapture {
 public:
  OutputCapture();
  ~OutputCapture();
  std::string Text();

 private:
  HANDLE file_;
  std::wstring path_;
};

// One read as the file system saw it.
struct ReadRecord {
  HANDLE file;
  int64_t offset;  // file position before the read
  uint32_t delivered;
  void* buffer;
  DWORD threadId;
};

// Reads pass through to ReadFile and are logged; the failAt-th read (1-based, 0 = none) fails with
// failCode. The hook, when set, runs after every successful read.
struct ReadLog {
  std::vector<ReadRecord> reads;
  int failAt = 0;
  DWORD failCode = 0;
  void (*afterRead)() = nullptr;
  // Offsets and counts of the reads of one handle (or of all, given null).
  std::vector<std::pair<int64_t, uint32_t>> Ranges(HANDLE file = nullptr) const;
};
// Installs the logging read and returns its (cleared) log; RestoreFileSystemCalls removes it.
ReadLog& LogReads();
// Makes every open fail with code.
void FailOpens(DWORD code);
std::wstring WithoutPrefix(const std::wstring& path);
std::string Narrow(const std::wstring& text);
